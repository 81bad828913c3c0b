#!/usr/bin/env node
// Builds the preview page template: page.html with viewer.js and the parts of three.js it uses
// bundled into it, so that a page made from it needs no network. vireltan-host fills in the model.
// Usage: build-page.js OUT.html
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

function main(args) {
	if (args.length !== 1) {
		console.error('usage: build-page.js OUT.html');
		return 2;
	}
	const here = __dirname;
	const template = fs.readFileSync(path.join(here, 'page.html'), 'utf8');
	if (occurrences(template, VIEWER_MARK) !== 1 || occurrences(template, MODEL_MARK) !== 1) {
		console.error('build-page.js: page.html must hold each mark once');
		return 1;
	}
	const bundle = loadBundler().buildSync({
		entryPoints: [path.join(here, 'viewer.js')],
		bundle: true,
		format: 'iife',
		minify: true,
		target: 'es2020',
		legalComments: 'eof',
		write: false,
		logLevel: 'warning',
	}).outputFiles[0].text;
	// The bundle sits inside a <script> element, which the first "</script" would close.
	if (/<\/script/i.test(bundle) || bundle.includes(MODEL_MARK)) {
		console.error('build-page.js: the bundle cannot be inlined as it is');
		return 1;
	}
	const page = template.replace(VIEWER_MARK, () => bundle.trimEnd());
	fs.mkdirSync(path.dirname(path.resolve(args[0])), { recursive: true });
	fs.writeFileSync(args[0], page);
	return 0;
}

try {
	process.exitCode = main(process.argv.slice(2));
} catch (err) {
	console.error(`build-page.js: ${err.message}`);
	process.exitCode = 1;
}
