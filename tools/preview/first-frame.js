#!/usr/bin/env node
// Opens preview pages offline in headless Chromium (software GL) and prints one JSON line per page:
// the seconds from asking for the page to its first frame drawn, what the viewer reports, and its
// own timings. bench/run.py runs it for the scale table.
// Usage: first-frame.js PAGE.html...
'use strict';

const browser = require('./browser.js');

async function main(pages) {
	if (pages.length === 0) {
		console.error('usage: first-frame.js PAGE.html...');
		return 2;
	}
	const missing = browser.chromiumMissing();
	if (missing) {
		console.error(`first-frame.js: ${missing}`);
		return 1;
	}
	const session = await browser.launch();
	try {
		for (const page of pages) {
			const start = process.hrtime.bigint();
			const { page: tab, info, outside } = await browser.openPreview(session, page, { timeoutMs: 600000 });
			const seconds = Number(process.hrtime.bigint() - start) / 1e9;
			if (info.state !== 'loaded' || outside.length > 0) {
				console.error(`first-frame.js: ${page}: ${info.error || `it fetched ${outside.join(', ')}`}`);
				return 1;
			}
			const { objects, meshes, triangles, drawn, frameTriangles, timings } = info;
			console.log(JSON.stringify({ page, seconds, objects, meshes, triangles, drawn, frameTriangles, timings }));
			await tab.close();
		}
	} finally {
		await session.close();
	}
	return 0;
}

main(process.argv.slice(2)).then((code) => { process.exitCode = code; },
	(err) => { console.error(`first-frame.js: ${err.message}`); process.exitCode = 1; });
