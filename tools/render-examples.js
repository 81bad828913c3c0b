#!/usr/bin/env node
// Renders examples through the preview page in headless Chromium to the PNGs the README shows.
// Usage: node tools/render-examples.js [VIRELTAN_HOST [OUT_DIR]]
//   (defaults: build/default/vireltan-host and docs/images; needs Debian's chromium)
'use strict';

const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const browser = require('./preview/browser.js');

const source = path.resolve(__dirname, '..');

// name of the picture, example, parameters
const PICTURES = [
	['caffeine', 'caffeine', []],
	['protein_g_b1', 'protein_g_b1', []],
	['caffeine_xray', 'caffeine', ['MOLOBJ_XRAY=true', 'MOLOBJ_SHOW_NUCLEUS=true']],
];

async function main(args) {
	const tool = path.resolve(args[0] || path.join(source, 'build', 'default', 'vireltan-host'));
	const outDir = path.resolve(args[1] || path.join(source, 'docs', 'images'));
	const missing = browser.chromiumMissing();
	if (missing) {
		console.error(`render-examples.js: ${missing}`);
		return 1;
	}
	fs.mkdirSync(outDir, { recursive: true });
	const work = fs.mkdtempSync(path.join(os.tmpdir(), 'vireltan-render-'));
	const session = await browser.launch();
	try {
		for (const [name, example, sets] of PICTURES) {
			// Run from the work folder so that the summary line names the file without a path.
			const exportArgs = ['export', path.join(source, 'examples', `${example}.sdf`), '-o', `${name}.glb`, '--html'];
			for (const s of sets)
				exportArgs.push('--set', s);
			execFileSync(tool, exportArgs, { cwd: work, stdio: ['ignore', 'ignore', 'inherit'] });
			const { page, info } = await browser.openPreview(session, path.join(work, `${name}.html`),
				{ width: 720, height: 405 });
			if (info.state !== 'loaded')
				throw new Error(`${name}: ${info.error}`);
			await page.addStyleTag({ content: '#status { display: none; }' });
			const png = path.join(outDir, `${name}.png`);
			await page.screenshot({ path: png });
			await page.close();
			console.log(`${path.relative(process.cwd(), png)}: ${fs.statSync(png).size} bytes (${info.summary})`);
		}
	} finally {
		await session.close();
		fs.rmSync(work, { recursive: true, force: true });
	}
	return 0;
}

main(process.argv.slice(2)).then((status) => { process.exitCode = status; },
	(err) => { console.error(`render-examples.js: ${err.message}`); process.exitCode = 1; });
