// Binary glTF 2.0 export of an evaluated document (the host's tools and tests; not the plug-in).
#pragma once

#include <functional>
#include <string>

#include "c4d.h"

namespace vh
{
struct ExportSummary
{
	Int objects = 0; // glTF nodes made from scene objects: every node but the unit root
	Int triangles = 0; // triangles written (a quad counts two)
	Int polygonObjects = 0; // polygon objects written with a mesh
	Int sweeps = 0; // sweeps written with their tube
	Int64 bytes = 0; // size of the file
	double seconds = 0.0; // wall time of the whole export
};

// How the scene is laid out in the file.
struct ExportOptions
{
	// false: one node per object, as below. true: the merged form for tools that slow down with
	// many objects: under the root one node per material, named after it, with one mesh that
	// holds every triangle of that material in scene coordinates; no node per object.
	Bool merged = false;
};

// Writes the document as a .glb file.
//
// Nodes: one root "scene" scaled by 0.01 (a scene unit is a centimetre, glTF counts metres), under
// it one node per object with its name and its relative position as translation. An object's
// node holds its generator cache's hierarchy, if it has one, followed by its own children; sweeps
// keep their profile and path splines as child nodes without a mesh, so the file has the same
// objects as the host's dump. Coordinates are copied as they are, without an axis change; node
// transforms are written at the precision of the floats that hold the vertices.
//
// Meshes: polygon objects and the tube of each sweep as indexed triangles (a quad split along
// the diagonal that stays inside it), with normals smoothed across edges whose faces meet at less
// than 80 degrees, the host's default Phong angle; identical geometry with the same material is
// written once and shared. A straight tube (a flat profile swept along two points) shares the
// unit tube of its profile and caps: its node places it, translated to the path's start, rotated
// onto its axis and scaled along it to its length; the profile and path nodes under it, which
// hold no geometry, sit in that frame.
//
// Materials: the material of the nearest texture tag, on the object or inherited from the
// objects above it (named after the material, colour MATERIAL_COLOR_COLOR), else the object's
// display colour record, named by `roleName` when it gives a name for the object, else
// "display #RRGGBB"; with X-ray the name ends in " x-ray" and blends at alpha 0.5, double-sided.
// Materials of different names stay apart even when their colours are equal. Metallic 0,
// roughness 0.5. Colours are sRGB values in the host and become linear factors in the file.
// Identical materials are shared.
//
// The file is written piece by piece as the scene is walked, and appears whole or not at all: it
// is written beside the target under a temporary name and renamed (a symbolic link at the target
// is replaced, not followed). On failure returns false, leaves no file and puts the reason into
// error. Never throws. Sweeps build their tubes on
// first use, so a document must not be exported from two threads at once.
using MaterialRoleName = std::function<std::string(BaseObject* op)>;
Bool ExportGltf(BaseDocument* doc, const Filename& file, ExportSummary* summary = nullptr, std::string* error = nullptr,
	const MaterialRoleName& roleName = nullptr, const ExportOptions& options = {});
// The bytes ExportGltf would write, kept in memory (summary.seconds stays 0).
Bool ExportGltfBytes(BaseDocument* doc, std::string& bytes, ExportSummary* summary = nullptr, std::string* error = nullptr,
	const MaterialRoleName& roleName = nullptr, const ExportOptions& options = {});
} // namespace vh
