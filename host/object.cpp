// The SDK's object classes: BaseObject, and the point, polygon and spline objects.
#include <new>

#include "node.h"

namespace vh
{
namespace
{
// Phong tag settings (PHONGTAG_PHONG_ANGLELIMIT, PHONGTAG_PHONG_ANGLE of the host's Tphong description).
constexpr Int32 PHONG_ANGLELIMIT = 1000;
constexpr Int32 PHONG_ANGLE = 1001;
} // namespace
} // namespace vh

using vh::Access;
using vh::N;
using vh::Node;
using vh::NodeClass;

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
	vh::FreeAtom(bl);
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
	return vh::Linked<BaseTag>(this, &Node::firstTag);
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
		*prop = n->ColorProperties();
}

void BaseObject::SetColorProperties(ObjectColorProperties* prop)
{
	Node* n = N(this);
	if (!n || !prop)
		return;
	n->SetColorProperties(*prop);
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
	return vh::ItemsR(this, &Node::points);
}

Vector* PointObject::GetPointW()
{
	return vh::ItemsW(this, &Node::points);
}

Int32 PointObject::GetPointCount() const
{
	return vh::ItemCount(this, &Node::points);
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
		n->points = std::vector<Vector>(size_t(pcnt));
		n->polygons = std::vector<CPolygon>(size_t(vcnt));
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
	vh::FreeAtom(bl);
}

const CPolygon* PolygonObject::GetPolygonR() const
{
	return vh::ItemsR(this, &Node::polygons);
}

CPolygon* PolygonObject::GetPolygonW()
{
	return vh::ItemsW(this, &Node::polygons);
}

Int32 PolygonObject::GetPolygonCount() const
{
	return vh::ItemCount(this, &Node::polygons);
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
		n->points = std::vector<Vector>(size_t(pcnt));
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
	vh::FreeAtom(bl);
}

const Tangent* SplineObject::GetTangentR()
{
	return vh::Items(this, &Node::tangents);
}

Tangent* SplineObject::GetTangentW()
{
	return vh::Items(this, &Node::tangents);
}

Int32 SplineObject::GetTangentCount()
{
	return vh::ItemCount(this, &Node::tangents);
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
