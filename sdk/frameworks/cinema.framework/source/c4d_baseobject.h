// Scene objects, their caches, splines, polygon objects and primitives.
#pragma once

#include "c4d_basetag.h"

class BaseThread;
class BaseTag;

struct Matrix
{
	Vector off;
	Vector sqmat_v1 = Vector(1.0, 0.0, 0.0);
	Vector sqmat_v2 = Vector(0.0, 1.0, 0.0);
	Vector sqmat_v3 = Vector(0.0, 0.0, 1.0);
};

class HierarchyHelp
{
public:
	Float GetLOD();
	BUILDFLAGS GetBuildFlags();
	const Matrix& GetMg();
	BaseThread* GetThread();
	BaseDocument* GetDocument();

	Float _lod = 1.0;
	BUILDFLAGS _flags = BUILDFLAGS::NONE;
	Matrix _mg;
	BaseThread* _thread = nullptr;
	BaseDocument* _doc = nullptr;

private:
	HierarchyHelp() = default;
	~HierarchyHelp() = default;
	friend struct vh::Access;
};

struct ObjectColorProperties
{
	Int32 usecolor = 0;
	Vector color;
	Bool xray = false;
};

struct Tangent
{
	Vector vl;
	Vector vr;
	Bool IsBroken() const { return !(vl == -vr); }
};

struct Segment
{
	Int32 cnt = 0;
	Bool closed = false;
};

struct CPolygon
{
	Int32 a = 0, b = 0, c = 0, d = 0;
	Bool IsTriangle() const { return c == d; }
};

class BaseObject : public BaseList2D
{
public:
	static BaseObject* Alloc(Int32 type);
	static void Free(BaseObject*& bl);

	BaseObject* GetNext() { return static_cast<BaseObject*>(GeListNode::GetNext()); }
	BaseObject* GetPred() { return static_cast<BaseObject*>(GeListNode::GetPred()); }
	BaseObject* GetUp() { return static_cast<BaseObject*>(GeListNode::GetUp()); }
	BaseObject* GetDown() { return static_cast<BaseObject*>(GeListNode::GetDown()); }
	BaseObject* GetDownLast() { return static_cast<BaseObject*>(GeListNode::GetDownLast()); }

	Vector GetRelPos() const;
	void SetRelPos(const Vector& v);

	BaseTag* GetFirstTag();
	BaseTag* GetTag(Int32 type, Int32 nr = 0);
	// Creates a tag and inserts it after pred (nullptr: first); nullptr on failure.
	BaseTag* MakeTag(Int32 type, BaseTag* pred = nullptr);
	// Takes ownership; pred nullptr = first.
	void InsertTag(BaseTag* tp, BaseTag* pred = nullptr);
	void KillTag(Int32 type, Int32 nr = 0);

	// The generated hierarchy the host keeps for this generator.
	BaseObject* GetCache(HierarchyHelp* hh = nullptr);
	// True when the host needs a new cache.
	Bool CheckCache(HierarchyHelp* hh);
	BaseObject* GetDeformCache();
	BaseObject* GetCacheParent();

	// True when the object changed in the given respect since the host last touched it.
	Bool IsDirty(DIRTYFLAGS flags);
	void Touch();

	void GetColorProperties(ObjectColorProperties* prop);
	void SetColorProperties(ObjectColorProperties* prop);

	Bool SetPhong(Bool on, Bool anglelimit, Float angle);

protected:
	BaseObject() = default;
	friend struct vh::Access;
};

class PointObject : public BaseObject
{
public:
	const Vector* GetPointR() const;
	Vector* GetPointW();
	Int32 GetPointCount() const;

protected:
	PointObject() = default;
	friend struct vh::Access;
};

class PolygonObject : public PointObject
{
public:
	static PolygonObject* Alloc(Int32 pcnt, Int32 vcnt);
	static void Free(PolygonObject*& bl);
	const CPolygon* GetPolygonR() const;
	CPolygon* GetPolygonW();
	Int32 GetPolygonCount() const;

protected:
	PolygonObject() = default;
	friend struct vh::Access;
};

class SplineObject : public PointObject
{
public:
	static SplineObject* Alloc(Int32 pcnt, SPLINETYPE type);
	static void Free(SplineObject*& bl);

	const Tangent* GetTangentR();
	Tangent* GetTangentW();
	Int32 GetTangentCount();
	Bool SetDefaultCoeff();

protected:
	SplineObject() = default;
	friend struct vh::Access;
};

// Builds a built-in primitive (Osphere, ...) from its settings; the caller owns the result.
BaseObject* GeneratePrimitive(BaseDocument* doc, Int32 type, const BaseContainer& bc, Float lod, Bool isoparm,
	BaseThread* bt = nullptr);
