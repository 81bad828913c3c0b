#!/usr/bin/env node
// Builds the preview page template: page.html with viewer.js and the parts of three.js it uses
// bundled into it, so that a page made from it needs no network. vireltan-host fills in the model.
// Usage: build-page.js OUT.html
// The browser test also calls buildPage with another module in place of instances.js.
'use strict';

const fs = require('fs');
const path = require('path');

function loadBundler() {
	try {
		return require('esbuild');
	} catch (err) {
		throw new Error(`${err.message}\n(the npm packages of tools/package.json are missing: run tools/setup.sh)`);
	}
}

const VIEWER_MARK = '<!-- vireltan:viewer -->';
const MODEL_MARK = '<!-- vireltan:model -->';

function occurrences(text, mark) {
	return text.split(mark).length - 1;
}

// Writes the page template to `out`; `reader`, when given, is bundled in place of instances.js.
async function buildPage(out, reader = null) {
	const here = __dirname;
	const template = fs.readFileSync(path.join(here, 'page.html'), 'utf8');
	if (occurrences(template, VIEWER_MARK) !== 1 || occurrences(template, MODEL_MARK) !== 1)
		throw new Error('page.html must hold each mark once');
	const replace = {
		name: 'reader',
		setup(build) {
			build.onResolve({ filter: /^\.\/instances\.js$/ }, () => ({ path: path.resolve(reader) }));
		},
	};
	const bundle = (await loadBundler().build({
		entryPoints: [path.join(here, 'viewer.js')],
		bundle: true,
		format: 'iife',
		minify: true,
		target: 'es2020',
		legalComments: 'eof',
		write: false,
		logLevel: 'warning',
		nodePaths: [path.join(here, '..', 'node_modules')],
		plugins: reader ? [replace] : [],
	})).outputFiles[0].text;
	// The bundle sits inside a <script> element, which the first "</script" would close.
	if (/<\/script/i.test(bundle) || bundle.includes(MODEL_MARK))
		throw new Error('the bundle cannot be inlined as it is');
	const page = template.replace(VIEWER_MARK, () => bundle.trimEnd());
	fs.mkdirSync(path.dirname(path.resolve(out)), { recursive: true });
	fs.writeFileSync(out, page);
}

if (require.main === module) {
	const args = process.argv.slice(2);
	if (args.length !== 1) {
		console.error('usage: build-page.js OUT.html');
		process.exitCode = 2;
	} else {
		buildPage(args[0]).catch((err) => {
			console.error(`build-page.js: ${err.message}`);
			process.exitCode = 1;
		});
	}
}

module.exports = { buildPage, MODEL_MARK };
