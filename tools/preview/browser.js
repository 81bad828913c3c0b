// Opens preview pages in the system's Chromium, headless, through playwright-core: shared by the
// browser test and by render-examples.js.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { pathToFileURL } = require('url');
const { chromium } = require('playwright-core');

const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

// Software WebGL (SwiftShader), no GPU, and nothing that reaches out to the network on its own.
const FLAGS = [
	'--no-sandbox',
	'--disable-gpu',
	'--use-angle=swiftshader',
	'--enable-unsafe-swiftshader',
	'--disable-quic',
	'--no-first-run',
	'--disable-background-networking',
	'--disable-component-update',
	'--disable-sync',
];

function chromiumMissing() {
	try {
		fs.accessSync(CHROMIUM, fs.constants.X_OK);
		return '';
	} catch {
		return `no Chromium at ${CHROMIUM}: install Debian's chromium package (make setup does) ` +
			'or set CHROMIUM to its path';
	}
}

// A browser with a fresh profile; close() removes the profile.
async function launch() {
	const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vireltan-chromium-'));
	const context = await chromium.launchPersistentContext(profile, {
		executablePath: CHROMIUM,
		headless: true,
		args: FLAGS,
		offline: true,
		viewport: { width: 800, height: 450 },
	});
	return {
		context,
		async close() {
			await context.close();
			fs.rmSync(profile, { recursive: true, force: true });
		},
	};
}

// Loads a page and waits until its viewer has shown the model or failed. Returns the page, what
// the viewer reports, the summary line it shows, and every request that left the page's own file.
async function openPreview(browser, file, { width = 800, height = 450, timeoutMs = 60000 } = {}) {
	const page = await browser.context.newPage();
	await page.setViewportSize({ width, height });
	const url = pathToFileURL(path.resolve(file)).href;
	const outside = [];
	page.on('request', (r) => {
		if (r.url() !== url && !r.url().startsWith('data:') && !r.url().startsWith('blob:'))
			outside.push(r.url());
	});
	const problems = [];
	page.on('pageerror', (e) => problems.push(String(e)));
	await page.goto(url, { timeout: timeoutMs });
	await page.waitForFunction(() => window.vireltanPreview && window.vireltanPreview.state !== 'loading',
		null, { timeout: timeoutMs });
	const info = await page.evaluate(() => {
		const p = window.vireltanPreview;
		const summary = document.getElementById('summary');
		return { state: p.state, error: p.error, objects: p.objects, meshes: p.meshes, triangles: p.triangles,
			drawn: p.drawn, frameTriangles: p.frameTriangles, timings: p.timings, summary: summary ? summary.textContent : '' };
	});
	return { page, info, outside, problems };
}

// The canvas's pixels, RGBA by rows, read right after a render.
async function pixels(page) {
	const base64 = await page.evaluate(() => {
		window.vireltanPreview.render();
		const canvas = document.querySelector('#view canvas');
		const copy = document.createElement('canvas');
		copy.width = canvas.width;
		copy.height = canvas.height;
		const g = copy.getContext('2d');
		g.drawImage(canvas, 0, 0);
		const data = g.getImageData(0, 0, copy.width, copy.height).data;
		let text = '';
		for (let i = 0; i < data.length; i += 0x8000)
			text += String.fromCharCode.apply(null, data.subarray(i, i + 0x8000));
		return btoa(text);
	});
	return Buffer.from(base64, 'base64');
}

// Whether two pixels differ by more than `by`, the sum of their channels' differences.
function differ(a, i, b, j, by = 24) {
	return Math.abs(a[i] - b[j]) + Math.abs(a[i + 1] - b[j + 1]) + Math.abs(a[i + 2] - b[j + 2]) > by;
}

// Share of the canvas's pixels that differ from its background colour (its first pixel).
async function coverage(page) {
	const data = await pixels(page);
	let covered = 0;
	for (let i = 0; i < data.length; i += 4) {
		if (differ(data, i, data, 0))
			++covered;
	}
	return covered / (data.length / 4);
}

// Counts from a summary line: "FILE: A atoms, B bonds, N objects, M meshes, T triangles, ...".
function summaryCounts(line) {
	const counts = {};
	for (const [, n, what] of line.matchAll(/(\d+) (atoms|bonds|objects|meshes|triangles)\b/g))
		counts[what] = Number(n);
	return counts;
}

module.exports = { CHROMIUM, chromiumMissing, launch, openPreview, pixels, differ, coverage, summaryCounts };
