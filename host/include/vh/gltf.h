// Binary glTF 2.0 export of an evaluated document (the host's tools and tests; not the plug-in).
#pragma once

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

// Writes the document as a .glb file.
//
// Nodes: one root "scene" scaled by 0.01 (a scene unit is a centimetre, glTF counts metres), under
// it one node per object with its name and its relative position as translation. An object that
// has a generator cache holds the cache's hierarchy, one that has none its own children; sweeps
// keep their profile and path splines as child nodes without a mesh, so the file has the same
// objects as the host's dump. Coordinates are copied as they are, without an axis change.
//
// Meshes: polygon objects and the tube of each sweep as indexed triangles (quads split in two),
// with normals smoothed across edges whose faces meet at less than 80 degrees; identical
// geometry with the same material is written once and shared.
//
// Materials: the material of the object's first texture tag (named after it, colour
// MATERIAL_COLOR_COLOR), else its display colour record ("display #RRGGBB"); X-ray blends at
// alpha 0.5, double-sided. Metallic 0, roughness 0.5. Identical materials are shared.
//
// The file appears whole or not at all: it is written beside the target under a temporary name
// and renamed. On failure returns false, leaves no file and puts the reason into error.
// Never throws.
Bool ExportGltf(BaseDocument* doc, const Filename& file, ExportSummary* summary = nullptr, std::string* error = nullptr);
} // namespace vh
