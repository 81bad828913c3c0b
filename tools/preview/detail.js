// Coarser spheres while atoms are small on screen. A software renderer spends its time per vertex:
// 10^5 atoms of 528 triangles each take over a minute a frame, although each atom then covers a
// few pixels. So when a model holds more triangles than BUDGET, each sphere mesh is drawn as the
// coarsest icosphere whose facets stay within half a pixel of the true sphere where the model is
// nearest the camera, or as the file's own mesh when that would need as many triangles. Models
// within the budget are always drawn with the file's meshes.
import * as THREE from 'three';

export const BUDGET = 4e6;
const MAX_DETAIL = 6;

// Centre and radius of a mesh whose vertices all lie on one sphere about its box's centre, with
// that box a cube (a hemisphere or a cap is none), else null.
export function sphereOf(geometry) {
	const position = geometry.attributes.position;
	if (!position || position.count < 12)
		return null;
	const box = new THREE.Box3().setFromBufferAttribute(position);
	const center = box.getCenter(new THREE.Vector3());
	const size = box.getSize(new THREE.Vector3());
	const radius = size.x / 2;
	if (!(radius > 0) || Math.abs(size.y / 2 - radius) > 0.02 * radius || Math.abs(size.z / 2 - radius) > 0.02 * radius)
		return null;
	const p = new THREE.Vector3();
	for (let i = 0; i < position.count; ++i) {
		if (Math.abs(p.fromBufferAttribute(position, i).distanceTo(center) - radius) > 0.02 * radius)
			return null;
	}
	return { center, radius };
}

// An indexed icosphere with smooth normals: 20 (detail + 1)^2 triangles.
function icosphere(sphere, detail) {
	const made = new THREE.IcosahedronGeometry(1, detail);
	const source = made.attributes.position;
	const points = new Map();
	const positions = [];
	const index = [];
	const v = new THREE.Vector3();
	for (let i = 0; i < source.count; ++i) {
		v.fromBufferAttribute(source, i).normalize();
		const key = `${v.x.toFixed(5)} ${v.y.toFixed(5)} ${v.z.toFixed(5)}`;
		let at = points.get(key);
		if (at === undefined) {
			at = positions.length / 3;
			points.set(key, at);
			positions.push(v.x, v.y, v.z);
		}
		index.push(at);
	}
	made.dispose();
	const normals = Float32Array.from(positions);
	const placed = positions.map((c, i) => sphere.center.getComponent(i % 3) + sphere.radius * c);
	const g = new THREE.BufferGeometry();
	g.setAttribute('position', new THREE.Float32BufferAttribute(placed, 3));
	g.setAttribute('normal', new THREE.BufferAttribute(normals, 3));
	g.setIndex(index);
	return g;
}

// The largest scale an instance matrix applies to the mesh.
function largestScale(mesh) {
	const m = new THREE.Matrix4();
	const axis = new THREE.Vector3();
	let scale = 0;
	for (let i = 0; i < mesh.count; ++i) {
		mesh.getMatrixAt(i, m);
		for (let c = 0; c < 3; ++c)
			scale = Math.max(scale, axis.setFromMatrixColumn(m, c).length());
	}
	return scale;
}

// Picks each sphere mesh's geometry for the next frame from the camera and the view's height in
// device pixels.
export class SphereDetail {
	constructor(shown, triangles) {
		this.spheres = [];
		if (triangles <= BUDGET)
			return;
		for (const mesh of shown.children) {
			const sphere = sphereOf(mesh.geometry);
			if (!sphere)
				continue;
			const own = mesh.geometry.index ? mesh.geometry.index.count / 3 : mesh.geometry.attributes.position.count / 3;
			this.spheres.push({ mesh, sphere, own, file: mesh.geometry, scale: largestScale(mesh), coarse: [] });
		}
	}

	update(camera, heightPx) {
		const pixelsPerUnit = heightPx / (2 * Math.tan(THREE.MathUtils.degToRad(camera.fov / 2)));
		for (const s of this.spheres) {
			const bounds = s.mesh.boundingSphere;
			const nearest = Math.max(camera.position.distanceTo(bounds.center) - bounds.radius, camera.near);
			const pixels = (s.sphere.radius * s.scale * pixelsPerUnit) / nearest;
			// A facet of angle a lies r (1 - cos(a / 2)) ~ r a^2 / 8 inside the sphere; an icosahedron's
			// edges span 1.107 rad, divided detail + 1 times.
			const angle = Math.sqrt(4 / Math.max(pixels, 1e-6));
			const detail = Math.max(0, Math.ceil(1.107 / angle) - 1);
			let geometry = s.file;
			if (detail <= MAX_DETAIL && 20 * (detail + 1) ** 2 < s.own) {
				if (!s.coarse[detail])
					s.coarse[detail] = icosphere(s.sphere, detail);
				geometry = s.coarse[detail];
			}
			s.mesh.geometry = geometry;
		}
	}
}
