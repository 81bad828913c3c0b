// Reads a binary glTF file into three.js InstancedMeshes without making an object per node: the
// nodes' world transforms go straight into one instance matrix array per mesh, so a molecule of
// 10^5 atoms (4 x 10^5 nodes) costs arrays, not 4 x 10^5 scene objects. What it reads is what
// vireltan-host writes (core glTF 2.0, triangles, one embedded buffer); anything else is refused
// with a message. Materials are made as three.js's GLTFLoader makes them, so a page looks the same.
import * as THREE from 'three';

const JSON_CHUNK = 0x4e4f534a;
const BIN_CHUNK = 0x004e4942;
const TRIANGLES = 4;
const COMPONENTS = { 5121: Uint8Array, 5123: Uint16Array, 5125: Uint32Array, 5126: Float32Array };
const SIZES = { SCALAR: 1, VEC2: 2, VEC3: 3, VEC4: 4, MAT4: 16 };

// The JSON and the binary chunk of a .glb file.
function readGlb(buffer) {
	const bytes = new Uint8Array(buffer);
	const data = new DataView(buffer);
	if (bytes.length < 20 || data.getUint32(0, true) !== 0x46546c67)
		throw new Error('the model is not a binary glTF file');
	if (data.getUint32(4, true) !== 2)
		throw new Error(`the model is binary glTF version ${data.getUint32(4, true)}, not 2`);
	const length = Math.min(data.getUint32(8, true), bytes.length);
	let json = null;
	let bin = new Uint8Array(0);
	for (let at = 12; at + 8 <= length;) {
		const size = data.getUint32(at, true);
		const kind = data.getUint32(at + 4, true);
		if (at + 8 + size > length)
			throw new Error('the model is truncated');
		const chunk = bytes.subarray(at + 8, at + 8 + size);
		if (kind === JSON_CHUNK && json === null)
			json = JSON.parse(new TextDecoder().decode(chunk));
		else if (kind === BIN_CHUNK)
			bin = chunk;
		at += 8 + size;
	}
	if (json === null)
		throw new Error('the model holds no JSON chunk');
	for (const name of json.extensionsRequired || [])
		throw new Error(`the model needs the glTF extension ${name}`);
	return { json, bin };
}

// The elements of an accessor as a typed array (a view into the buffer when it is packed).
function readAccessor(json, bin, index) {
	const a = (json.accessors || [])[index];
	if (!a)
		throw new Error(`the model names accessor ${index}, which it lacks`);
	const Type = COMPONENTS[a.componentType];
	const size = SIZES[a.type];
	if (!Type || !size || a.sparse)
		throw new Error(`accessor ${index} is of a kind the page does not read`);
	const view = (json.bufferViews || [])[a.bufferView];
	if (!view || (view.buffer || 0) !== 0 || (json.buffers || [])[0] === undefined || json.buffers[0].uri !== undefined)
		throw new Error(`accessor ${index} lies outside the model's embedded buffer`);
	const element = Type.BYTES_PER_ELEMENT * size;
	const stride = view.byteStride || element;
	const start = (view.byteOffset || 0) + (a.byteOffset || 0);
	const end = a.count > 0 ? start + stride * (a.count - 1) + element : start;
	if (end > (view.byteOffset || 0) + view.byteLength || end > bin.length)
		throw new Error(`accessor ${index} runs past its buffer`);
	const offset = bin.byteOffset + start;
	if (stride === element && offset % Type.BYTES_PER_ELEMENT === 0)
		return { array: new Type(bin.buffer, offset, a.count * size), size };
	const array = new Type(a.count * size);
	const copy = new Uint8Array(array.buffer);
	for (let i = 0; i < a.count; ++i)
		copy.set(bin.subarray(start + i * stride, start + i * stride + element), i * element);
	return { array, size };
}

// A material as GLTFLoader makes it from the same definition (colours are linear in glTF).
function makeMaterial(def) {
	if (!def) {
		return new THREE.MeshStandardMaterial({ color: 0xffffff, emissive: 0x000000, metalness: 1, roughness: 1,
			transparent: false, depthTest: true, side: THREE.FrontSide });
	}
	const pbr = def.pbrMetallicRoughness || {};
	const params = { color: new THREE.Color(1, 1, 1), opacity: 1 };
	if (Array.isArray(pbr.baseColorFactor)) {
		const [r, g, b, alpha] = pbr.baseColorFactor;
		params.color.setRGB(r, g, b, THREE.LinearSRGBColorSpace);
		params.opacity = alpha;
	}
	params.metalness = pbr.metallicFactor !== undefined ? pbr.metallicFactor : 1;
	params.roughness = pbr.roughnessFactor !== undefined ? pbr.roughnessFactor : 1;
	if (def.doubleSided === true)
		params.side = THREE.DoubleSide;
	const mode = def.alphaMode || 'OPAQUE';
	params.transparent = mode === 'BLEND';
	if (mode === 'BLEND')
		params.depthWrite = false;
	else if (mode === 'MASK')
		params.alphaTest = def.alphaCutoff !== undefined ? def.alphaCutoff : 0.5;
	if (def.emissiveFactor !== undefined)
		params.emissive = new THREE.Color().setRGB(...def.emissiveFactor, THREE.LinearSRGBColorSpace);
	const material = new THREE.MeshStandardMaterial(params);
	if (def.name)
		material.name = def.name;
	return material;
}

// A node's own transform into `out`.
function localMatrix(node, out, t, q, s) {
	if (Array.isArray(node.matrix))
		return out.fromArray(node.matrix);
	t.fromArray(node.translation || [0, 0, 0]);
	q.fromArray(node.rotation || [0, 0, 0, 1]);
	s.fromArray(node.scale || [1, 1, 1]);
	return out.compose(t, q, s);
}

// The model's default scene as one group of InstancedMeshes, one per glTF mesh primitive, and
// what the file holds: nodes under the unit root (the scene's one root node, when it has one),
// the nodes that show a mesh, and their triangles.
export function instanceModel(buffer) {
	const { json, bin } = readGlb(buffer);
	const nodes = json.nodes || [];
	const meshes = json.meshes || [];
	const scene = (json.scenes || [])[json.scene || 0];
	if (!scene)
		throw new Error('the model holds no scene');

	// Upper bounds of each mesh's instances; the walk below fills them.
	const uses = new Array(meshes.length).fill(0);
	for (const node of nodes) {
		if (node.mesh !== undefined) {
			if (!meshes[node.mesh])
				throw new Error(`a node names mesh ${node.mesh}, which the model lacks`);
			++uses[node.mesh];
		}
	}

	const geometries = new Map();
	const materials = new Map();
	const geometry = (p) => {
		const key = `${p.attributes.POSITION} ${p.attributes.NORMAL} ${p.indices}`;
		let g = geometries.get(key);
		if (!g) {
			g = new THREE.BufferGeometry();
			const position = readAccessor(json, bin, p.attributes.POSITION);
			g.setAttribute('position', new THREE.BufferAttribute(position.array, position.size));
			// Bounds from the accessor's min and max, and the sphere around that box, as GLTFLoader
			// sets them: the page frames the model by them.
			const { min, max } = json.accessors[p.attributes.POSITION];
			if (Array.isArray(min) && Array.isArray(max)) {
				g.boundingBox = new THREE.Box3(new THREE.Vector3().fromArray(min), new THREE.Vector3().fromArray(max));
				g.boundingSphere = new THREE.Sphere(g.boundingBox.getCenter(new THREE.Vector3()),
					g.boundingBox.min.distanceTo(g.boundingBox.max) / 2);
			}
			if (p.attributes.NORMAL !== undefined) {
				const normal = readAccessor(json, bin, p.attributes.NORMAL);
				g.setAttribute('normal', new THREE.BufferAttribute(normal.array, normal.size));
			} else {
				g.computeVertexNormals();
			}
			if (p.indices !== undefined)
				g.setIndex(new THREE.BufferAttribute(readAccessor(json, bin, p.indices).array, 1));
			geometries.set(key, g);
		}
		return g;
	};
	const material = (index) => {
		let m = materials.get(index);
		if (!m) {
			const def = index === undefined ? null : (json.materials || [])[index];
			if (def === undefined)
				throw new Error(`a mesh names material ${index}, which the model lacks`);
			m = makeMaterial(def);
			materials.set(index, m);
		}
		return m;
	};
	const triangles = (g) => (g.index ? g.index.count : g.attributes.position.count) / 3;

	// Per mesh: its primitives' InstancedMeshes and its triangles; made when a node first shows it.
	const drawn = new Array(meshes.length).fill(null);
	const shown = new THREE.Group();
	const instancesOf = (index) => {
		if (!drawn[index]) {
			const primitives = meshes[index].primitives || [];
			let count = 0;
			const parts = primitives.map((p) => {
				if ((p.mode !== undefined ? p.mode : TRIANGLES) !== TRIANGLES)
					throw new Error('the model holds a primitive that is not made of triangles');
				const g = geometry(p);
				count += triangles(g);
				const part = new THREE.InstancedMesh(g, material(p.material), uses[index]);
				part.count = 0;
				shown.add(part);
				return part;
			});
			drawn[index] = { parts, triangles: count };
		}
		return drawn[index];
	};

	// Depth first through the scene, one matrix per level.
	const roots = scene.nodes || [];
	const unitRoot = roots.length === 1 ? roots[0] : -1;
	const counts = { objects: 0, meshes: 0, triangles: 0 };
	const t = new THREE.Vector3();
	const q = new THREE.Quaternion();
	const s = new THREE.Vector3();
	const local = new THREE.Matrix4();
	const levels = [new THREE.Matrix4()];
	const seen = new Uint8Array(nodes.length);
	const stack = roots.map((n) => [n, 0]).reverse();
	while (stack.length > 0) {
		const [index, depth] = stack.pop();
		const node = nodes[index];
		if (!node || seen[index])
			throw new Error(`the scene's tree names node ${index} ${node ? 'twice' : 'which the model lacks'}`);
		seen[index] = 1;
		if (levels.length < depth + 2)
			levels.push(new THREE.Matrix4());
		const world = levels[depth + 1].multiplyMatrices(levels[depth], localMatrix(node, local, t, q, s));
		if (index !== unitRoot)
			++counts.objects;
		if (node.mesh !== undefined) {
			const mesh = instancesOf(node.mesh);
			if (index !== unitRoot) {
				++counts.meshes;
				counts.triangles += mesh.triangles;
			}
			for (const part of mesh.parts)
				world.toArray(part.instanceMatrix.array, 16 * part.count++);
		}
		const children = node.children || [];
		for (let i = children.length - 1; i >= 0; --i)
			stack.push([children[i], depth + 1]);
	}
	for (const part of shown.children) {
		part.instanceMatrix.needsUpdate = true;
		part.computeBoundingBox();
		part.computeBoundingSphere();
	}
	return { shown, ...counts, drawn: shown.children.length };
}
