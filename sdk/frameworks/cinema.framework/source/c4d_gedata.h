// GeData: the tagged value stored under one id of a BaseContainer.
#pragma once

#include "c4d_file.h"

class BaseContainer;
class BaseLink;
class BaseList2D;
class BaseDocument;

enum
{
	DA_NIL = 0,
	DA_VOID = 14,
	DA_LONG = 15,
	DA_REAL = 19,
	DA_TIME = 22,
	DA_VECTOR = 23,
	DA_MATRIX = 25,
	DA_LLONG = 26,
	DA_STRING = 130,
	DA_FILENAME = 131,
	DA_CONTAINER = 132,
	DA_ALIASLINK = 133
};

enum LLONGVALUETYPE { DEFAULTVALUE_LLONG };

class GeData
{
public:
	GeData() : _int(0) {}
	GeData(double n) : _type(DA_REAL), _float(n) {}
	GeData(Int32 n) : _type(DA_LONG), _int(n) {}
	GeData(Float32 n) : _type(DA_REAL), _float(n) {}
	GeData(Int64 n, LLONGVALUETYPE) : _type(DA_LLONG), _int(n) {}
	GeData(const Vector& v) : _type(DA_VECTOR), _vector(v) {}
	GeData(const Char* s) : _type(DA_STRING), _string(s) {}
	GeData(const maxon::String& s) : _type(DA_STRING), _string(s) {}
	GeData(const Filename& f) : _type(DA_FILENAME), _filename(f) {}
	GeData(const BaseContainer& bc);
	GeData(const BaseLink* link);
	GeData(BaseList2D* bl);
	GeData(const GeData& src);
	GeData& operator=(const GeData& src);
	// Moving hands over a container or link instead of copying it; src is left DA_NIL.
	GeData(GeData&& src) noexcept;
	GeData& operator=(GeData&& src) noexcept;
	~GeData()
	{
		if (OwnsHeap())
			Clear();
	}

	Int32 GetType() const { return _type; }
	Bool GetBool() const { return GetInt32() != 0; }
	Int32 GetInt32() const;
	Int64 GetInt64() const;
	Float GetFloat() const;
	const Vector& GetVector() const;
	const String& GetString() const;
	const Filename& GetFilename() const;
	BaseContainer* GetContainer() const;
	BaseLink* GetBaseLink() const;
	BaseList2D* GetLink(const BaseDocument* doc, Int32 instanceof = 0) const;

	void SetInt32(Int32 v) { *this = GeData(v); }
	void SetFloat(Float v) { *this = GeData(v); }
	void SetVector(const Vector& v) { *this = GeData(v); }
	void SetString(const maxon::String& v) { *this = GeData(v); }
	void SetFilename(const Filename& v) { *this = GeData(v); }
	void Free() { *this = GeData(); }

	Bool operator==(const GeData& b) const;
	Bool operator!=(const GeData& b) const { return !(*this == b); }

private:
	// A string, file name, container or link: values whose end frees something. Every other kind
	// ends without a call, which matters when a cache of thousands of objects is freed.
	Bool OwnsHeap() const { return _type >= DA_STRING && _type <= DA_ALIASLINK; }
	void Clear();
	// Copies src's value into this GeData, which holds none; a container or link that cannot be
	// copied leaves it DA_NIL.
	void CopyFrom(const GeData& src);
	// Moves src's value into this GeData, which holds none; src is left DA_NIL.
	void TakeFrom(GeData& src) noexcept;

	friend class BaseContainer;

	Int32 _type = DA_NIL;
	// The id of the entry this value is in a container, in what would otherwise be padding: an
	// entry is 32 bytes, not 40. Constructing a copy takes it along (a container's array moves and
	// copies its entries so); assigning a value keeps the target's.
	Int32 _slot = 0;
	// The value of the kind _type says, and only that: a container holds thousands of these, one
	// for every parameter of every object. A string or file name exists only while it is the value.
	union
	{
		Int64 _int;
		Float _float;
		Vector _vector;
		String _string;
		Filename _filename;
		BaseContainer* _container;
		BaseLink* _link;
	};
};
