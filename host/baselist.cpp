// The SDK's atom, list node and BaseList2D methods, tracks, links and the helpers a generator is
// handed (HierarchyHelp, PriorityList), over the scene graph's core in node.cpp.
#include <new>

#include "node.h"

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
	return vh::Linked<GeListNode>(this, &Node::next);
}

GeListNode* GeListNode::GetPred()
{
	return vh::Linked<GeListNode>(this, &Node::pred);
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
	return vh::Linked<GeListNode>(this, &Node::firstChild);
}

GeListNode* GeListNode::GetDownLast()
{
	return vh::Linked<GeListNode>(this, &Node::lastChild);
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
	vh::FreeAtom(bl);
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
	for (Node* t = n ? n->FirstTrack() : nullptr; t; t = t->next)
		if (t->TrackId() && *t->TrackId() == id)
			return vh::As<CTrack>(t);
	return nullptr;
}

CTrack* BaseList2D::GetFirstCTrack()
{
	const Node* n = N(this);
	return n ? vh::As<CTrack>(n->FirstTrack()) : nullptr;
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
	// A track has its rare part from the start; its owner needs one for its track list.
	if (owner->MakeRare())
		n->rare->trackId.reset(new (std::nothrow) DescID(id));
	if (!n->rare->trackId)
	{
		Access::Destroy(a);
		return nullptr;
	}
	vh::AttachUnder(n, owner, vh::Branch::TRACKS, owner->LastTrack());
	return static_cast<CTrack*>(a);
}

void CTrack::Free(CTrack*& bl)
{
	vh::FreeAtom(bl);
}

CTrack* CTrack::GetNext() const
{
	return vh::Linked<CTrack>(this, &Node::next);
}

CTrack* CTrack::GetPred() const
{
	return vh::Linked<CTrack>(this, &Node::pred);
}

const DescID& CTrack::GetDescriptionID() const
{
	static const DescID none;
	const Node* n = N(this);
	return n && n->TrackId() ? *n->TrackId() : none;
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
	_target = vh::LinkId(n);
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
