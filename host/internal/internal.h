// Shared internals of the headless host library (not installed, not seen by the plug-in).
#pragma once

#include <string>
#include <vector>

#include "vh/host.h"

namespace vh
{
// Counts one allocation of the kind; false when failure injection says this one must fail.
Bool ConsumeAllocation(AllocKind kind);

// The host side of RegisterObjectPlugin (the function table's entry): false for an id <= 0, an id
// already taken, no allocator or an empty name. The icon's size is copied; the caller keeps the bitmap.
Bool RegisterObjectPluginHost(Int32 id, const String& name, Int32 info, DataAllocator* g, const String& description,
	BaseBitmap* icon, Int32 disklevel, LocalResource* lr);

// A sweep whose tube is straight: its profile, flat in XY, swept along a path of two distinct
// points. The tube is then the unit tube (the same profile from z = 0 to z = 1) placed by the
// frame: the point (x, y, z) of the unit tube is origin + axisX * x + axisY * y + axisZ * length * z,
// exactly as the sweep places its rings.
struct StraightTube
{
	std::vector<Vector> profile; // as the sweep evaluates it
	Bool profileClosed = false;
	Bool capStart = false;
	Bool capEnd = false;
	Vector origin, axisX, axisY, axisZ; // right-handed and orthonormal
	Float length = 0.0;
};
// False when the sweep is not such a tube (a bent or closed path, a profile out of its plane, a
// length too short to scale); GetSweepGeometry then gives its tube. Throws only std::bad_alloc.
Bool GetStraightTube(BaseObject* sweep, StraightTube& tube);
// Points and polygons of the unit tube of that profile and those caps.
Bool BuildUnitTube(const StraightTube& tube, std::vector<Vector>& points, std::vector<CPolygon>& polys);
// A regular file's bytes, read no further than one byte past limit whatever its size said when it
// was opened; false with the reason (not a regular file, over the limit, a read error).
Bool ReadFileCapped(const std::string& path, Int64 limit, std::vector<unsigned char>& bytes, std::string& reason);
} // namespace vh
