// The preview page in headless Chromium: it shows what the export wrote (the counts the page
// finds equal the summary line's), it needs no network, it draws something, and it says so when
// its model is damaged. Fails, never skips, when the browser is missing.
// Usage: preview_page_test.js VIRELTAN_HOST OUT_DIR
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');

const source = path.resolve(__dirname, '..', '..');
const browser = require(path.join(source, 'tools', 'preview', 'browser.js'));

const [tool, outDir] = process.argv.slice(2);
let session = null;

// Exports an example with the page beside it; returns the paths and the summary line.
function exportPage(name, sets = []) {
	fs.mkdirSync(outDir, { recursive: true });
	const glb = path.join(outDir, `${name}.glb`);
	const args = ['export', path.join(source, 'examples', `${name}.sdf`), '-o', glb, '--html'];
	for (const s of sets)
		args.push('--set', s);
	const line = execFileSync(tool, args, { encoding: 'utf8' }).trim();
	return { glb, html: path.join(outDir, `${name}.html`), line };
}

async function checkShown(page, screenshot, timeoutMs = 60000) {
	const { page: tab, info, outside, problems } = await browser.openPreview(session, page.html, { timeoutMs });
	assert.deepStrictEqual(problems, []);
	assert.strictEqual(info.state, 'loaded', info.error);
	assert.strictEqual(info.summary, page.line, 'the page shows the export\'s summary line');
	const expected = browser.summaryCounts(page.line);
	assert.ok(expected.meshes > 0 && expected.triangles > 0, page.line);
	assert.deepStrictEqual({ objects: info.objects, meshes: info.meshes, triangles: info.triangles },
		{ objects: expected.objects, meshes: expected.meshes, triangles: expected.triangles });
	assert.deepStrictEqual(outside, [], 'the page fetched nothing');
	const covered = await browser.coverage(tab);
	assert.ok(covered > 0.01 && covered < 0.9, `the model covers ${covered} of the view`);
	await tab.screenshot({ path: screenshot });
	assert.ok(fs.statSync(screenshot).size > 5000, 'the screenshot holds a picture');
	await tab.close();
	return info;
}

before(async () => {
	assert.ok(tool && outDir, 'usage: preview_page_test.js VIRELTAN_HOST OUT_DIR');
	const missing = browser.chromiumMissing();
	assert.strictEqual(missing, '', missing);
	session = await browser.launch();
});

after(async () => {
	if (session)
		await session.close();
});

test('caffeine: the page shows every mesh and triangle of the export, offline', async () => {
	const info = await checkShown(exportPage('caffeine'), path.join(outDir, 'caffeine.png'));
	assert.strictEqual(info.frameTriangles, info.triangles, 'a small molecule is drawn with the file\'s own meshes');
});

test('X-ray atoms with nuclei: translucent spheres still load and draw', async () => {
	await checkShown(exportPage('benzene', ['MOLOBJ_XRAY=true', 'MOLOBJ_SHOW_NUCLEUS=true']),
		path.join(outDir, 'benzene-xray.png'));
});

test('small molecules: the page draws what three.js\'s own glTF loader draws of the same file', async () => {
	const { buildPage, MODEL_MARK } = require(path.join(source, 'tools', 'preview', 'build-page.js'));
	const template = path.join(outDir, 'reference-template.html');
	await buildPage(template, path.join(__dirname, 'gltfloader-reader.js'));
	const picture = async (file) => {
		const { page: tab, info } = await browser.openPreview(session, file);
		assert.strictEqual(info.state, 'loaded', info.error);
		const data = await browser.pixels(tab);
		await tab.close();
		return { info, data };
	};
	for (const [name, sets] of [['caffeine', []], ['benzene', ['MOLOBJ_XRAY=true', 'MOLOBJ_SHOW_NUCLEUS=true']]]) {
		const page = exportPage(name, sets);
		// The same summary and model, in the template with the loader.
		const html = fs.readFileSync(page.html, 'utf8');
		const from = html.indexOf('<pre id="summary">');
		const filled = html.slice(from, html.indexOf('</script>', html.indexOf('<script id="model"', from)) + 9);
		const reference = path.join(outDir, `${name}-reference.html`);
		fs.writeFileSync(reference, fs.readFileSync(template, 'utf8').replace(MODEL_MARK, () => filled));
		const [ours, theirs] = [await picture(page.html), await picture(reference)];
		for (const key of ['objects', 'meshes', 'triangles', 'drawn'])
			assert.strictEqual(ours.info[key], theirs.info[key], `${name}: ${key}`);
		assert.strictEqual(ours.data.length, theirs.data.length);
		// Both draw the same calls, so the pictures match but for rounding.
		let differing = 0;
		for (let i = 0; i < ours.data.length; i += 4) {
			if (browser.differ(ours.data, i, theirs.data, i, 6))
				++differing;
		}
		assert.ok(differing <= 20, `${name}: ${differing} pixels differ from the loader's picture`);
	}
});

test('a large molecule: each shared mesh is drawn once, small atoms coarser, and the first frame comes', async () => {
	// 10^5 atoms (4 x 10^5 nodes): 117 copies of the protein example, cut to size. The timeout only
	// guards against a hang; the time to the first frame is measured by the benchmarks.
	const sdf = path.join(outDir, 'tiled.sdf');
	execFileSync('/usr/bin/python3', [path.join(source, 'tools', 'tile_molecule.py'), '100000', sdf]);
	const glb = path.join(outDir, 'tiled.glb');
	const line = execFileSync(tool, ['export', sdf, '-o', glb, '--html'], { encoding: 'utf8' }).trim();
	const info = await checkShown({ glb, html: path.join(outDir, 'tiled.html'), line }, path.join(outDir, 'tiled.png'),
		300000);
	// One draw per element and per kind of bond, not one per object.
	assert.ok(info.drawn > 0 && info.drawn <= 12, `${info.drawn} draws for ${info.meshes} meshes`);
	assert.ok(info.frameTriangles > 0 && info.frameTriangles < info.triangles / 10,
		`the first frame drew ${info.frameTriangles} of the file's ${info.triangles} triangles`);
	for (const file of [sdf, glb, path.join(outDir, 'tiled.html')])
		fs.rmSync(file);
});

test('a damaged model: the page says it cannot be shown', async () => {
	const page = exportPage('acetonitrile');
	const damaged = path.join(outDir, 'damaged.html');
	const html = fs.readFileSync(page.html, 'utf8');
	const model = /(<script id="model"[^>]*>)[^<]*/;
	assert.match(html, model);
	fs.writeFileSync(damaged, html.replace(model, `$1${Buffer.from('not a binary glTF file').toString('base64')}`));
	const { page: tab, info } = await browser.openPreview(session, damaged);
	assert.strictEqual(info.state, 'failed');
	assert.match(await tab.textContent('#status'), /could not be shown/);
	await tab.close();
});

// A page holding a binary glTF file made of `gltf` (the JSON) and no binary chunk.
function pageWith(name, gltf) {
	const html = fs.readFileSync(exportPage('acetonitrile').html, 'utf8');
	let text = JSON.stringify(gltf);
	text += ' '.repeat((4 - (text.length % 4)) % 4);
	const head = Buffer.alloc(20);
	head.write('glTF', 0, 'latin1');
	head.writeUInt32LE(2, 4);
	head.writeUInt32LE(20 + text.length, 8);
	head.writeUInt32LE(text.length, 12);
	head.writeUInt32LE(0x4e4f534a, 16);
	const file = path.join(outDir, `${name}.html`);
	const model = Buffer.concat([head, Buffer.from(text, 'latin1')]).toString('base64');
	fs.writeFileSync(file, html.replace(/(<script id="model"[^>]*>)[^<]*/, `$1${model}`));
	return file;
}

test('a model whose tree or references are broken: the page says so, and does not hang', async () => {
	const asset = { version: '2.0' };
	const broken = {
		cycle: [{ asset, scene: 0, scenes: [{ nodes: [0] }], nodes: [{ children: [1] }, { children: [0] }] },
			/node 0 twice/],
		'missing node': [{ asset, scenes: [{ nodes: [0, 3] }], nodes: [{}] }, /node 3 which the model lacks/],
		'missing mesh': [{ asset, scenes: [{ nodes: [0] }], nodes: [{ mesh: 2 }] }, /mesh 2, which the model lacks/],
		'outside buffer': [{ asset, scenes: [{ nodes: [0] }], nodes: [{ mesh: 0 }],
			meshes: [{ primitives: [{ attributes: { POSITION: 0 } }] }],
			accessors: [{ bufferView: 0, componentType: 5126, count: 3, type: 'VEC3' }],
			bufferViews: [{ buffer: 0, byteLength: 36 }], buffers: [{ byteLength: 36 }] }, /runs past its buffer/],
	};
	for (const [name, [gltf, message]] of Object.entries(broken)) {
		const { page: tab, info } = await browser.openPreview(session, pageWith(name.replace(' ', '-'), gltf));
		assert.strictEqual(info.state, 'failed', name);
		assert.match(info.error, message, name);
		await tab.close();
	}
});
