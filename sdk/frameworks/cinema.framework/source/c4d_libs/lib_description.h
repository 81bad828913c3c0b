// Parameter identities (DescLevel, DescID) and descriptions.
#pragma once

#include "c4d_basecontainer.h"

enum
{
	DTYPE_NONE = 0,
	DTYPE_CHILDREN = 0,
	DTYPE_GROUP = 1,
	DTYPE_COLOR = 3,
	DTYPE_SUBCONTAINER = 5,
	DTYPE_MULTIPLEDATA = 6,
	DTYPE_TEXTURE = 7,
	DTYPE_BUTTON = 8,
	DTYPE_DYNAMIC = 10,
	DTYPE_SEPARATOR = 11,
	DTYPE_STATICTEXT = 12,
	DTYPE_POPUP = 13,
	DTYPE_LONG = 15,
	DTYPE_REAL = 19,
	DTYPE_TIME = 22,
	DTYPE_VECTOR = 23,
	DTYPE_MATRIX = 25,
	DTYPE_STRING = 130,
	DTYPE_FILENAME = 131,
	DTYPE_BASELISTLINK = 133,
	DTYPE_BOOL = 400006001
};

enum
{
	DESC_NAME = 1,
	DESC_SHORT_NAME = 2,
	DESC_VERSION = 3,
	DESC_CHILDREN = 4,
	DESC_MIN = 5,
	DESC_MAX = 6,
	DESC_MINEX = 7,
	DESC_MAXEX = 8,
	DESC_STEP = 9,
	DESC_ANIMATE = 10,
	DESC_ASKOBJECT = 11,
	DESC_UNIT = 12,
	DESC_PARENTGROUP = 13,
	DESC_CYCLE = 14,
	DESC_HIDE = 15,
	DESC_DEFAULT = 16,
	DESC_ACCEPT = 17,
	DESC_SEPARATORLINE = 18,
	DESC_REFUSE = 19,
	DESC_PARENTID = 20,
	DESC_CUSTOMGUI = 21,
	DESC_COLUMNS = 22,
	DESC_LAYOUTGROUP = 23,
	DESC_REMOVEABLE = 24,
	DESC_GUIOPEN = 25,
	DESC_EDITABLE = 26,
	DESC_MINSLIDER = 27,
	DESC_MAXSLIDER = 28,
	DESC_GROUPSCALEV = 29,
	DESC_SCALEH = 30,
	DESC_FITH = 33,
	DESC_NEWLINE = 34,
	DESC_CYCLEICONS = 36,
	DESC_IDENT = 999
};

enum
{
	DESC_ANIMATE_OFF = 0,
	DESC_ANIMATE_ON = 1,
	DESC_ANIMATE_MIX = 2
};

#define DESC_UNIT_FLOAT 1718773089 // 'frea'
#define DESC_UNIT_INT 1718382183 // 'flng'
#define DESC_UNIT_PERCENT 1718641524 // 'fpct'
#define DESC_UNIT_DEGREE 1717856114 // 'fdgr'
#define DESC_UNIT_METER 1718445428 // 'fmet'
#define DESC_UNIT_TIME 1717990002 // 'ffrm'

#define CUSTOMGUI_REAL DTYPE_REAL
#define CUSTOMGUI_REALSLIDER 1000489
#define CUSTOMGUI_REALSLIDERONLY 200000006
#define CUSTOMGUI_VECTOR DTYPE_VECTOR
#define CUSTOMGUI_STRING DTYPE_STRING
#define CUSTOMGUI_STRINGMULTI 200000007
#define CUSTOMGUI_STATICTEXT DTYPE_STATICTEXT
#define CUSTOMGUI_CYCLE 200000180
#define CUSTOMGUI_CYCLEBUTTON 200000255
#define CUSTOMGUI_LONG DTYPE_LONG
#define CUSTOMGUI_LONGSLIDER 1000490
#define CUSTOMGUI_BOOL DTYPE_BOOL
#define CUSTOMGUI_COLOR 1000492
#define CUSTOMGUI_BUTTON DTYPE_BUTTON
#define CUSTOMGUI_SEPARATOR DTYPE_SEPARATOR
#define CUSTOMDATATYPE_DESCID 1000486

struct DescLevel
{
	Int32 id = 0;
	Int32 dtype = 0;
	Int32 creator = 0;

	DescLevel() = default;
	DescLevel(Int32 t_id) : id(t_id) {}
	DescLevel(Int32 t_id, Int32 t_datatype, Int32 t_creator) : id(t_id), dtype(t_datatype), creator(t_creator) {}

	// Ids must match; a dtype or creator of 0 on either side matches anything.
	Bool operator==(const DescLevel& d) const
	{
		if (id == 0 && dtype == 0 && creator == 0)
			return d.id == 0 && d.dtype == 0 && d.creator == 0;
		if (id != d.id)
			return false;
		if (dtype != 0 && d.dtype != 0 && dtype != d.dtype)
			return false;
		if (creator != 0 && d.creator != 0 && creator != d.creator)
			return false;
		return true;
	}
	Bool operator!=(const DescLevel& d) const { return !(*this == d); }
};

class DescID
{
public:
	static constexpr Int32 MAXDEPTH = 7;

	DescID() = default;
	DescID(Int32 id1) { PushId(DescLevel(id1)); }
	DescID(const DescLevel& id1) { PushId(id1); }
	DescID(const DescLevel& id1, const DescLevel& id2)
	{
		PushId(id1);
		PushId(id2);
	}
	DescID(const DescLevel& id1, const DescLevel& id2, const DescLevel& id3)
	{
		PushId(id1);
		PushId(id2);
		PushId(id3);
	}

	const DescLevel& operator[](Int32 pos) const
	{
		static const DescLevel none;
		return (pos >= 0 && pos < _depth) ? _levels[pos] : none;
	}
	Int32 GetDepth() const { return _depth; }
	void SetId(const DescLevel& subid)
	{
		_depth = 0;
		PushId(subid);
	}
	void PushId(const DescLevel& subid)
	{
		if (_depth < MAXDEPTH)
			_levels[_depth++] = subid;
	}
	void PopId()
	{
		if (_depth > 0)
			--_depth;
	}

	Bool operator==(const DescID& d) const
	{
		if (_depth != d._depth)
			return false;
		for (Int32 i = 0; i < _depth; ++i)
			if (_levels[i] != d._levels[i])
				return false;
		return true;
	}
	Bool operator!=(const DescID& d) const { return !(*this == d); }
	DescID operator+(const DescID& d) const
	{
		DescID r(*this);
		for (Int32 i = 0; i < d._depth; ++i)
			r.PushId(d._levels[i]);
		return r;
	}
	DescID& operator+=(const DescID& d) { return *this = *this + d; }

	// True when every level of this id matches the leading levels of cmp.
	Bool IsPartOf(const DescID& cmp, Int32* pos) const
	{
		if (_depth > cmp._depth)
			return false;
		for (Int32 i = 0; i < _depth; ++i)
			if (_levels[i] != cmp._levels[i])
				return false;
		if (pos)
			*pos = _depth;
		return true;
	}

private:
	DescLevel _levels[MAXDEPTH];
	Int32 _depth = 0;
};

namespace vh { struct DescriptionState; }
class AtomArray;

class Description
{
public:
	static Description* Alloc();
	static void Free(Description*& d);

	// Loads the static description registered for a node type (or by resource name).
	Bool LoadDescription(Int32 id);
	Bool LoadDescription(const String& id);

	// The one parameter the caller wants, or nullptr when the whole description is wanted.
	const DescID* GetSingleDescID();
	void SetSingleDescriptionMode(const DescID& descid);

	// Adds or replaces the entry under the given parent group.
	Bool SetParameter(const DescID& id, const BaseContainer& param, const DescID& groupid);
	const BaseContainer* GetParameter(const DescID& id, BaseContainer& temp, AtomArray* ar) const;
	BaseContainer* GetParameterI(const DescID& id, AtomArray* ar);

	vh::DescriptionState* _state = nullptr;

private:
	Description() = default;
	~Description() = default;
};

// Default settings of a data type's description entry.
BaseContainer GetCustomDataTypeDefault(Int32 type);

struct DescriptionBaseMessage
{
	DescID _descId;
	class GeDialog* _parentDialog = nullptr;
};

struct DescriptionCommand : public DescriptionBaseMessage
{
	const BaseContainer* _msg = nullptr;
	class DescriptionCustomGui* _descgui = nullptr;
	BaseContainer _data;
};
