"""Imports binary glTF files with Blender's own importer and checks what it made; run inside Blender:

    blender --background --factory-startup --python-exit-code 1 --python tools/blender_import.py -- FILE.glb...

Each file goes into an empty scene through bpy.ops.import_scene.gltf with the importer's defaults.
The import must finish, and the scene must then hold one object per glTF node, one mesh object
per node with a mesh, the file's triangles, its materials by name, and the meshes where the file
places them (the box around every vertex in the world, to 1e-4 of its size). One line per file
gives the counts and the seconds the import took. Any difference, error or exception exits 1
(tools/check-blender.sh runs this).
"""

import json
import struct
import sys
import time

import bpy
import numpy

# Debian 12's Blender 3.4 imports glTF with a name newer numpy dropped (docs/usage.md).
if not hasattr(numpy, "bool"):
    numpy.bool = bool

COMPONENTS = {5121: numpy.uint8, 5123: numpy.uint16, 5125: numpy.uint32, 5126: numpy.float32}
SIZES = {"SCALAR": 1, "VEC3": 3}


def read_glb(path):
    with open(path, "rb") as f:
        data = f.read()
    magic, version, _ = struct.unpack_from("<4sII", data, 0)
    if magic != b"glTF" or version != 2:
        raise ValueError("%s is not a binary glTF 2.0 file" % path)
    length = struct.unpack_from("<I", data, 12)[0]
    gltf = json.loads(data[20:20 + length])
    binary = data[20 + length + 8:] if len(data) > 20 + length else b""
    return gltf, binary


def accessor(gltf, binary, index):
    a = gltf["accessors"][index]
    view = gltf["bufferViews"][a["bufferView"]]
    size = SIZES[a["type"]]
    values = numpy.frombuffer(binary, dtype=COMPONENTS[a["componentType"]], count=a["count"] * size,
                              offset=view.get("byteOffset", 0) + a.get("byteOffset", 0))
    return values.reshape(-1, size) if size > 1 else values


def local_matrix(node):
    if "matrix" in node:
        return numpy.array(node["matrix"], dtype=numpy.float64).reshape(4, 4).T
    x, y, z, w = node.get("rotation", [0, 0, 0, 1])
    rotation = numpy.array([[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
                            [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
                            [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]])
    m = numpy.identity(4)
    m[:3, :3] = rotation * numpy.array(node.get("scale", [1, 1, 1]))
    m[:3, 3] = node.get("translation", [0, 0, 0])
    return m


def expected(path):
    """Nodes, mesh nodes, triangles, material names and the world box of the file's vertices."""
    gltf, binary = read_glb(path)
    nodes = gltf.get("nodes", [])
    meshes = gltf.get("meshes", [])
    low, high = numpy.full(3, numpy.inf), numpy.full(3, -numpy.inf)
    triangles = 0
    stack = [(n, numpy.identity(4)) for n in gltf["scenes"][gltf.get("scene", 0)]["nodes"]]
    while stack:
        index, parent = stack.pop()
        node = nodes[index]
        world = parent @ local_matrix(node)
        if "mesh" in node:
            for p in meshes[node["mesh"]]["primitives"]:
                counted = p["indices"] if "indices" in p else p["attributes"]["POSITION"]
                triangles += gltf["accessors"][counted]["count"] // 3
                points = accessor(gltf, binary, p["attributes"]["POSITION"]).astype(numpy.float64)
                placed = points @ world[:3, :3].T + world[:3, 3]
                low, high = numpy.minimum(low, placed.min(axis=0)), numpy.maximum(high, placed.max(axis=0))
        stack += [(c, world) for c in node.get("children", [])]
    # glTF's +Y up is Blender's +Z up: (x, y, z) becomes (x, -z, y).
    low, high = numpy.array([low[0], -high[2], low[1]]), numpy.array([high[0], -low[2], high[1]])
    return {"objects": len(nodes), "meshes": sum("mesh" in n for n in nodes), "triangles": triangles,
            "materials": sorted(m.get("name", "") for m in gltf.get("materials", [])), "box": (low, high)}


def imported():
    """The same of the scene Blender made."""
    low, high = numpy.full(3, numpy.inf), numpy.full(3, -numpy.inf)
    triangles = 0
    depsgraph = bpy.context.evaluated_depsgraph_get()
    for ob in bpy.data.objects:
        if ob.type != "MESH":
            continue
        mesh = ob.data
        corners = numpy.empty(len(mesh.polygons), dtype=numpy.int32)
        mesh.polygons.foreach_get("loop_total", corners)
        triangles += int((corners - 2).sum())
        points = numpy.empty(len(mesh.vertices) * 3)
        mesh.vertices.foreach_get("co", points)
        world = numpy.array(ob.evaluated_get(depsgraph).matrix_world)
        placed = points.reshape(-1, 3) @ world[:3, :3].T + world[:3, 3]
        if len(placed):
            low, high = numpy.minimum(low, placed.min(axis=0)), numpy.maximum(high, placed.max(axis=0))
    return {"objects": len(bpy.data.objects), "meshes": sum(o.type == "MESH" for o in bpy.data.objects),
            "triangles": triangles, "materials": sorted(m.name for m in bpy.data.materials), "box": (low, high)}


def check(path):
    want = expected(path)
    bpy.ops.wm.read_factory_settings(use_empty=True)
    start = time.perf_counter()
    result = bpy.ops.import_scene.gltf(filepath=path)
    seconds = time.perf_counter() - start
    if result != {"FINISHED"}:
        return "%s: the import ended %s" % (path, sorted(result))
    got = imported()
    problems = ["%s %s, the file %s" % (key, got[key], want[key])
                for key in ("objects", "meshes", "triangles", "materials") if got[key] != want[key]]
    size = max(numpy.max(want["box"][1] - want["box"][0]), 1e-12)
    off = max(numpy.max(numpy.abs(got["box"][i] - want["box"][i])) for i in (0, 1))
    if not off <= 1e-4 * size:
        problems.append("the meshes lie up to %g from where the file puts them (size %g)" % (off, size))
    print("blender: %s: %d objects, %d meshes, %d triangles, %d materials, imported in %.2f s" % (
        path, got["objects"], got["meshes"], got["triangles"], len(got["materials"]), seconds), flush=True)
    return "%s: %s" % (path, "; ".join(problems)) if problems else ""


def main(paths):
    if not paths:
        print("usage: blender --background --python tools/blender_import.py -- FILE.glb...", file=sys.stderr)
        return 2
    failures = [f for f in (check(p) for p in paths) if f]
    for f in failures:
        print("blender: FAILED: " + f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    code = main(sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else [])
    if code:
        sys.exit(code)
