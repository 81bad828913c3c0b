#pragma once

#include "c4d_string.h"

GEMB_R GeOutString(const maxon::String& str, GEMB flags);

class BaseThread
{
public:
	Bool TestBreak() { return false; }
};

// Owns one object made by TYPE::Alloc and frees it with TYPE::Free when the holder goes out of
// scope, unless Release hands the object on.
template <class TYPE>
class AutoAlloc
{
public:
	AutoAlloc() : _ptr(TYPE::Alloc()) {}
	explicit AutoAlloc(Int32 id) : _ptr(TYPE::Alloc(id)) {}
	~AutoAlloc() { TYPE::Free(_ptr); }
	AutoAlloc(const AutoAlloc&) = delete;
	AutoAlloc& operator=(const AutoAlloc&) = delete;

	operator TYPE*() const { return _ptr; }
	TYPE* operator->() const { return _ptr; }
	TYPE* Release()
	{
		TYPE* p = _ptr;
		_ptr = nullptr;
		return p;
	}
	void Free() { TYPE::Free(_ptr); }
	void Set(TYPE* p)
	{
		TYPE::Free(_ptr);
		_ptr = p;
	}

private:
	TYPE* _ptr;
};
