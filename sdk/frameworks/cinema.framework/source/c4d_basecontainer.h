// BaseContainer: a node's parameters, id -> GeData, in insertion order.
#pragma once

#include <utility>
#include <vector>

#include "c4d_gedata.h"

class C4DAtomGoal;

class BaseContainer
{
public:
	BaseContainer() = default;
	explicit BaseContainer(Int32 id) : _id(id) {}
	BaseContainer(const BaseContainer& src) = default;
	BaseContainer& operator=(const BaseContainer& src);
	~BaseContainer() = default;

	// Getters answer the preset when the id is absent or holds another type.
	Bool GetBool(Int32 id, Bool preset = false) const;
	Int32 GetInt32(Int32 id, Int32 preset = 0) const;
	UInt32 GetUInt32(Int32 id, UInt32 preset = 0) const;
	Int64 GetInt64(Int32 id, Int64 preset = 0) const;
	Float GetFloat(Int32 id, Float preset = 0.0) const;
	Vector GetVector(Int32 id, const Vector& preset = Vector()) const;
	String GetString(Int32 id, const maxon::String& preset = maxon::String()) const;
	Filename GetFilename(Int32 id, const Filename& preset = Filename()) const;
	BaseContainer GetContainer(Int32 id) const;
	BaseContainer* GetContainerInstance(Int32 id);
	const BaseContainer* GetContainerInstance(Int32 id) const;
	const GeData& GetData(Int32 id) const;
	BaseList2D* GetLink(Int32 id, const BaseDocument* doc, Int32 instanceof = 0) const;

	void SetBool(Int32 id, Bool b) { SetData(id, GeData(Int32(b ? 1 : 0))); }
	void SetInt32(Int32 id, Int32 l) { SetData(id, GeData(l)); }
	void SetInt64(Int32 id, Int64 l) { SetData(id, GeData(l, DEFAULTVALUE_LLONG)); }
	void SetFloat(Int32 id, Float r) { SetData(id, GeData(r)); }
	void SetVector(Int32 id, const Vector& v) { SetData(id, GeData(v)); }
	void SetString(Int32 id, const maxon::String& s) { SetData(id, GeData(s)); }
	void SetFilename(Int32 id, const Filename& f) { SetData(id, GeData(f)); }
	void SetContainer(Int32 id, const BaseContainer& s) { SetData(id, GeData(s)); }
	void SetLink(Int32 id, C4DAtomGoal* link);
	GeData* SetData(Int32 id, const GeData& n);
	GeData* SetData(Int32 id, GeData&& n);

	Bool RemoveData(Int32 id);
	void FlushAll() { _entries.clear(); }
	Int32 GetId() const { return _id; }
	void SetId(Int32 id) { _id = id; }
	// Id of the entry at index, or NOTOK (-1) past the end.
	Int32 GetIndexId(Int32 index) const;
	Int32 GetCount() const { return Int32(_entries.size()); }
	const GeData* GetIndexData(Int32 index) const;

	Bool operator==(const BaseContainer& b) const;
	Bool operator!=(const BaseContainer& b) const { return !(*this == b); }

private:
	const GeData* Find(Int32 id) const;
	// Adds an entry of a value that is not one of this container's; nullptr when memory runs out.
	GeData* Append(Int32 id, GeData&& value);

	Int32 _id = 0;
	std::vector<GeData> _entries; // each holds its id (GeData::_slot)
};

#define NOTOK (-1)
