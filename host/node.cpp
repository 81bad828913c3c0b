// The scene graph's core: atom state, the lists nodes sit in, link ids, and copying a node.
// The SDK classes' methods over it are in baselist.cpp, object.cpp and scene.cpp.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include <sys/mman.h>
#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif

#include "node.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VH_HAS_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef VH_HAS_ADDRESS_SANITIZER
#define VH_HAS_ADDRESS_SANITIZER 0
#endif

namespace vh
{
namespace
{
struct LinkTable
{
	std::mutex mutex;
	std::unordered_map<Int64, Node*> nodes;
	Int64 next = 0;
};

LinkTable& Links()
{
	static LinkTable* table = new LinkTable; // never destroyed: atoms may outlive static destruction
	return *table;
}

// Nodes come from large blocks the kernel may back with huge pages: a molecule's cache holds
// hundreds of thousands of them, and faulting their memory in a small page at a time was most of
// building one. Freed nodes are reused; blocks stay for the life of the process. Under AddressSanitizer
// and valgrind every node is an allocation of its own, so that they still see each one.
class NodePool
{
public:
	void* Allocate()
	{
		void* p = Take();
		if (p)
			_live.fetch_add(1, std::memory_order_relaxed);
		return p;
	}

	void Release(void* p)
	{
		_live.fetch_sub(1, std::memory_order_relaxed);
		if (!Pooled())
		{
			::operator delete(p);
			return;
		}
		std::lock_guard<std::mutex> hold(_lock);
		*static_cast<void**>(p) = _free;
		_free = p;
	}

	// Plain allocations are malloc's, which counts them itself.
	Int64 BytesInUse() const { return Pooled() ? _live.load(std::memory_order_relaxed) * Int64(kSlot) : 0; }

private:
	static constexpr ptrdiff_t kSlot = ptrdiff_t((sizeof(Node) + alignof(Node) - 1) / alignof(Node) * alignof(Node));
	static constexpr size_t kBlock = size_t(8) << 20;

	static Bool Pooled()
	{
#if defined(__SANITIZE_ADDRESS__) || VH_HAS_ADDRESS_SANITIZER
		return false;
#elif defined(RUNNING_ON_VALGRIND)
		static const Bool pooled = !RUNNING_ON_VALGRIND;
		return pooled;
#else
		return true;
#endif
	}

	void* Take()
	{
		if (!Pooled())
			return ::operator new(sizeof(Node), std::nothrow);
		std::lock_guard<std::mutex> hold(_lock);
		if (_free)
		{
			void* p = _free;
			_free = *static_cast<void**>(p);
			return p;
		}
		if (_end - _next < kSlot && !Grow())
			return nullptr;
		void* p = _next;
		_next += kSlot;
		return p;
	}

	Bool Grow()
	{
		void* block = ::mmap(nullptr, kBlock, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
		if (block == MAP_FAILED)
			return false;
		::madvise(block, kBlock, MADV_HUGEPAGE);
		_next = static_cast<char*>(block);
		_end = _next + kBlock;
		return true;
	}

	std::mutex _lock;
	std::atomic<Int64> _live { 0 };
	void* _free = nullptr;
	char* _next = nullptr;
	char* _end = nullptr;
};

NodePool& Pool()
{
	static NodePool* pool = new NodePool; // never destroyed, as the link table
	return *pool;
}

} // namespace

Int64 NodeBytesInUse() { return Pool().BytesInUse(); }

namespace
{
Node* NewNode()
{
	void* p = Pool().Allocate();
	return p ? new (p) Node : nullptr;
}

void DeleteNode(Node* n)
{
	n->~Node();
	Pool().Release(n);
}

// Head and tail pointers of the list a node is in (both nullptr for a free-standing node).
struct Slots
{
	Node** first = nullptr;
	Node** last = nullptr;
};

Slots SlotsOf(Node* n)
{
	if (n->tagOwner)
		return { &n->tagOwner->firstTag, &n->tagOwner->lastTag };
	if (Node* owner = n->TrackOwner())
		return { &owner->rare->firstTrack, &owner->rare->lastTrack };
	if (n->parent)
	{
		if (n->cls == NodeClass::MATERIAL && n->parent->cls == NodeClass::DOCUMENT)
			return { &n->parent->rare->firstMaterial, &n->parent->rare->lastMaterial };
		return { &n->parent->firstChild, &n->parent->lastChild };
	}
	return {};
}

void SetDocumentTree(Node* n, BaseDocument* doc)
{
	n->document = doc;
	for (Node* t = n->firstTag; t; t = t->next)
		SetDocumentTree(t, doc);
	for (Node* t = n->FirstTrack(); t; t = t->next)
		SetDocumentTree(t, doc);
	for (Node* c = n->firstChild; c; c = c->next)
		SetDocumentTree(c, doc);
}
} // namespace

Bool IsObjectClass(NodeClass c)
{
	return c == NodeClass::OBJECT || c == NodeClass::POLYGON || c == NodeClass::SPLINE;
}

Bool IsTagClass(NodeClass c)
{
	return c == NodeClass::TAG || c == NodeClass::TEXTURETAG;
}

Bool InList(const Node* n)
{
	return n->parent || n->tagOwner || n->TrackOwner() || n->next || n->pred;
}

void Unlink(Node* n)
{
	Slots s = SlotsOf(n);
	if (n->pred)
		n->pred->next = n->next;
	else if (s.first && *s.first == n)
		*s.first = n->next;
	if (n->next)
		n->next->pred = n->pred;
	else if (s.last && *s.last == n)
		*s.last = n->pred;
	Bool wasInTree = n->parent || n->tagOwner || n->TrackOwner();
	n->next = n->pred = nullptr;
	n->parent = n->tagOwner = nullptr;
	if (n->rare)
		n->rare->trackOwner = nullptr;
	if (wasInTree && n->cls != NodeClass::DOCUMENT)
		SetDocumentTree(n, nullptr);
}

namespace
{
// Which list of `owner` a node of class `cls` goes into when inserted under it.
Branch BranchFor(NodeClass cls, const Node* owner)
{
	if (cls == NodeClass::TRACK)
		return owner->cls == NodeClass::TRACK ? Branch::NONE : Branch::TRACKS;
	if (IsTagClass(cls))
		return IsObjectClass(owner->cls) ? Branch::TAGS : Branch::NONE;
	if (cls == NodeClass::MATERIAL)
		return owner->cls == NodeClass::DOCUMENT ? Branch::MATERIALS : Branch::NONE;
	if (IsObjectClass(cls))
		return (IsObjectClass(owner->cls) || owner->cls == NodeClass::DOCUMENT) ? Branch::CHILDREN : Branch::NONE;
	return Branch::NONE;
}

} // namespace

void AttachUnder(Node* n, Node* owner, Branch b, Node* pred)
{
	Node** first = nullptr;
	Node** last = nullptr;
	switch (b)
	{
		case Branch::CHILDREN:
			n->parent = owner;
			first = &owner->firstChild;
			last = &owner->lastChild;
			break;
		case Branch::MATERIALS:
			// Only documents hold materials, and a document has its rare part from the start.
			if (!owner->rare)
				return;
			n->parent = owner;
			first = &owner->rare->firstMaterial;
			last = &owner->rare->lastMaterial;
			break;
		case Branch::TAGS:
			n->tagOwner = owner;
			first = &owner->firstTag;
			last = &owner->lastTag;
			break;
		case Branch::TRACKS:
			// A track has its rare part from the start; its owner gets one here, and without
			// memory for it the track stays out of the list.
			if (!n->MakeRare() || !owner->MakeRare())
				return;
			n->rare->trackOwner = owner;
			first = &owner->rare->firstTrack;
			last = &owner->rare->lastTrack;
			break;
		case Branch::NONE:
			return;
	}
	Node* next = pred ? pred->next : *first;
	n->pred = pred;
	n->next = next;
	if (pred)
		pred->next = n;
	else
		*first = n;
	if (next)
		next->pred = n;
	else
		*last = n;
	SetDocumentTree(n, owner->document);
}

namespace
{
// True when `n` is `target` or one of its ancestors (an insertion that would make a cycle).
Bool IsAncestorOrSelf(const Node* n, const Node* target)
{
	for (const Node* p = target; p; p = p->parent ? p->parent : (p->tagOwner ? p->tagOwner : p->TrackOwner()))
		if (p == n)
			return true;
	return false;
}

} // namespace

void InsertBeside(Node* n, Node* bl, Bool after)
{
	if (!n || !bl || IsAncestorOrSelf(n, bl))
		return;
	if (InList(n))
		Unlink(n);
	Node* owner = bl->parent ? bl->parent : (bl->tagOwner ? bl->tagOwner : bl->TrackOwner());
	if (owner)
	{
		Branch b = bl->tagOwner ? Branch::TAGS
			: bl->TrackOwner() ? Branch::TRACKS
			: (bl->cls == NodeClass::MATERIAL && owner->cls == NodeClass::DOCUMENT) ? Branch::MATERIALS
			: Branch::CHILDREN;
		if (BranchFor(n->cls, owner) != b)
			return;
		AttachUnder(n, owner, b, after ? bl : bl->pred);
		return;
	}
	// bl heads no list: a free-standing chain of siblings.
	Node* pred = after ? bl : bl->pred;
	Node* next = after ? bl->next : bl;
	n->pred = pred;
	n->next = next;
	if (pred)
		pred->next = n;
	if (next)
		next->pred = n;
}

void InsertUnderImpl(Node* n, Node* owner, Bool last)
{
	if (!n || !owner || IsAncestorOrSelf(n, owner))
		return;
	Branch b = BranchFor(n->cls, owner);
	if (b == Branch::NONE)
		return;
	if (InList(n))
		Unlink(n);
	Node* pred = nullptr;
	if (last)
	{
		switch (b)
		{
			case Branch::CHILDREN: pred = owner->lastChild; break;
			case Branch::MATERIALS: pred = owner->LastMaterial(); break;
			case Branch::TAGS: pred = owner->lastTag; break;
			case Branch::TRACKS: pred = owner->LastTrack(); break;
			case Branch::NONE: break;
		}
	}
	AttachUnder(n, owner, b, pred);
}

namespace
{
Bool AllowsMultiple(Int32 tagType)
{
	return tagType != Tphong;
}
} // namespace

BaseTag* NewTag(Int32 type)
{
	if (!ConsumeAllocation(AllocKind::TAG))
		return nullptr;
	NodeClass cls = type == Ttexture ? NodeClass::TEXTURETAG : NodeClass::TAG;
	BaseTag* tag = static_cast<BaseTag*>(Access::Create(cls, type));
	if (tag)
		N(tag)->name = DefaultName(type);
	return tag;
}

void PlaceTag(Node* obj, Node* tag, Node* pred)
{
	if (InList(tag))
		Unlink(tag);
	if (pred && pred->tagOwner != obj)
		pred = nullptr;
	AttachUnder(tag, obj, Branch::TAGS, pred);
	if (AllowsMultiple(tag->type))
		return;
	for (Node* t = obj->firstTag; t;)
	{
		Node* next = t->next;
		if (t != tag && t->type == tag->type)
			Access::Destroy(t->atom);
		t = next;
	}
}

Node* TagAt(Node* obj, Int32 type, Int32 nr)
{
	if (!obj || nr < 0)
		return nullptr;
	for (Node* t = obj->firstTag; t; t = t->next)
		if (t->type == type && nr-- == 0)
			return t;
	return nullptr;
}

namespace
{
// Clones a tag or track (container, name, material link, description id).
Node* CloneLeaf(Node* src)
{
	C4DAtom* a = nullptr;
	if (IsTagClass(src->cls))
	{
		if (!ConsumeAllocation(AllocKind::TAG))
			return nullptr;
		a = Access::Create(src->cls, src->type);
	}
	else
	{
		a = Access::Create(src->cls, src->type);
	}
	Node* d = N(a);
	if (!d)
		return nullptr;
	if (!CopyNode(src, d, COPYFLAGS::NONE, nullptr))
	{
		Access::Destroy(a);
		return nullptr;
	}
	return d;
}
} // namespace

// ---- Access ---------------------------------------------------------------------------------

C4DAtom* Access::Create(NodeClass cls, Int32 type)
{
	Node* n = NewNode();
	if (!n)
		return nullptr;
	if ((cls == NodeClass::DOCUMENT || cls == NodeClass::TRACK) && !n->MakeRare())
	{
		DeleteNode(n);
		return nullptr;
	}
	static_assert(sizeof(BaseObject) <= sizeof(Node::atomStorage) && sizeof(PolygonObject) <= sizeof(Node::atomStorage) &&
			sizeof(SplineObject) <= sizeof(Node::atomStorage) && sizeof(BaseTag) <= sizeof(Node::atomStorage) &&
			sizeof(TextureTag) <= sizeof(Node::atomStorage) && sizeof(BaseMaterial) <= sizeof(Node::atomStorage) &&
			sizeof(CTrack) <= sizeof(Node::atomStorage) && sizeof(BaseDocument) <= sizeof(Node::atomStorage),
		"an atom must fit the node's storage for it");
	void* place = n->atomStorage;
	C4DAtom* a = nullptr;
	switch (cls)
	{
		case NodeClass::OBJECT: a = new (place) BaseObject; break;
		case NodeClass::POLYGON: a = new (place) PolygonObject; break;
		case NodeClass::SPLINE: a = new (place) SplineObject; break;
		case NodeClass::TAG: a = new (place) BaseTag; break;
		case NodeClass::TEXTURETAG: a = new (place) TextureTag; break;
		case NodeClass::MATERIAL: a = new (place) BaseMaterial; break;
		case NodeClass::TRACK: a = new (place) CTrack; break;
		case NodeClass::DOCUMENT: a = new (place) BaseDocument; break;
	}
	n->atom = a;
	n->type = type;
	n->cls = cls;
	// A new object counts as changed until the host first touches it.
	n->dirtyData = 1;
	a->_vh = n;
	if (cls == NodeClass::DOCUMENT)
		n->document = static_cast<BaseDocument*>(a);
	return a;
}

Int64 LinkId(Node* n)
{
	if (!n)
		return 0;
	LinkTable& t = Links();
	std::lock_guard<std::mutex> lock(t.mutex);
	if (n->linkId != 0)
		return n->linkId;
	try
	{
		t.nodes.emplace(t.next + 1, n);
	}
	catch (const std::bad_alloc&)
	{
		return 0;
	}
	n->linkId = ++t.next;
	return n->linkId;
}

void Access::Destroy(C4DAtom* a)
{
	Node* n = N(a);
	if (!n)
		return;
	if (InList(n))
		Unlink(n);
	if (n->cacheOwner)
	{
		n->cacheOwner->cache = nullptr;
		n->cacheOwner->cacheValid = false;
		n->cacheOwner = nullptr;
	}
	DestroyNodeData(n);
	while (n->firstChild)
		Destroy(n->firstChild->atom);
	while (n->FirstMaterial())
		Destroy(n->FirstMaterial()->atom);
	while (n->firstTag)
		Destroy(n->firstTag->atom);
	while (n->FirstTrack())
		Destroy(n->FirstTrack()->atom);
	if (n->cache)
	{
		BaseObject* c = n->cache;
		n->cache = nullptr;
		N(c)->cacheOwner = nullptr;
		Destroy(c);
	}
	if (n->Derived())
	{
		BaseObject* d = n->rare->derived;
		n->rare->derived = nullptr;
		Destroy(d);
	}
	if (n->linkId != 0)
	{
		LinkTable& t = Links();
		std::lock_guard<std::mutex> lock(t.mutex);
		t.nodes.erase(n->linkId);
	}
	a->_vh = nullptr;
	a->~C4DAtom();
	DeleteNode(n);
}

Node* NodeByLinkId(Int64 id)
{
	if (id == 0)
		return nullptr;
	LinkTable& t = Links();
	std::lock_guard<std::mutex> lock(t.mutex);
	auto it = t.nodes.find(id);
	return it == t.nodes.end() ? nullptr : it->second;
}

// ---- host helpers --------------------------------------------------------------------------

BaseObject* NewObjectNode(NodeClass cls, Int32 type)
{
	if (!IsObjectClass(cls))
		return nullptr;
	if (!ConsumeAllocation(cls == NodeClass::SPLINE ? AllocKind::SPLINE : AllocKind::OBJECT))
		return nullptr;
	return static_cast<BaseObject*>(Access::Create(cls, type));
}

String DefaultName(Int32 type)
{
	// Copies of one string each: a copy shares the characters, so naming an object allocates nothing.
	static const String null("Null"), sweep("Sweep"), spline("Spline"), polygon("Polygon"), sphere("Sphere"),
		cylinder("Cylinder"), phong("Phong"), texture("Texture"), material("Mat");
	switch (type)
	{
		case Onull: return null;
		case Osweep: return sweep;
		case Ospline: return spline;
		case Opolygon: return polygon;
		case Osphere: return sphere;
		case Ocylinder: return cylinder;
		case Tphong: return phong;
		case Ttexture: return texture;
		case Mbase:
		case Mmaterial: return material;
		default: break;
	}
	if (const ObjectPlugin* p = FindObjectPlugin(type))
		return p->name;
	return String();
}

void CollectObjects(Node* first, std::vector<Node*>& out)
{
	for (Node* n = first; n; n = n->next)
	{
		out.push_back(n);
		CollectObjects(n->firstChild, out);
	}
}

void DestroyNodeData(Node* n)
{
	NodeData* nd = n->nodeData;
	if (!nd)
		return;
	nd->Free(static_cast<GeListNode*>(n->atom));
	n->nodeData = nullptr;
	// The allocation started at the most derived object, which NewObjClear placed there.
	void* mem = dynamic_cast<void*>(nd);
	nd->~NodeData();
	maxon::DefaultAllocator::Free(mem);
}

namespace
{
// The node's own state: container, name, object, point, spline, primitive, track and tag fields.
Bool CopyFields(const Node* src, Node* dst)
{
	try
	{
		dst->data = src->data;
		dst->name = src->name;
		dst->relPos = src->relPos;
		dst->colorMode = src->colorMode;
		dst->color = src->color;
		dst->xray = src->xray;
		dst->colorPropsSet = src->colorPropsSet;
		dst->points = src->points;
		dst->tangents = src->tangents;
		dst->polygons = src->polygons;
		dst->splineType = src->splineType;
		dst->primitiveType = src->primitiveType;
		dst->primitiveRadius = src->primitiveRadius;
		dst->primitiveSegments = src->primitiveSegments;
		if (src->TrackId())
		{
			if (!dst->MakeRare())
				return false;
			dst->rare->trackId = std::make_unique<DescID>(*src->TrackId());
		}
		else if (dst->rare)
		{
			dst->rare->trackId.reset();
		}
		dst->materialLink = src->materialLink;
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	return true;
}

// Replaces dst's tags (or tracks) with clones of src's.
Bool CopyLeaves(const Node* src, Node* dst, Branch b)
{
	const Bool tags = b == Branch::TAGS;
	while (Node* old = tags ? dst->firstTag : dst->FirstTrack())
		Access::Destroy(old->atom);
	for (Node* t = tags ? src->firstTag : src->FirstTrack(); t; t = t->next)
	{
		Node* c = CloneLeaf(t);
		if (!c || (!tags && !dst->MakeRare()))
		{
			if (c)
				Access::Destroy(c->atom);
			return false;
		}
		AttachUnder(c, dst, b, tags ? dst->lastTag : dst->LastTrack());
	}
	return true;
}

// Replaces dst's children with clones of src's.
Bool CopyChildren(const Node* src, Node* dst)
{
	while (dst->firstChild)
		Access::Destroy(dst->firstChild->atom);
	for (Node* c = src->firstChild; c; c = c->next)
	{
		BaseObject* clone = CloneObject(static_cast<BaseObject*>(c->atom));
		if (!clone)
			return false;
		AttachUnder(N(clone), dst, Branch::CHILDREN, dst->lastChild);
	}
	return true;
}
} // namespace

Bool CopyNode(Node* src, Node* dst, COPYFLAGS flags, AliasTrans* trn)
{
	if (!src || !dst || src == dst)
		return src && src == dst;
	if (src->cls != dst->cls || src->type != dst->type)
		return false;
	if (!CopyFields(src, dst))
		return false;
	++dst->dirtyData;
	++dst->dirtyMatrix;

	if (!CopyLeaves(src, dst, Branch::TAGS))
		return false;
	if (!(flags & COPYFLAGS::NO_ANIMATION) && !CopyLeaves(src, dst, Branch::TRACKS))
		return false;
	if (IsObjectClass(src->cls) && !(flags & COPYFLAGS::NO_HIERARCHY) && !CopyChildren(src, dst))
		return false;
	if (src->nodeData && dst->nodeData)
		return src->nodeData->CopyTo(dst->nodeData, static_cast<GeListNode*>(src->atom),
			static_cast<GeListNode*>(dst->atom), flags, trn);
	return true;
}
} // namespace vh
