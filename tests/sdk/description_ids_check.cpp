// Compiles only when c4d.h leaves the parameter ids of the description headers out, as the real
// SDK's c4d.h does for onurbscaps.h: each id below is declared once more in a namespace that a
// using-directive brings in, so a second declaration from c4d.h makes its use ambiguous.
#include "c4d.h"

namespace fallback
{
enum
{
	CAPSANDBEVELS_CAP_ENABLE_START = -1,
	PRIM_SPHERE_RAD = -1,
	SPLINEOBJECT_INTERPOLATION = -1,
	TEXTURETAG_PROJECTION = -1,
	ID_BASEOBJECT_USECOLOR_AUTOMATIC = -1
};
} // namespace fallback

using namespace fallback;

static_assert(CAPSANDBEVELS_CAP_ENABLE_START == -1, "c4d.h must not provide description/onurbscaps.h");
static_assert(PRIM_SPHERE_RAD == -1, "c4d.h must not provide description/osphere.h");
static_assert(SPLINEOBJECT_INTERPOLATION == -1, "c4d.h must not provide description/ospline.h");
static_assert(TEXTURETAG_PROJECTION == -1, "c4d.h must not provide description/ttexture.h");
static_assert(ID_BASEOBJECT_USECOLOR_AUTOMATIC == -1, "c4d.h must not provide description/obase.h");

// An explicit include provides them; the global ones are found first by qualified lookup.
#include "description/obase.h"
#include "description/onurbscaps.h"
#include "description/osphere.h"
#include "description/ospline.h"
#include "description/ttexture.h"

static_assert(::CAPSANDBEVELS_CAP_ENABLE_START == 2999 && ::CAPSANDBEVELS_CAP_ENABLE_END == 3000, "sweep cap ids");
static_assert(::PRIM_SPHERE_RAD == 1110 && ::SPLINEOBJECT_INTERPOLATION == 1001 && ::TEXTURETAG_PROJECTION == 1004,
	"description ids");
static_assert(::ID_BASEOBJECT_USECOLOR_AUTOMATIC == 1, "object colour modes");
