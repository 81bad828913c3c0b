#!/usr/bin/env node
// Runs the Khronos glTF validator on each file given and prints its errors and warnings (with
// --all also its infos and hints), then one summary line per file.
// Exit status: 0 when no file has an error or a warning (infos and hints pass),
// 1 when one has, 2 for a usage error or a file that cannot be read or parsed.
'use strict';

const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

const SEVERITY = ['error', 'warning', 'info', 'hint'];

async function validateFile(file, all) {
	let bytes;
	try {
		bytes = fs.readFileSync(file);
	} catch (err) {
		console.error(`${file}: cannot read: ${err.message}`);
		return 2;
	}
	let report;
	try {
		report = await validator.validateBytes(new Uint8Array(bytes), {
			uri: path.basename(file),
			maxIssues: 0,
			// A .glb carries everything; a reference to another file is a fault of the exporter.
			externalResourceFunction: (uri) => Promise.reject(new Error(`external resource ${uri}`)),
		});
	} catch (err) {
		console.error(`${file}: not validated: ${err}`);
		return 2;
	}
	const issues = report.issues;
	for (const m of issues.messages) {
		if (!all && m.severity > 1)
			continue;
		const where = m.pointer ? ` at ${m.pointer}` : m.offset !== undefined ? ` at byte ${m.offset}` : '';
		console.log(`${file}: ${SEVERITY[m.severity] || m.severity}: ${m.code}${where}: ${m.message}`);
	}
	console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ` +
		`${issues.numInfos} infos, ${issues.numHints} hints`);
	return issues.numErrors > 0 || issues.numWarnings > 0 ? 1 : 0;
}

async function main(args) {
	const all = args.includes('--all');
	const files = args.filter((a) => a !== '--all');
	if (files.length === 0) {
		console.error('usage: validate-gltf.js [--all] FILE...');
		return 2;
	}
	let status = 0;
	for (const file of files)
		status = Math.max(status, await validateFile(file, all));
	return status;
}

main(process.argv.slice(2)).then((status) => process.exit(status));
