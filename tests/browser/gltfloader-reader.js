// The preview page's model reader done with three.js's own GLTFLoader, as the page read models
// before it read them into instances itself: the browser test bundles it in place of
// tools/preview/instances.js and compares the two pictures.
import * as THREE from 'three';
import { GLTFLoader } from 'three/addons/loaders/GLTFLoader.js';

export function instanceModel(buffer) {
	return new Promise((resolve, reject) => new GLTFLoader().parse(buffer, '', (gltf) => {
		const root = gltf.scene.children.length === 1 ? gltf.scene.children[0] : gltf.scene;
		const counts = { objects: 0, meshes: 0, triangles: 0 };
		root.traverse((o) => {
			if (o === root)
				return;
			++counts.objects;
			if (o.isMesh) {
				++counts.meshes;
				counts.triangles += (o.geometry.index ? o.geometry.index.count : o.geometry.attributes.position.count) / 3;
			}
		});
		// Meshes of one geometry and one material as one InstancedMesh, each copy where its node sits.
		gltf.scene.updateMatrixWorld(true);
		const groups = new Map();
		gltf.scene.traverse((o) => {
			if (!o.isMesh)
				return;
			const key = `${o.geometry.uuid} ${o.material.uuid}`;
			groups.set(key, [...(groups.get(key) || []), o]);
		});
		const shown = new THREE.Group();
		for (const meshes of groups.values()) {
			const drawn = new THREE.InstancedMesh(meshes[0].geometry, meshes[0].material, meshes.length);
			meshes.forEach((m, i) => drawn.setMatrixAt(i, m.matrixWorld));
			drawn.computeBoundingBox();
			drawn.computeBoundingSphere();
			shown.add(drawn);
		}
		resolve({ shown, ...counts, drawn: shown.children.length });
	}, reject));
}
