// The scene graph: atoms, list nodes, objects, tags, tracks, links, materials and documents.
#include <algorithm>
#include <mutex>
#include <new>
#include <unordered_map>

#include "node.h"

namespace vh
{
namespace
{
// The host's type id of documents (Tbasedocument).
constexpr Int32 DOCUMENT_TYPE = 110059;
// Phong tag settings (PHONGTAG_PHONG_ANGLELIMIT, PHONGTAG_PHONG_ANGLE of the host's Tphong description).
constexpr Int32 PHONG_ANGLELIMIT = 1000;
constexpr Int32 PHONG_ANGLE = 1001;

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

Bool IsObjectClass(NodeClass c)
{
	return c == NodeClass::OBJECT || c == NodeClass::POLYGON || c == NodeClass::SPLINE;
}

Bool IsTagClass(NodeClass c)
{
	return c == NodeClass::TAG || c == NodeClass::TEXTURETAG;
}

Node* N(const C4DAtom* a)
{
	return Access::Of(a);
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
	if (n->trackOwner)
		return { &n->trackOwner->firstTrack, &n->trackOwner->lastTrack };
	if (n->parent)
	{
		if (n->cls == NodeClass::MATERIAL && n->parent->cls == NodeClass::DOCUMENT)
			return { &n->parent->firstMaterial, &n->parent->lastMaterial };
		return { &n->parent->firstChild, &n->parent->lastChild };
	}
	return {};
}

Bool InList(const Node* n)
{
	return n->parent || n->tagOwner || n->trackOwner || n->next || n->pred;
}

void SetDocumentTree(Node* n, BaseDocument* doc)
{
	n->document = doc;
	for (Node* t = n->firstTag; t; t = t->next)
		SetDocumentTree(t, doc);
	for (Node* t = n->firstTrack; t; t = t->next)
		SetDocumentTree(t, doc);
	for (Node* c = n->firstChild; c; c = c->next)
		SetDocumentTree(c, doc);
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
	Bool wasInTree = n->parent || n->tagOwner || n->trackOwner;
	n->next = n->pred = nullptr;
	n->parent = n->tagOwner = n->trackOwner = nullptr;
	if (wasInTree && n->cls != NodeClass::DOCUMENT)
		SetDocumentTree(n, nullptr);
}

// Which list of `owner` a node of class `cls` goes into when inserted under it.
enum class Branch
{
	NONE,
	CHILDREN,
	TAGS,
	TRACKS,
	MATERIALS
};

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

// Inserts n into owner's branch after pred (nullptr: first).
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
			n->parent = owner;
			first = &owner->firstMaterial;
			last = &owner->lastMaterial;
			break;
		case Branch::TAGS:
			n->tagOwner = owner;
			first = &owner->firstTag;
			last = &owner->lastTag;
			break;
		case Branch::TRACKS:
			n->trackOwner = owner;
			first = &owner->firstTrack;
			last = &owner->lastTrack;
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

// True when `n` is `target` or one of its ancestors (an insertion that would make a cycle).
Bool IsAncestorOrSelf(const Node* n, const Node* target)
{
	for (const Node* p = target; p; p = p->parent ? p->parent : (p->tagOwner ? p->tagOwner : p->trackOwner))
		if (p == n)
			return true;
	return false;
}

// Inserts n next to bl in bl's list: after bl when `after`, else before it.
void InsertBeside(Node* n, Node* bl, Bool after)
{
	if (!n || !bl || IsAncestorOrSelf(n, bl))
		return;
	if (InList(n))
		Unlink(n);
	Node* owner = bl->parent ? bl->parent : (bl->tagOwner ? bl->tagOwner : bl->trackOwner);
	if (owner)
	{
		Branch b = bl->tagOwner ? Branch::TAGS
			: bl->trackOwner ? Branch::TRACKS
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
			case Branch::MATERIALS: pred = owner->lastMaterial; break;
			case Branch::TAGS: pred = owner->lastTag; break;
			case Branch::TRACKS: pred = owner->lastTrack; break;
			case Branch::NONE: break;
		}
	}
	AttachUnder(n, owner, b, pred);
}

template <typename T>
T* As(Node* n)
{
	return n ? static_cast<T*>(n->atom) : nullptr;
}

Bool AllowsMultiple(Int32 tagType)
{
	return tagType != Tphong;
}

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

// Places a tag after pred (nullptr or a tag of another object: first); a tag of a type that may
// exist only once replaces the object's other tag of that type.
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
	Node* n = new (std::nothrow) Node;
	if (!n)
		return nullptr;
	C4DAtom* a = nullptr;
	switch (cls)
	{
		case NodeClass::OBJECT: a = new (std::nothrow) BaseObject; break;
		case NodeClass::POLYGON: a = new (std::nothrow) PolygonObject; break;
		case NodeClass::SPLINE: a = new (std::nothrow) SplineObject; break;
		case NodeClass::TAG: a = new (std::nothrow) BaseTag; break;
		case NodeClass::TEXTURETAG: a = new (std::nothrow) TextureTag; break;
		case NodeClass::MATERIAL: a = new (std::nothrow) BaseMaterial; break;
		case NodeClass::TRACK: a = new (std::nothrow) CTrack; break;
		case NodeClass::DOCUMENT: a = new (std::nothrow) BaseDocument; break;
	}
	if (!a)
	{
		delete n;
		return nullptr;
	}
	n->atom = a;
	n->type = type;
	n->cls = cls;
	// A new object counts as changed until the host first touches it.
	n->dirtyData = 1;
	a->_vh = n;
	if (cls == NodeClass::DOCUMENT)
		n->document = static_cast<BaseDocument*>(a);
	LinkTable& t = Links();
	try
	{
		std::lock_guard<std::mutex> lock(t.mutex);
		n->linkId = ++t.next;
		t.nodes.emplace(n->linkId, n);
	}
	catch (const std::bad_alloc&)
	{
		delete a;
		delete n;
		return nullptr;
	}
	return a;
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
	while (n->firstMaterial)
		Destroy(n->firstMaterial->atom);
	while (n->firstTag)
		Destroy(n->firstTag->atom);
	while (n->firstTrack)
		Destroy(n->firstTrack->atom);
	if (n->cache)
	{
		BaseObject* c = n->cache;
		n->cache = nullptr;
		N(c)->cacheOwner = nullptr;
		Destroy(c);
	}
	if (n->derived)
	{
		BaseObject* d = n->derived;
		n->derived = nullptr;
		Destroy(d);
	}
	Delete(n->hh);
	n->hh = nullptr;
	{
		LinkTable& t = Links();
		std::lock_guard<std::mutex> lock(t.mutex);
		t.nodes.erase(n->linkId);
	}
	a->_vh = nullptr;
	delete a;
	delete n;
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
	switch (type)
	{
		case Onull: return String("Null");
		case Osweep: return String("Sweep");
		case Ospline: return String("Spline");
		case Opolygon: return String("Polygon");
		case Osphere: return String("Sphere");
		case Ocylinder: return String("Cylinder");
		case Tphong: return String("Phong");
		case Ttexture: return String("Texture");
		case Mbase:
		case Mmaterial: return String("Mat");
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

Bool CopyNode(Node* src, Node* dst, COPYFLAGS flags, AliasTrans* trn)
{
	if (!src || !dst || src == dst)
		return src && src == dst;
	if (src->cls != dst->cls || src->type != dst->type)
		return false;
	try
	{
		dst->data = src->data;
		dst->name = src->name;
		dst->relPos = src->relPos;
		dst->colorProps = src->colorProps;
		dst->colorPropsSet = src->colorPropsSet;
		dst->points = src->points;
		dst->tangents = src->tangents;
		dst->polygons = src->polygons;
		dst->splineType = src->splineType;
		dst->primitiveType = src->primitiveType;
		dst->primitiveRadius = src->primitiveRadius;
		dst->primitiveSegments = src->primitiveSegments;
		dst->trackId = src->trackId;
		dst->materialLink = src->materialLink;
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	++dst->dirtyData;
	++dst->dirtyMatrix;

	while (dst->firstTag)
		Access::Destroy(dst->firstTag->atom);
	for (Node* t = src->firstTag; t; t = t->next)
	{
		Node* c = CloneLeaf(t);
		if (!c)
			return false;
		AttachUnder(c, dst, Branch::TAGS, dst->lastTag);
	}
	if (!(flags & COPYFLAGS::NO_ANIMATION))
	{
		while (dst->firstTrack)
			Access::Destroy(dst->firstTrack->atom);
		for (Node* t = src->firstTrack; t; t = t->next)
		{
			Node* c = CloneLeaf(t);
			if (!c)
				return false;
			AttachUnder(c, dst, Branch::TRACKS, dst->lastTrack);
		}
	}
	if (IsObjectClass(src->cls) && !(flags & COPYFLAGS::NO_HIERARCHY))
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
	}
	if (src->nodeData && dst->nodeData)
		return src->nodeData->CopyTo(dst->nodeData, static_cast<GeListNode*>(src->atom),
			static_cast<GeListNode*>(dst->atom), flags, trn);
	return true;
}
} // namespace vh

using vh::Access;
using vh::N;
using vh::Node;
using vh::NodeClass;

// ---- C4DAtom --------------------------------------------------------------------------------

C4DAtom::~C4DAtom() = default;

Int32 C4DAtom::GetType() const
{
	const Node* n = N(this);
	return n ? n->type : 0;
}

Bool C4DAtom::IsInstanceOf(Int32 id) const
{
	const Node* n = N(this);
	if (!n)
		return false;
	if (n->type == id)
		return true;
	if (id == Obase)
		return vh::IsObjectClass(n->cls);
	if (id == Mbase)
		return n->cls == NodeClass::MATERIAL;
	return false;
}

Bool C4DAtom::Message(Int32 type, void* data)
{
	Node* n = N(this);
	if (n && n->nodeData)
		return n->nodeData->Message(static_cast<GeListNode*>(this), type, data);
	return true;
}

Bool C4DAtom::GetParameter(const DescID& id, GeData& t_data, DESCFLAGS_GET)
{
	Node* n = N(this);
	if (!n || id.GetDepth() < 1)
		return false;
	Int32 key = id[0].id;
	try
	{
		if (key == ID_BASELIST_NAME)
		{
			t_data = GeData(n->name);
			return true;
		}
		for (Int32 i = 0; i < n->data.GetCount(); ++i)
		{
			if (n->data.GetIndexId(i) == key)
			{
				t_data = *n->data.GetIndexData(i);
				return true;
			}
		}
		t_data = GeData();
	}
	catch (const std::bad_alloc&)
	{
	}
	return false;
}

Bool C4DAtom::SetParameter(const DescID& id, const GeData& t_data, DESCFLAGS_SET)
{
	Node* n = N(this);
	if (!n || id.GetDepth() < 1)
		return false;
	Int32 key = id[0].id;
	try
	{
		if (key == ID_BASELIST_NAME)
		{
			if (t_data.GetType() != DA_STRING)
				return false;
			n->name = t_data.GetString();
		}
		else if (!n->data.SetData(key, t_data))
		{
			return false;
		}
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	++n->dirtyData;
	return true;
}

UInt32 C4DAtom::GetDirty(DIRTYFLAGS flags) const
{
	const Node* n = N(this);
	if (!n)
		return 0;
	UInt32 sum = 0;
	if (!!(flags & DIRTYFLAGS::DATA))
		sum += n->dirtyData;
	if (!!(flags & DIRTYFLAGS::MATRIX))
		sum += n->dirtyMatrix;
	if (!!(flags & DIRTYFLAGS::CACHE))
		sum += n->dirtyCache;
	return sum;
}

void C4DAtom::SetDirty(DIRTYFLAGS flags)
{
	Node* n = N(this);
	if (!n)
		return;
	if (!!(flags & DIRTYFLAGS::DATA))
		++n->dirtyData;
	if (!!(flags & DIRTYFLAGS::MATRIX))
		++n->dirtyMatrix;
	if (!!(flags & DIRTYFLAGS::CACHE))
	{
		++n->dirtyCache;
		n->cacheValid = false;
	}
}

Bool C4DAtom::CopyTo(C4DAtom* dst, COPYFLAGS flags, AliasTrans* trn)
{
	return vh::CopyNode(N(this), N(dst), flags, trn);
}

// ---- GeListNode -----------------------------------------------------------------------------

void GeListNode::InsertBefore(GeListNode* bl)
{
	vh::InsertBeside(N(this), N(bl), false);
}

void GeListNode::InsertAfter(GeListNode* bl)
{
	vh::InsertBeside(N(this), N(bl), true);
}

void GeListNode::InsertUnder(GeListNode* bl)
{
	vh::InsertUnderImpl(N(this), N(bl), false);
}

void GeListNode::InsertUnderLast(GeListNode* bl)
{
	vh::InsertUnderImpl(N(this), N(bl), true);
}

void GeListNode::Remove()
{
	Node* n = N(this);
	if (!n)
		return;
	if (vh::InList(n))
		vh::Unlink(n);
}

GeListNode* GeListNode::GetNext()
{
	Node* n = N(this);
	return n ? vh::As<GeListNode>(n->next) : nullptr;
}

GeListNode* GeListNode::GetPred()
{
	Node* n = N(this);
	return n ? vh::As<GeListNode>(n->pred) : nullptr;
}

GeListNode* GeListNode::GetUp()
{
	Node* n = N(this);
	// Top-level objects and materials of a document have no parent node.
	if (!n || !n->parent || n->parent->cls == NodeClass::DOCUMENT)
		return nullptr;
	return vh::As<GeListNode>(n->parent);
}

GeListNode* GeListNode::GetDown()
{
	Node* n = N(this);
	return n ? vh::As<GeListNode>(n->firstChild) : nullptr;
}

GeListNode* GeListNode::GetDownLast()
{
	Node* n = N(this);
	return n ? vh::As<GeListNode>(n->lastChild) : nullptr;
}

BaseDocument* GeListNode::GetDocument()
{
	Node* n = N(this);
	return n ? n->document : nullptr;
}

NodeData* GeListNode::GetNodeData(Int32 index)
{
	Node* n = N(this);
	return (n && index == 0) ? n->nodeData : nullptr;
}

// ---- BaseList2D -----------------------------------------------------------------------------

BaseList2D* BaseList2D::Alloc(Int32 type)
{
	if (vh::FindObjectPlugin(type))
		return vh::AllocPluginObject(type);
	if (type == Ttexture || type == Tphong)
		return BaseTag::Alloc(type);
	if (type == Mbase || type == Mmaterial)
		return BaseMaterial::Alloc(type);
	if (type == vh::DOCUMENT_TYPE)
		return BaseDocument::Alloc();
	return BaseObject::Alloc(type);
}

void BaseList2D::Free(BaseList2D*& bl)
{
	Access::Destroy(bl);
	bl = nullptr;
}

BaseContainer* BaseList2D::GetDataInstance()
{
	Node* n = N(this);
	return n ? &n->data : nullptr;
}

const BaseContainer* BaseList2D::GetDataInstance() const
{
	const Node* n = N(this);
	return n ? &n->data : nullptr;
}

BaseContainer& BaseList2D::GetDataInstanceRef()
{
	return N(this)->data;
}

BaseContainer BaseList2D::GetData()
{
	Node* n = N(this);
	if (!n)
		return BaseContainer();
	try
	{
		return n->data;
	}
	catch (const std::bad_alloc&)
	{
		return BaseContainer();
	}
}

void BaseList2D::SetData(const BaseContainer& bc, Bool add)
{
	Node* n = N(this);
	if (!n)
		return;
	try
	{
		if (!add)
		{
			n->data = bc;
		}
		else
		{
			for (Int32 i = 0; i < bc.GetCount(); ++i)
				n->data.SetData(bc.GetIndexId(i), *bc.GetIndexData(i));
		}
	}
	catch (const std::bad_alloc&)
	{
	}
	++n->dirtyData;
}

String BaseList2D::GetName() const
{
	const Node* n = N(this);
	return n ? n->name : String();
}

void BaseList2D::SetName(const maxon::String& name)
{
	Node* n = N(this);
	if (!n)
		return;
	n->name = name;
	++n->dirtyData;
}

CTrack* BaseList2D::FindCTrack(const DescID& id)
{
	Node* n = N(this);
	for (Node* t = n ? n->firstTrack : nullptr; t; t = t->next)
		if (t->trackId == id)
			return vh::As<CTrack>(t);
	return nullptr;
}

CTrack* BaseList2D::GetFirstCTrack()
{
	Node* n = N(this);
	return n ? vh::As<CTrack>(n->firstTrack) : nullptr;
}

// ---- CTrack ---------------------------------------------------------------------------------

CTrack* CTrack::Alloc(BaseList2D* bl, const DescID& id)
{
	Node* owner = N(bl);
	if (!owner || owner->cls == NodeClass::TRACK)
		return nullptr;
	C4DAtom* a = Access::Create(NodeClass::TRACK, ID_BASELIST_TRACK);
	Node* n = N(a);
	if (!n)
		return nullptr;
	n->trackId = id;
	vh::AttachUnder(n, owner, vh::Branch::TRACKS, owner->lastTrack);
	return static_cast<CTrack*>(a);
}

void CTrack::Free(CTrack*& bl)
{
	Access::Destroy(bl);
	bl = nullptr;
}

CTrack* CTrack::GetNext() const
{
	const Node* n = N(this);
	return n ? vh::As<CTrack>(n->next) : nullptr;
}

CTrack* CTrack::GetPred() const
{
	const Node* n = N(this);
	return n ? vh::As<CTrack>(n->pred) : nullptr;
}

const DescID& CTrack::GetDescriptionID() const
{
	static const DescID none;
	const Node* n = N(this);
	return n ? n->trackId : none;
}

// ---- BaseLink -------------------------------------------------------------------------------

BaseLink* BaseLink::Alloc()
{
	return new (std::nothrow) BaseLink;
}

void BaseLink::Free(BaseLink*& link)
{
	delete link;
	link = nullptr;
}

BaseList2D* BaseLink::GetLink(const BaseDocument* doc, Int32 instanceof) const
{
	Node* n = vh::NodeByLinkId(_target);
	if (!n)
		return nullptr;
	if (doc && n->document != doc)
		return nullptr;
	if (instanceof != 0 && !n->atom->IsInstanceOf(instanceof))
		return nullptr;
	return static_cast<BaseList2D*>(n->atom);
}

BaseList2D* BaseLink::ForceGetLink() const
{
	Node* n = vh::NodeByLinkId(_target);
	return n ? static_cast<BaseList2D*>(n->atom) : nullptr;
}

void BaseLink::SetLink(C4DAtomGoal* list)
{
	Node* n = N(list);
	_target = n ? n->linkId : 0;
}

BaseLink* BaseLink::GetClone() const
{
	BaseLink* l = Alloc();
	if (l)
		l->_target = _target;
	return l;
}

// ---- HierarchyHelp, PriorityList ------------------------------------------------------------

Float HierarchyHelp::GetLOD()
{
	return _lod;
}

BUILDFLAGS HierarchyHelp::GetBuildFlags()
{
	return _flags;
}

const Matrix& HierarchyHelp::GetMg()
{
	return _mg;
}

BaseThread* HierarchyHelp::GetThread()
{
	return _thread;
}

BaseDocument* HierarchyHelp::GetDocument()
{
	return _doc;
}

void PriorityList::Add(GeListNode* node, Int32 priority, EXECUTIONFLAGS flags)
{
	auto* state = static_cast<vh::PriorityState*>(_state);
	if (!state || !node)
		return;
	try
	{
		state->entries.push_back(vh::PriorityEntry { node, priority, flags });
	}
	catch (const std::bad_alloc&)
	{
	}
}

// ---- BaseObject -----------------------------------------------------------------------------

BaseObject* BaseObject::Alloc(Int32 type)
{
	if (vh::FindObjectPlugin(type))
		return vh::AllocPluginObject(type);
	NodeClass cls = NodeClass::OBJECT;
	if (type == Opolygon)
		cls = NodeClass::POLYGON;
	else if (type == Ospline)
		cls = NodeClass::SPLINE;
	if (!vh::ConsumeAllocation(vh::AllocKind::OBJECT))
		return nullptr;
	BaseObject* op = static_cast<BaseObject*>(Access::Create(cls, type));
	Node* n = N(op);
	if (!n)
		return nullptr;
	n->name = vh::DefaultName(type);
	if (cls == NodeClass::SPLINE)
		n->data.SetInt32(SPLINEOBJECT_TYPE, SPLINEOBJECT_TYPE_LINEAR);
	return op;
}

void BaseObject::Free(BaseObject*& bl)
{
	Access::Destroy(bl);
	bl = nullptr;
}

Vector BaseObject::GetRelPos() const
{
	const Node* n = N(this);
	return n ? n->relPos : Vector();
}

void BaseObject::SetRelPos(const Vector& v)
{
	Node* n = N(this);
	if (!n)
		return;
	n->relPos = v;
	++n->dirtyMatrix;
}

BaseTag* BaseObject::GetFirstTag()
{
	Node* n = N(this);
	return n ? vh::As<BaseTag>(n->firstTag) : nullptr;
}

BaseTag* BaseObject::GetTag(Int32 type, Int32 nr)
{
	return vh::As<BaseTag>(vh::TagAt(N(this), type, nr));
}

BaseTag* BaseObject::MakeTag(Int32 type, BaseTag* pred)
{
	Node* n = N(this);
	if (!n)
		return nullptr;
	BaseTag* tag = vh::NewTag(type);
	if (!tag)
		return nullptr;
	vh::PlaceTag(n, N(tag), N(pred));
	return tag;
}

void BaseObject::InsertTag(BaseTag* tp, BaseTag* pred)
{
	Node* n = N(this);
	Node* t = N(tp);
	if (!n || !t || !vh::IsTagClass(t->cls) || t == N(pred))
		return;
	vh::PlaceTag(n, t, N(pred));
}

void BaseObject::KillTag(Int32 type, Int32 nr)
{
	Node* t = vh::TagAt(N(this), type, nr);
	if (t)
		Access::Destroy(t->atom);
}

BaseObject* BaseObject::GetCache(HierarchyHelp*)
{
	Node* n = N(this);
	return n ? n->cache : nullptr;
}

Bool BaseObject::CheckCache(HierarchyHelp*)
{
	Node* n = N(this);
	return !n || !n->cache || !n->cacheValid;
}

BaseObject* BaseObject::GetDeformCache()
{
	return nullptr;
}

BaseObject* BaseObject::GetCacheParent()
{
	Node* n = N(this);
	while (n && !n->cacheOwner && n->parent)
		n = n->parent;
	return n ? vh::As<BaseObject>(n->cacheOwner) : nullptr;
}

Bool BaseObject::IsDirty(DIRTYFLAGS flags)
{
	Node* n = N(this);
	if (!n)
		return false;
	if (!!(flags & DIRTYFLAGS::DATA) && n->dirtyData != n->touchedData)
		return true;
	if (!!(flags & DIRTYFLAGS::MATRIX) && n->dirtyMatrix != n->touchedMatrix)
		return true;
	if (!!(flags & DIRTYFLAGS::CACHE) && n->dirtyCache != n->touchedCache)
		return true;
	return false;
}

void BaseObject::Touch()
{
	Node* n = N(this);
	if (!n)
		return;
	n->touchedData = n->dirtyData;
	n->touchedMatrix = n->dirtyMatrix;
	n->touchedCache = n->dirtyCache;
}

void BaseObject::GetColorProperties(ObjectColorProperties* prop)
{
	Node* n = N(this);
	if (n && prop)
		*prop = n->colorProps;
}

void BaseObject::SetColorProperties(ObjectColorProperties* prop)
{
	Node* n = N(this);
	if (!n || !prop)
		return;
	n->colorProps = *prop;
	n->colorPropsSet = true;
	++n->dirtyData;
}

Bool BaseObject::SetPhong(Bool on, Bool anglelimit, Float angle)
{
	Node* n = N(this);
	if (!n)
		return false;
	Node* t = vh::TagAt(n, Tphong, 0);
	if (!on)
	{
		if (t)
			Access::Destroy(t->atom);
		return true;
	}
	if (!t)
	{
		BaseTag* tag = MakeTag(Tphong);
		if (!tag)
			return false;
		t = N(tag);
	}
	try
	{
		t->data.SetBool(vh::PHONG_ANGLELIMIT, anglelimit);
		t->data.SetFloat(vh::PHONG_ANGLE, angle);
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	return true;
}

// ---- point, polygon and spline objects ------------------------------------------------------

const Vector* PointObject::GetPointR() const
{
	const Node* n = N(this);
	return (n && !n->points.empty()) ? n->points.data() : nullptr;
}

Vector* PointObject::GetPointW()
{
	Node* n = N(this);
	return (n && !n->points.empty()) ? n->points.data() : nullptr;
}

Int32 PointObject::GetPointCount() const
{
	const Node* n = N(this);
	return n ? Int32(n->points.size()) : 0;
}

PolygonObject* PolygonObject::Alloc(Int32 pcnt, Int32 vcnt)
{
	if (pcnt < 0 || vcnt < 0)
		return nullptr;
	BaseObject* op = vh::NewObjectNode(NodeClass::POLYGON, Opolygon);
	Node* n = N(op);
	if (!n)
		return nullptr;
	try
	{
		n->points.resize(size_t(pcnt));
		n->polygons.resize(size_t(vcnt));
	}
	catch (const std::bad_alloc&)
	{
		Access::Destroy(op);
		return nullptr;
	}
	n->name = vh::DefaultName(Opolygon);
	return static_cast<PolygonObject*>(op);
}

void PolygonObject::Free(PolygonObject*& bl)
{
	Access::Destroy(bl);
	bl = nullptr;
}

const CPolygon* PolygonObject::GetPolygonR() const
{
	const Node* n = N(this);
	return (n && !n->polygons.empty()) ? n->polygons.data() : nullptr;
}

CPolygon* PolygonObject::GetPolygonW()
{
	Node* n = N(this);
	return (n && !n->polygons.empty()) ? n->polygons.data() : nullptr;
}

Int32 PolygonObject::GetPolygonCount() const
{
	const Node* n = N(this);
	return n ? Int32(n->polygons.size()) : 0;
}

SplineObject* SplineObject::Alloc(Int32 pcnt, SPLINETYPE type)
{
	if (pcnt < 0)
		return nullptr;
	BaseObject* op = vh::NewObjectNode(NodeClass::SPLINE, Ospline);
	Node* n = N(op);
	if (!n)
		return nullptr;
	try
	{
		n->points.resize(size_t(pcnt));
		if (type == SPLINETYPE::BEZIER)
			n->tangents.resize(size_t(pcnt));
		n->data.SetInt32(SPLINEOBJECT_TYPE, Int32(type));
	}
	catch (const std::bad_alloc&)
	{
		Access::Destroy(op);
		return nullptr;
	}
	n->splineType = type;
	n->name = vh::DefaultName(Ospline);
	return static_cast<SplineObject*>(op);
}

void SplineObject::Free(SplineObject*& bl)
{
	Access::Destroy(bl);
	bl = nullptr;
}

const Tangent* SplineObject::GetTangentR()
{
	Node* n = N(this);
	return (n && !n->tangents.empty()) ? n->tangents.data() : nullptr;
}

Tangent* SplineObject::GetTangentW()
{
	Node* n = N(this);
	return (n && !n->tangents.empty()) ? n->tangents.data() : nullptr;
}

Int32 SplineObject::GetTangentCount()
{
	Node* n = N(this);
	return n ? Int32(n->tangents.size()) : 0;
}

Bool SplineObject::SetDefaultCoeff()
{
	Node* n = N(this);
	if (!n)
		return false;
	size_t cnt = n->points.size();
	if (n->tangents.size() != cnt || cnt < 2)
		return true;
	// Smooth handles: a third of the way towards the neighbours (Catmull-Rom as Bezier).
	Bool closed = n->data.GetBool(SPLINEOBJECT_CLOSED);
	const std::vector<Vector>& p = n->points;
	for (size_t i = 0; i < cnt; ++i)
	{
		Vector prev = i > 0 ? p[i - 1] : (closed ? p[cnt - 1] : p[i]);
		Vector next = i + 1 < cnt ? p[i + 1] : (closed ? p[0] : p[i]);
		Float div = (i > 0 && i + 1 < cnt) || closed ? 6.0 : 3.0;
		Vector d = (next - prev) / div;
		n->tangents[i].vl = -d;
		n->tangents[i].vr = d;
	}
	return true;
}

// ---- tags -----------------------------------------------------------------------------------

BaseTag* BaseTag::Alloc(Int32 type)
{
	return vh::NewTag(type);
}

void BaseTag::Free(BaseTag*& bl)
{
	Access::Destroy(bl);
	bl = nullptr;
}

BaseTag* BaseTag::GetNext()
{
	Node* n = N(this);
	return n ? vh::As<BaseTag>(n->next) : nullptr;
}

BaseTag* BaseTag::GetPred()
{
	Node* n = N(this);
	return n ? vh::As<BaseTag>(n->pred) : nullptr;
}

BaseObject* BaseTag::GetObject()
{
	Node* n = N(this);
	return n ? vh::As<BaseObject>(n->tagOwner) : nullptr;
}

TextureTag* TextureTag::Alloc()
{
	return static_cast<TextureTag*>(vh::NewTag(Ttexture));
}

void TextureTag::Free(TextureTag*& bl)
{
	Access::Destroy(bl);
	bl = nullptr;
}

BaseMaterial* TextureTag::GetMaterial(Bool ignoredoc)
{
	Node* n = N(this);
	Node* m = n ? vh::NodeByLinkId(n->materialLink) : nullptr;
	if (!m || m->cls != NodeClass::MATERIAL)
		return nullptr;
	if (!ignoredoc && n->document && m->document != n->document)
		return nullptr;
	return static_cast<BaseMaterial*>(m->atom);
}

void TextureTag::SetMaterial(BaseMaterial* mat)
{
	Node* n = N(this);
	if (!n)
		return;
	Node* m = N(mat);
	n->materialLink = m ? m->linkId : 0;
	++n->dirtyData;
}

// ---- materials ------------------------------------------------------------------------------

BaseMaterial* BaseMaterial::Alloc(Int32 type)
{
	BaseMaterial* mat = static_cast<BaseMaterial*>(Access::Create(NodeClass::MATERIAL, type));
	Node* n = N(mat);
	if (!n)
		return nullptr;
	n->name = vh::DefaultName(type);
	try
	{
		n->data.SetVector(MATERIAL_COLOR_COLOR, Vector(0.8, 0.8, 0.8));
	}
	catch (const std::bad_alloc&)
	{
		Access::Destroy(mat);
		return nullptr;
	}
	return mat;
}

void BaseMaterial::Free(BaseMaterial*& bl)
{
	Access::Destroy(bl);
	bl = nullptr;
}

// ---- documents ------------------------------------------------------------------------------

BaseDocument* BaseDocument::Alloc()
{
	BaseDocument* doc = static_cast<BaseDocument*>(Access::Create(NodeClass::DOCUMENT, vh::DOCUMENT_TYPE));
	if (doc)
		N(doc)->name = String("Untitled");
	return doc;
}

void BaseDocument::Free(BaseDocument*& doc)
{
	Access::Destroy(doc);
	doc = nullptr;
}

BaseObject* BaseDocument::GetFirstObject()
{
	Node* n = N(this);
	return n ? vh::As<BaseObject>(n->firstChild) : nullptr;
}

BaseMaterial* BaseDocument::GetFirstMaterial()
{
	Node* n = N(this);
	return n ? vh::As<BaseMaterial>(n->firstMaterial) : nullptr;
}

void BaseDocument::InsertObject(BaseObject* op, BaseObject* parent, BaseObject* pred)
{
	Node* n = N(op);
	Node* self = N(this);
	if (!n || !self)
		return;
	Node* p = N(pred);
	Node* up = N(parent);
	if (p && p->document == static_cast<BaseDocument*>(this))
		vh::InsertBeside(n, p, true);
	else if (up && up->document == static_cast<BaseDocument*>(this))
		vh::InsertUnderImpl(n, up, false);
	else
		vh::InsertUnderImpl(n, self, false);
}

void BaseDocument::InsertMaterial(BaseMaterial* mat, BaseMaterial* pred)
{
	Node* n = N(mat);
	Node* self = N(this);
	if (!n || !self)
		return;
	Node* p = N(pred);
	if (p && p->parent == self && p->cls == NodeClass::MATERIAL)
		vh::InsertBeside(n, p, true);
	else
		vh::InsertUnderImpl(n, self, false);
}

BaseDocument* GetActiveDocument()
{
	static BaseDocument* active = nullptr;
	static std::mutex mutex;
	std::lock_guard<std::mutex> lock(mutex);
	if (!active)
		active = BaseDocument::Alloc();
	return active;
}
