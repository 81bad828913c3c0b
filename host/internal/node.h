// Host-side state behind every atom of the scene graph (C4DAtom::_vh).
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "internal.h"

namespace vh
{
// A node's points or polygons. Copies share one array until one of them is written (copy on
// write), so equal objects (the spheres of one element, a cache and its clone) hold their
// geometry once. Write() makes the array the node's own and marks it exposed: a caller may keep
// the pointer it hands out (GetPointW), so an exposed array is never shared again and a copy of
// it is a deep copy. The mark lives with the array, which only its one holder can then reach:
// a node carries one pointer an array (16 bytes, not 24).
template <typename T>
class SharedArray
{
public:
	struct Store
	{
		std::vector<T> items;
		Bool exposed = false;
	};

	SharedArray() = default;
	SharedArray(const SharedArray& o) : _store(Exposed(o._store) ? Clone(o._store) : o._store) {}
	SharedArray& operator=(const SharedArray& o)
	{
		if (this != &o)
			_store = Exposed(o._store) ? Clone(o._store) : o._store;
		return *this;
	}
	// Throws std::bad_alloc.
	SharedArray& operator=(std::vector<T>&& items)
	{
		if (items.empty())
		{
			_store = nullptr;
			return *this;
		}
		auto store = std::make_shared<Store>();
		store->items = std::move(items);
		_store = std::move(store);
		return *this;
	}
	// Takes an array that others hold as well and nobody writes.
	void Share(const std::shared_ptr<Store>& store) { _store = store; }

	const std::vector<T>& Read() const { return _store ? _store->items : Empty(); }
	operator const std::vector<T>&() const { return Read(); }
	size_t size() const { return _store ? _store->items.size() : 0; }
	Bool empty() const { return size() == 0; }
	const T& operator[](size_t i) const { return _store->items[i]; }
	const T* data() const { return _store ? _store->items.data() : nullptr; }

	// The array to change, no longer shared. Throws std::bad_alloc.
	std::vector<T>& Write()
	{
		if (!_store)
			_store = std::make_shared<Store>();
		else if (_store.use_count() > 1)
			_store = Clone(_store);
		_store->exposed = true;
		return _store->items;
	}

private:
	static const std::vector<T>& Empty()
	{
		static const std::vector<T> empty;
		return empty;
	}
	static Bool Exposed(const std::shared_ptr<Store>& store) { return store && store->exposed; }
	static std::shared_ptr<Store> Clone(const std::shared_ptr<Store>& store)
	{
		if (!store)
			return nullptr;
		auto copy = std::make_shared<Store>();
		copy->items = store->items;
		return copy;
	}

	std::shared_ptr<Store> _store;
};

enum class NodeClass : uint8_t
{
	OBJECT, // BaseObject (null, sweep, plug-in objects)
	POLYGON, // PolygonObject
	SPLINE, // SplineObject
	TAG, // BaseTag
	TEXTURETAG, // TextureTag
	MATERIAL, // BaseMaterial
	TRACK, // CTrack
	DOCUMENT // BaseDocument
};

// One struct for every kind of atom, with the fields of each kind grouped below. The SDK hangs
// all its classes off one pointer (C4DAtom::_vh), and the code that matters most works on any
// kind: list insertion, destruction, copying, links and dirty counts. Kind-specific structs would
// put a cast behind every one of those. What few nodes use lives in a part of its own (Rare), and
// the atom in the node's own storage: all of Node is 344 bytes on x86-64, one allocation with its
// atom, and a molecule's cache holds hundreds of thousands of them.
struct Node
{
	// Fields of four bytes and less sit in pairs and groups of eight, so the node has no padding.
	C4DAtom* atom = nullptr; // the atom this state belongs to, which lives in atomStorage below
	Int32 type = 0; // type id (Onull, Osweep, plug-in id, ...)
	Int32 colorMode = 0; // objects: ObjectColorProperties::usecolor
	Int64 linkId = 0; // identity that BaseLinks refer to, unique per process; 0 until LinkId() gives one

	BaseContainer data; // parameter container
	String name;

	// tree (objects under objects, tags of an object, tracks of a node, objects/materials of a document)
	Node* parent = nullptr;
	Node* next = nullptr;
	Node* pred = nullptr;
	Node* firstChild = nullptr;
	Node* lastChild = nullptr;
	Node* firstTag = nullptr; // objects: tag list
	Node* tagOwner = nullptr; // tags: their object
	BaseDocument* document = nullptr; // objects and materials inserted in a document (and everything under them)
	Node* lastTag = nullptr;
	Node* cacheOwner = nullptr; // root of a generator cache: the generator that owns it

	// plug-in data (objects of a registered plug-in type)
	NodeData* nodeData = nullptr;

	// dirty checksums
	UInt32 dirtyData = 0;
	UInt32 dirtyMatrix = 0;
	UInt32 dirtyCache = 0;
	UInt32 touchedData = 0; // value of dirtyData when the host last touched the object
	UInt32 touchedMatrix = 0;
	UInt32 touchedCache = 0;

	// objects
	Vector relPos;
	Vector color; // ObjectColorProperties::color
	BaseObject* cache = nullptr; // generator cache, owned

	// point objects
	SharedArray<Vector> points;
	std::vector<Tangent> tangents; // splines: one per point for Bezier splines
	SharedArray<CPolygon> polygons;

	// objects made by GeneratePrimitive
	Float primitiveRadius = 0.0;
	SPLINETYPE splineType = SPLINETYPE::LINEAR;
	Int32 primitiveType = 0;
	Int32 primitiveSegments = 0;

	NodeClass cls = NodeClass::OBJECT;
	// objects
	Bool colorPropsSet = false;
	Bool cacheValid = false;
	Bool xray = false; // ObjectColorProperties::xray

	// texture tags
	Int64 materialLink = 0;

	// What few nodes use, apart: a molecule's cache holds hundreds of thousands of nodes and none
	// of them needs it. Documents and tracks have it from the start; any other node gets it when
	// it first needs it (tracks of its own, derived geometry).
	struct Rare
	{
		Node* firstTrack = nullptr; // BaseList2D: animation tracks
		Node* lastTrack = nullptr;
		Node* trackOwner = nullptr; // tracks: their node
		std::unique_ptr<DescID> trackId; // tracks: their parameter
		Node* firstMaterial = nullptr; // documents: material list (objects are the children)
		Node* lastMaterial = nullptr;
		// geometry the host derives from the object (a sweep's polygon object), owned, with the
		// stamp of the inputs it was made from
		BaseObject* derived = nullptr;
		UInt64 derivedStamp = 0;
	};
	std::unique_ptr<Rare> rare;

	// The atom itself: every SDK class is a table pointer and _vh, so the atom shares the node's
	// allocation instead of being one more of its own.
	alignas(C4DAtom) unsigned char atomStorage[16];

	// The rare part, made when missing; nullptr when memory runs out.
	Rare* MakeRare()
	{
		if (!rare)
			rare.reset(new (std::nothrow) Rare);
		return rare.get();
	}
	// Its fields read as empty while it does not exist.
	// The display colour record, kept as three fields above.
	ObjectColorProperties ColorProperties() const
	{
		ObjectColorProperties p;
		p.usecolor = colorMode;
		p.color = color;
		p.xray = xray;
		return p;
	}
	void SetColorProperties(const ObjectColorProperties& p)
	{
		colorMode = p.usecolor;
		color = p.color;
		xray = p.xray;
		colorPropsSet = true;
	}
	Node* FirstTrack() const { return rare ? rare->firstTrack : nullptr; }
	Node* LastTrack() const { return rare ? rare->lastTrack : nullptr; }
	Node* TrackOwner() const { return rare ? rare->trackOwner : nullptr; }
	const DescID* TrackId() const { return rare ? rare->trackId.get() : nullptr; }
	Node* FirstMaterial() const { return rare ? rare->firstMaterial : nullptr; }
	Node* LastMaterial() const { return rare ? rare->lastMaterial : nullptr; }
	BaseObject* Derived() const { return rare ? rare->derived : nullptr; }
};

// Access to the protected constructors of the SDK classes.
struct Access
{
	static Node* Of(const C4DAtom* a) { return a ? a->_vh : nullptr; }
	// Allocates atom and state together; nullptr when memory runs out.
	static C4DAtom* Create(NodeClass cls, Int32 type);
	// Frees the atom, its children, tags, tracks, caches and plug-in data.
	static void Destroy(C4DAtom* a);

	// Host-owned helper objects whose constructors the SDK keeps private (PriorityList, HierarchyHelp, BaseLink).
	template <typename T>
	static T* New()
	{
		return new (std::nothrow) T();
	}
	template <typename T>
	static void Delete(T* p)
	{
		delete p;
	}
};

// Node of a link id, nullptr when it no longer exists.
Node* NodeByLinkId(Int64 id);
// The node's link id, given on first use: most nodes (a cache's thousands of objects and tags) are
// never linked to, and the table of linked ones stays small. 0 when memory runs out.
Int64 LinkId(Node* n);

// The host's type id of documents (Tbasedocument).
constexpr Int32 DOCUMENT_TYPE = 110059;

inline Node* N(const C4DAtom* a)
{
	return Access::Of(a);
}

// The atom of a node as the SDK class T; nullptr for no node.
template <typename T>
T* As(Node* n)
{
	return n ? static_cast<T*>(n->atom) : nullptr;
}

// The getters of the SDK classes mostly read one field of the atom's node, and must not fail for
// an atom that has none; these say that once.

// The node a field of a's node points to, as the SDK class T; nullptr for no node or no link.
template <typename T>
T* Linked(const C4DAtom* a, Node* Node::*field)
{
	const Node* n = N(a);
	return n ? As<T>(n->*field) : nullptr;
}

// First element of one of the node's arrays (points, polygons, tangents); nullptr when it is empty.
template <typename V>
V* Items(const C4DAtom* a, std::vector<V> Node::*field)
{
	Node* n = N(a);
	return (n && !(n->*field).empty()) ? (n->*field).data() : nullptr;
}

// The same for reading a shared array, which stays shared.
template <typename V>
const V* ItemsR(const C4DAtom* a, SharedArray<V> Node::*field)
{
	const Node* n = N(a);
	return (n && !(n->*field).empty()) ? (n->*field).data() : nullptr;
}

// The same for writing: the array becomes the node's own; nullptr when that needs memory there is not.
template <typename V>
V* ItemsW(const C4DAtom* a, SharedArray<V> Node::*field)
{
	Node* n = N(a);
	if (!n || (n->*field).empty())
		return nullptr;
	try
	{
		return (n->*field).Write().data();
	}
	catch (const std::bad_alloc&)
	{
		return nullptr;
	}
}

template <typename Array>
Int32 ItemCount(const C4DAtom* a, Array Node::*field)
{
	const Node* n = N(a);
	return n ? Int32((n->*field).size()) : 0;
}

// The SDK classes' static Free: destroys the atom and clears the caller's pointer.
template <typename T>
void FreeAtom(T*& p)
{
	Access::Destroy(p);
	p = nullptr;
}

Bool IsObjectClass(NodeClass c);
Bool IsTagClass(NodeClass c);

// ---- lists: children of objects and documents, tags, tracks, materials ----

// The list of an owner that a node goes into.
enum class Branch
{
	NONE,
	CHILDREN,
	TAGS,
	TRACKS,
	MATERIALS
};

// True when the node is in a list or heads a free-standing chain.
Bool InList(const Node* n);
// Takes the node out of its list; it leaves its document unless it is one.
void Unlink(Node* n);
// Inserts n into owner's branch after pred (nullptr: first).
void AttachUnder(Node* n, Node* owner, Branch b, Node* pred);
// Inserts n next to bl in bl's list: after bl when `after`, else before it. Nothing happens when
// n may not go there or would become its own ancestor.
void InsertBeside(Node* n, Node* bl, Bool after);
// Inserts n first (or last) under owner, in the branch its class goes into.
void InsertUnderImpl(Node* n, Node* owner, Bool last);

// ---- tags ----

// A new tag of that type with its default name, counting one tag allocation.
BaseTag* NewTag(Int32 type);
// Places a tag after pred (nullptr or a tag of another object: first); a tag of a type that may
// exist only once replaces the object's other tag of that type.
void PlaceTag(Node* obj, Node* tag, Node* pred);
// The object's nr-th tag of that type, nullptr when there is none.
Node* TagAt(Node* obj, Int32 type, Int32 nr);

// What PriorityList::Add records during one execution pass (PriorityList::_state).
struct PriorityEntry
{
	GeListNode* node = nullptr;
	Int32 priority = 0;
	EXECUTIONFLAGS flags = EXECUTIONFLAGS::NONE;
};
struct PriorityState
{
	std::vector<PriorityEntry> entries;
};

// Creates an empty object of that class and type, counting one allocation of its kind
// (SPLINE for splines, OBJECT otherwise); no plug-in data, no default name.
BaseObject* NewObjectNode(NodeClass cls, Int32 type);
// Default name the host gives a new object, tag or material of that type.
String DefaultName(Int32 type);
// Every object of the list starting at first and of all their children, depth first (parents first).
void CollectObjects(Node* first, std::vector<Node*>& out);
// Frees plug-in data the way NodeData was allocated (NewObjClear): Free(node), destructor, DefaultAllocator::Free.
void DestroyNodeData(Node* n);
// Copies container, name, object state, tags, tracks and (unless NO_HIERARCHY) children of src into dst,
// then lets the plug-in data copy itself; false when memory ran out or the plug-in's CopyTo failed.
Bool CopyNode(Node* src, Node* dst, COPYFLAGS flags, AliasTrans* trn);
} // namespace vh
