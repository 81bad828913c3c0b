// Type ids, flags and enums of the host, with the values of the R26 SDK.
#pragma once

#include "maxon/apibase.h"

#define MAXON_ENUM_FLAGS_OPERATORS(E) \
	inline constexpr E operator|(E a, E b) { return E(static_cast<Int64>(a) | static_cast<Int64>(b)); } \
	inline constexpr E operator&(E a, E b) { return E(static_cast<Int64>(a) & static_cast<Int64>(b)); } \
	inline constexpr E operator^(E a, E b) { return E(static_cast<Int64>(a) ^ static_cast<Int64>(b)); } \
	inline constexpr E operator~(E a) { return E(~static_cast<Int64>(a)); } \
	inline E& operator|=(E& a, E b) { return a = a | b; } \
	inline E& operator&=(E& a, E b) { return a = a & b; } \
	inline constexpr Bool operator!(E a) { return static_cast<Int64>(a) == 0; }

// Object, tag and material types.
#define Opolygon 5100
#define Ospline 5101
#define Osweep 5118
#define Onull 5140
#define Obase 5155
#define Osphere 5160
#define Ocylinder 5170
#define Tphong 5612
#define Ttexture 5616
#define Mbase 5702
#define Mmaterial 5703
#define ID_BASELIST_TRACK 5350

// Object plug-in info flags.
#define OBJECT_MODIFIER (1 << 0)
#define OBJECT_HIERARCHYMODIFIER (1 << 1)
#define OBJECT_GENERATOR (1 << 2)
#define OBJECT_INPUT (1 << 3)
#define OBJECT_PARTICLEMODIFIER (1 << 5)
#define OBJECT_ISSPLINE (1 << 7)
#define OBJECT_USECACHECOLOR (1 << 10)
#define OBJECT_CALL_ADDEXECUTION (1 << 15)

// Execution priorities.
#define EXECUTIONPRIORITY_INITIAL 1000
#define EXECUTIONPRIORITY_ANIMATION 2000
#define EXECUTIONPRIORITY_ANIMATION_NLA 2010
#define EXECUTIONPRIORITY_EXPRESSION 3000
#define EXECUTIONPRIORITY_DYNAMICS 4000
#define EXECUTIONPRIORITY_GENERATOR 5000
#define EXECUTIONPRIORITY_FORCE 2147483647

enum class DIRTYFLAGS : Int64
{
	NONE = 0,
	MATRIX = 1 << 1,
	DATA = 1 << 2,
	SELECT = 1 << 3,
	CACHE = 1 << 4,
	CHILDREN = 1 << 5,
	DESCRIPTION = 1 << 6,
	SELECTION_OBJECTS = 1 << 20,
	SELECTION_TAGS = 1 << 21,
	SELECTION_MATERIALS = 1 << 22,
	ALL = -1
};
MAXON_ENUM_FLAGS_OPERATORS(DIRTYFLAGS)

enum class COPYFLAGS : Int64
{
	NONE = 0,
	NO_HIERARCHY = 1 << 2,
	NO_ANIMATION = 1 << 3,
	NO_BITS = 1 << 4,
	NO_BRANCHES = 1 << 7,
	DOCUMENT = 1 << 10,
	CACHE_BUILD = 1 << 13
};
MAXON_ENUM_FLAGS_OPERATORS(COPYFLAGS)

enum class DESCFLAGS_DESC : Int64
{
	NONE = 0,
	RESOLVEMULTIPLEDATA = 1 << 0,
	LOADED = 1 << 1,
	RECURSIONLOCK = 1 << 2,
	DONTLOADDEFAULT = 1 << 3,
	MAPTAGS = 1 << 4,
	NEEDDEFAULTVALUE = 1 << 5,
	TRISTATE = 1 << 6
};
MAXON_ENUM_FLAGS_OPERATORS(DESCFLAGS_DESC)

enum class DESCFLAGS_GET : Int64
{
	NONE = 0,
	PARAM_GET = 1 << 1,
	NO_GLOBALDATA = 1 << 4,
	NO_GEDATADEFAULTVALUE = 1 << 5,
	ALLOW_TRISTATE = 1 << 6
};
MAXON_ENUM_FLAGS_OPERATORS(DESCFLAGS_GET)

enum class DESCFLAGS_SET : Int64
{
	NONE = 0,
	PARAM_SET = 1 << 1,
	USERINTERACTION = 1 << 2,
	DONTCHECKMINMAX = 1 << 3,
	FORCESET = 1 << 7,
	INDRAG = 1 << 9,
	INRESETTODEFAULT = 1 << 10
};
MAXON_ENUM_FLAGS_OPERATORS(DESCFLAGS_SET)

enum class DESCFLAGS_ENABLE : Int64
{
	NONE = 0
};
MAXON_ENUM_FLAGS_OPERATORS(DESCFLAGS_ENABLE)

enum class EXECUTIONFLAGS : Int64
{
	NONE = 0,
	ANIMATION = 1 << 1,
	EXPRESSION = 1 << 2,
	CACHEBUILDING = 1 << 3,
	CAMERAONLY = 1 << 4,
	INDRAG = 1 << 5,
	INMOVE = 1 << 6,
	RENDER = 1 << 7,
	ALLOW_PRIORITYSHIFT = 1 << 8
};
MAXON_ENUM_FLAGS_OPERATORS(EXECUTIONFLAGS)

enum class EXECUTIONRESULT
{
	OK = 0,
	USERBREAK = 1,
	OUTOFMEMORY = 2
};

enum class SPLINETYPE
{
	LINEAR = 0,
	CUBIC = 1,
	AKIMA = 2,
	BSPLINE = 3,
	BEZIER = 4,
	RESERVEDSPLINETYPE1 = 5,
	RESERVEDSPLINETYPE2 = 6
};

enum class STRINGENCODING
{
	XBIT = 0,
	BIT7 = 2,
	BIT7HEX = 3,
	UTF8 = 4
};

enum class GEMB : Int64
{
	OK = 0x0000,
	OKCANCEL = 0x0001,
	ABORTRETRYIGNORE = 0x0002,
	YESNOCANCEL = 0x0003,
	YESNO = 0x0004,
	RETRYCANCEL = 0x0005,
	ICONSTOP = 0x0010,
	ICONQUESTION = 0x0020,
	ICONEXCLAMATION = 0x0030,
	ICONASTERISK = 0x0040,
	MULTILINE = 0x0080,
	FORCEDIALOG = 0x8000
};
MAXON_ENUM_FLAGS_OPERATORS(GEMB)

enum class GEMB_R
{
	V_UNDEFINED = 0,
	V_OK = 1,
	V_CANCEL = 2,
	V_ABORT = 3,
	V_RETRY = 4,
	V_IGNORE = 5,
	V_YES = 6,
	V_NO = 7
};

enum class BUILDFLAGS : Int64
{
	NONE = 0,
	INTERNALRENDERER = 1 << 1,
	EXTERNALRENDERER = 1 << 2,
	ISOPARM = 1 << 3
};
MAXON_ENUM_FLAGS_OPERATORS(BUILDFLAGS)
