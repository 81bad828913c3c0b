// The headless host's own interface: what its tools and tests use beside the SDK surface.
// The plug-in never includes this header.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "c4d.h"
#include "description/obase.h"
#include "description/obaselist.h"
#include "description/onurbscaps.h"
#include "description/osphere.h"
#include "description/ospline.h"
#include "description/ttexture.h"
#include "operatingsystem.h"

namespace vh
{
// ---- console and dialogs -------------------------------------------------------------------
struct DialogRecord
{
	Bool question = false; // QuestionDialog (yes/no) rather than MessageDialog
	std::string text; // UTF-8
	Int64 flags = 0; // GEMB flags the box was opened with
	GEMB_R answer = GEMB_R::V_OK;
};

const std::vector<std::string>& ConsoleLines();
const std::vector<DialogRecord>& Dialogs();
void ClearConsoleAndDialogs();
// Answer given to every later yes/no question (default V_NO).
void SetQuestionAnswer(GEMB_R answer);
// Whether boxes and console lines are echoed to standard error (default true).
void SetEcho(Bool echo);
// Whether console lines alone are echoed (default true); SetEcho sets this too.
void SetConsoleEcho(Bool echo);

// ---- allocation failure injection -----------------------------------------------------------
enum class AllocKind
{
	MEMORY, // DefaultAllocator: arrays, NewObj, NewObjClear
	OBJECT, // BaseObject::Alloc
	SPLINE, // SplineObject::Alloc
	TAG, // BaseTag::Alloc, TextureTag::Alloc, MakeTag
	PRIMITIVE // GeneratePrimitive
};
// After `skip` more successful allocations of that kind, the next `count` allocations fail.
void FailAllocations(AllocKind kind, Int skip = 0, Int count = 1);
void ResetAllocationFailures();
// Number of allocations of that kind so far (including failed ones).
Int AllocationCount(AllocKind kind);
// Bytes the scene graph's live nodes take in blocks of the host's own, which malloc's statistics
// do not see (0 under valgrind and AddressSanitizer, where each node is a malloc allocation).
Int64 NodeBytesInUse();

// ---- text ------------------------------------------------------------------------------------
std::string ToUtf8(const maxon::String& s);
String FromUtf8(const std::string& s);

// ---- plug-ins ----------------------------------------------------------------------------------
// The function table handed to c4d_main (version = the host's API version).
OperatingSystem* HostFunctionTable(Int32 version = API_VERSION);

struct ObjectPlugin
{
	Int32 id = 0;
	String name;
	Int32 info = 0;
	DataAllocator* allocator = nullptr;
	String description;
	Int32 disklevel = 0;
	Int32 iconWidth = 0, iconHeight = 0; // copied icon, 0 when none
	LocalResource* resource = nullptr; // resource of the registering module
};
const ObjectPlugin* FindObjectPlugin(Int32 id);
const std::vector<ObjectPlugin>& ObjectPlugins();
// Forgets every registered plug-in (a module is unloaded).
void UnregisterAllPlugins();

// Creates a host object of a registered plug-in type: allocates its NodeData through the
// registered allocator and calls Init. nullptr when the type is unknown or allocation fails;
// an object whose Init returned false is still returned (the host keeps it), initOk says which.
BaseObject* AllocPluginObject(Int32 id, Bool* initOk = nullptr);

// ---- descriptions --------------------------------------------------------------------------------
struct DescEntry
{
	DescID id;
	BaseContainer settings;
	DescID parent;
};
std::vector<DescEntry> DescriptionEntries(const Description* d);
// Resolves a parameter symbol of a description resource (e.g. MOLOBJ_ATOM_SIZE) to its id; -1 if unknown.
Int32 DescriptionSymbolId(const String& descriptionName, const std::string& symbol);
std::vector<std::pair<std::string, Int32>> DescriptionSymbols(const String& descriptionName);
struct ParamInfo
{
	Int32 id;
	Int32 dtype; // DTYPE_* of the element (groups and buttons included; filter by it)
	std::string symbol;
};
// Elements with a symbol of a description resource, in file order; empty when the name is unknown.
std::vector<ParamInfo> DescriptionParameters(const String& descriptionName);
// What a description lets a LONG or REAL parameter hold: MIN and MAX (exclusive with MINEX and
// MAXEX), or the values a CYCLE lists.
struct ParamRange
{
	Bool hasMin = false, hasMax = false;
	Bool minExclusive = false, maxExclusive = false;
	Float min = 0.0, max = 0.0;
	std::vector<Int32> cycle; // empty when the parameter is not a cycle
};
// The range of parameter id in the named description resource; false when it has no such element.
Bool DescriptionRange(const String& descriptionName, Int32 id, ParamRange* range);
// Whether value lies in the range (NaN never does).
Bool InRange(const ParamRange& range, Float value);
// Holds the numbers of a registered plug-in object's container to its description, as the host does
// with values read from a scene file: a number beyond a bound becomes the bound (NaN the lower one),
// a value a cycle does not list becomes the cycle's first value. Returns how many values changed.
Int HoldToDescription(Int32 pluginId, BaseContainer& bc);

// ---- documents -------------------------------------------------------------------------------
// Runs the execution pass (AddToExecution/Execute) and then every generator of the document.
void EvaluateDocument(BaseDocument* doc);
// Sends a message to every object of the document (and its NodeData).
void BroadcastMessage(BaseDocument* doc, Int32 type, void* data);
// Scene files: the object tree with containers, plug-in data blocks, and the document's materials.
Bool SaveDocument(BaseDocument* doc, const Filename& file);
// Scene files larger than this are refused unread; a scene of molecule objects takes kilobytes.
constexpr Int64 SCENE_FILE_LIMIT = Int64(64) << 20;
// Opens a scene; after loading broadcasts MSG_DOCUMENTINFO with MSG_DOCUMENTINFO_TYPE_LOAD. nullptr
// when it cannot, and then *error (when given) says why: no such file, not a regular file, over the
// size limit, bad magic, unsupported version, not a scene, truncated at byte N, damaged at byte N.
BaseDocument* LoadDocument(const Filename& file, std::string* error = nullptr);
// The same from the bytes of a scene file held in memory; file is the name the document is told.
BaseDocument* LoadDocumentBytes(const std::vector<unsigned char>& bytes, const Filename& file, std::string* error = nullptr);
// Host copy of an object (container, NodeData through CopyTo, children, tags).
BaseObject* CloneObject(BaseObject* op);

// ---- inspection -------------------------------------------------------------------------------
struct PrimitiveInfo
{
	Int32 type = 0; // 0 when the object was not made by GeneratePrimitive
	Float radius = 0.0;
	Int32 segments = 0;
};
PrimitiveInfo GetPrimitiveInfo(BaseObject* op);
// Whether SetColorProperties was called on the object.
Bool HasColorProperties(BaseObject* op);
// Triangles the object's polygons make, a quad counting two; 0 for nullptr.
Int TriangleCount(const PolygonObject* op);

// ---- geometry --------------------------------------------------------------------------------
// Points of a spline as the host draws it: Bezier and linear segments with their intermediate
// points (SPLINEOBJECT_INTERPOLATION, SPLINEOBJECT_SUB), closed when SPLINEOBJECT_CLOSED is set.
std::vector<Vector> EvaluateSpline(SplineObject* spline);
// Polygon object a sweep generates from its first child (profile) along its second (path), capped
// at the start when parameter 2999 and at the end when 3000 is non-zero; owned by the sweep and
// rebuilt when the sweep or its children changed. nullptr when the sweep has not two splines.
PolygonObject* GetSweepGeometry(BaseObject* sweep);
} // namespace vh
