// The preview page's viewer: reads the binary glTF embedded in the page, frames and lights it,
// and lets the mouse orbit and zoom. Bundled with three.js into the page by build-page.js, so the
// page needs no network.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
import { instanceModel } from './instances.js';
import { SphereDetail } from './detail.js';

const BACKGROUND = 0x2b2f36;

// What the page shows, for people (the status line) and for tests (window.vireltanPreview).
// frameTriangles: what the first frame drew (fewer than the file holds while spheres are drawn
// coarser); timings: milliseconds spent decoding the page's base64, reading the glTF, framing and
// drawing the first frame, and from the page's start to that frame.
const preview = { state: 'loading', error: '', objects: 0, meshes: 0, triangles: 0, drawn: 0, frameTriangles: 0,
	timings: {}, render: () => {} };
window.vireltanPreview = preview;

function setStatus(text) {
	const status = document.getElementById('status');
	if (status)
		status.textContent = text;
}

function fail(message) {
	preview.state = 'failed';
	preview.error = message;
	document.body.dataset.state = 'failed';
	setStatus(`The model could not be shown: ${message}`);
}

function decodeModel() {
	const element = document.getElementById('model');
	if (!element)
		throw new Error('the page holds no model');
	const text = atob(element.textContent.replace(/\s+/g, ''));
	const bytes = new Uint8Array(text.length);
	for (let i = 0; i < text.length; ++i)
		bytes[i] = text.charCodeAt(i);
	return bytes.buffer;
}

// Fits the camera to the meshes' own bounding spheres, which hug a molecule closer than its box.
function frame(camera, controls, root) {
	root.updateMatrixWorld(true);
	const center = new THREE.Box3().setFromObject(root).getCenter(new THREE.Vector3());
	let radius = 1e-6;
	const sphere = new THREE.Sphere();
	const placed = new THREE.Matrix4();
	const box = new THREE.Box3();
	const boxSphere = new THREE.Sphere();
	root.traverse((o) => {
		if (!o.isMesh)
			return;
		if (!o.geometry.boundingSphere)
			o.geometry.computeBoundingSphere();
		if (!o.geometry.boundingBox)
			o.geometry.computeBoundingBox();
		const copies = o.isInstancedMesh ? o.count : 1;
		for (let i = 0; i < copies; ++i) {
			if (o.isInstancedMesh)
				o.getMatrixAt(i, placed).premultiply(o.matrixWorld);
			else
				placed.copy(o.matrixWorld);
			// A stretched tube's sphere grows with its longest axis all round; the sphere around its
			// placed box is then the closer one.
			sphere.copy(o.geometry.boundingSphere).applyMatrix4(placed);
			box.copy(o.geometry.boundingBox).applyMatrix4(placed).getBoundingSphere(boxSphere);
			const closer = boxSphere.radius < sphere.radius ? boxSphere : sphere;
			radius = Math.max(radius, closer.center.distanceTo(center) + closer.radius);
		}
	});
	const halfFov = THREE.MathUtils.degToRad(camera.fov / 2);
	const fitting = Math.min(halfFov, Math.atan(Math.tan(halfFov) * camera.aspect));
	const distance = (radius / Math.sin(fitting)) * 1.02;
	const direction = new THREE.Vector3(0.25, 0.3, 1).normalize();
	camera.position.copy(center).addScaledVector(direction, distance);
	camera.near = distance / 100;
	camera.far = distance * 20;
	camera.updateProjectionMatrix();
	controls.target.copy(center);
	controls.minDistance = radius * 0.1;
	controls.maxDistance = distance * 8;
	controls.update();
}

function start() {
	const summary = document.getElementById('summary');
	if (summary)
		document.title = `${summary.textContent.split(': ')[0].split('/').pop()} - Vireltan preview`;
	const renderer = new THREE.WebGLRenderer({ antialias: true });
	renderer.setPixelRatio(window.devicePixelRatio);
	renderer.setSize(window.innerWidth, window.innerHeight);
	renderer.setClearColor(BACKGROUND);
	document.getElementById('view').appendChild(renderer.domElement);

	const scene = new THREE.Scene();
	// Plain lights rather than an environment map: a software renderer builds one in seconds.
	scene.add(new THREE.HemisphereLight(0xffffff, 0x8d8d99, 2.2));
	const camera = new THREE.PerspectiveCamera(35, window.innerWidth / window.innerHeight, 0.01, 100);
	// A key light that moves with the camera keeps the side facing the viewer lit.
	const key = new THREE.DirectionalLight(0xffffff, 2.2);
	key.position.set(-1, 2, 3);
	camera.add(key);
	scene.add(camera);

	const controls = new OrbitControls(camera, renderer.domElement);
	let detail = null;
	const render = () => {
		if (detail)
			detail.update(camera, renderer.domElement.height);
		renderer.render(scene, camera);
	};
	preview.render = render;
	window.addEventListener('resize', () => {
		camera.aspect = window.innerWidth / window.innerHeight;
		camera.updateProjectionMatrix();
		renderer.setSize(window.innerWidth, window.innerHeight);
		render();
	});

	return async () => {
		const times = [performance.now()];
		const bytes = decodeModel();
		times.push(performance.now());
		const model = await instanceModel(bytes);
		times.push(performance.now());
		Object.assign(preview, { objects: model.objects, meshes: model.meshes, triangles: model.triangles,
			drawn: model.drawn });
		scene.add(model.shown);
		detail = new SphereDetail(model.shown, model.triangles);
		// Framing moves the controls; the listener comes after it, so the first frame is drawn once.
		frame(camera, controls, model.shown);
		controls.addEventListener('change', render);
		times.push(performance.now());
		render();
		// Reading a pixel waits for the frame to be drawn, so "loaded" means the picture is there.
		const gl = renderer.getContext();
		gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
		times.push(performance.now());
		const [decode, read, place, draw] = times.slice(1).map((t, i) => Math.round(t - times[i]));
		preview.timings = { decode, read, frame: place, draw, firstFrame: Math.round(times[4]) };
		preview.frameTriangles = renderer.info.render.triangles;
		preview.state = 'loaded';
		document.body.dataset.state = 'loaded';
		setStatus('Drag to orbit, scroll to zoom, right-drag to pan.');
	};
}

const failed = (err) => fail(String(err && err.message ? err.message : err));
let load = null;
try {
	load = start();
} catch (err) {
	failed(err);
}
// The model is read after the page has drawn its "Loading" line once: a large one takes seconds.
if (load)
	requestAnimationFrame(() => setTimeout(() => load().catch(failed), 0));
