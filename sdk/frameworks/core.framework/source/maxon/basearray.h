// maxon::BaseArray: contiguous, growable array whose growth failure is reported, never thrown.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

#include "maxon/apibase.h"
#include "maxon/defaultallocator.h"
#include "maxon/resultbase.h"

namespace maxon
{
static const Int BASEARRAY_DEFAULT_CHUNK_SIZE = 16;

enum class BASEARRAYFLAGS { NONE = 0 };

enum class COLLECTION_RESIZE_FLAGS
{
	NONE = 0,
	ON_SHRINK_KEEP_CAPACITY = 0,
	ON_SHRINK_FIT_TO_SIZE = 1,
	ON_GROW_RESERVE_CAPACITY = 0,
	ON_GROW_FIT_TO_SIZE = 2,
	ON_GROW_UNINITIALIZED = 4,
	FIT_TO_SIZE = 3,
	DEFAULT = 2,
	POD_UNINITIALIZED = 6
};

inline Bool HasFlag(COLLECTION_RESIZE_FLAGS f, COLLECTION_RESIZE_FLAGS bit)
{
	return (static_cast<int>(f) & static_cast<int>(bit)) != 0;
}

template <typename T, Int MINCHUNKSIZE = BASEARRAY_DEFAULT_CHUNK_SIZE, BASEARRAYFLAGS MEMFLAGS = BASEARRAYFLAGS::NONE,
	typename ALLOCATOR = DefaultAllocator>
class BaseArray
{
public:
	BaseArray() = default;
	BaseArray(const BaseArray&) = delete;
	BaseArray& operator=(const BaseArray&) = delete;
	BaseArray(BaseArray&& src) noexcept : _ptr(src._ptr), _cnt(src._cnt), _cap(src._cap)
	{
		src._ptr = nullptr;
		src._cnt = src._cap = 0;
	}
	BaseArray& operator=(BaseArray&& src) noexcept
	{
		if (this != &src)
		{
			Reset();
			std::swap(_ptr, src._ptr);
			std::swap(_cnt, src._cnt);
			std::swap(_cap, src._cap);
		}
		return *this;
	}
	~BaseArray() { Reset(); }

	Int GetCount() const { return _cnt; }
	Int GetCapacityCount() const { return _cap; }
	Bool IsEmpty() const { return _cnt == 0; }

	T& operator[](Int idx) { return _ptr[idx]; }
	const T& operator[](Int idx) const { return _ptr[idx]; }
	T* GetFirst() { return _cnt ? _ptr : nullptr; }
	const T* GetFirst() const { return _cnt ? _ptr : nullptr; }
	T* begin() { return _ptr; }
	T* end() { return _ptr + _cnt; }
	const T* begin() const { return _ptr; }
	const T* end() const { return _ptr + _cnt; }

	ResultRef<T> Append()
	{
		if (!Grow(1))
			return FAILED;
		new (_ptr + _cnt) T();
		return _ptr[_cnt++];
	}

	ResultRef<T> Append(const T& x)
	{
		if (_cnt == _cap)
		{
			// x may live inside this array: copy it before the storage moves.
			T copy(x);
			if (!Grow(1))
				return FAILED;
			new (_ptr + _cnt) T(std::move(copy));
			return _ptr[_cnt++];
		}
		new (_ptr + _cnt) T(x);
		return _ptr[_cnt++];
	}

	ResultRef<T> Append(T&& x)
	{
		if (_cnt == _cap)
		{
			T moved(std::move(x));
			if (!Grow(1))
				return FAILED;
			new (_ptr + _cnt) T(std::move(moved));
			return _ptr[_cnt++];
		}
		new (_ptr + _cnt) T(std::move(x));
		return _ptr[_cnt++];
	}

	// Destroys every element; count 0, storage kept.
	void Flush()
	{
		for (Int i = 0; i < _cnt; ++i)
			_ptr[i].~T();
		_cnt = 0;
	}

	// Destroys every element and releases the storage.
	void Reset()
	{
		Flush();
		if (_ptr)
			ALLOCATOR::Free(_ptr);
		_ptr = nullptr;
		_cap = 0;
	}

	ResultMem EnsureCapacity(Int requestedCapacity, COLLECTION_RESIZE_FLAGS = COLLECTION_RESIZE_FLAGS::ON_GROW_RESERVE_CAPACITY)
	{
		if (requestedCapacity <= _cap)
			return ResultMem(true);
		return ResultMem(Reallocate(requestedCapacity));
	}

	ResultMem Resize(Int newCnt, COLLECTION_RESIZE_FLAGS flags = COLLECTION_RESIZE_FLAGS::DEFAULT)
	{
		if (newCnt < 0)
			return ResultMem(false);
		if (newCnt < _cnt)
		{
			for (Int i = newCnt; i < _cnt; ++i)
				_ptr[i].~T();
			_cnt = newCnt;
			if (HasFlag(flags, COLLECTION_RESIZE_FLAGS::ON_SHRINK_FIT_TO_SIZE))
			{
				if (newCnt == 0)
					Reset();
				else if (!Reallocate(newCnt))
					return ResultMem(false);
			}
			return ResultMem(true);
		}
		if (newCnt > _cap)
		{
			Int cap = HasFlag(flags, COLLECTION_RESIZE_FLAGS::ON_GROW_FIT_TO_SIZE)
				? newCnt
				: ALLOCATOR::ComputeArraySize(_cap, newCnt - _cap, MINCHUNKSIZE);
			if (!Reallocate(cap))
				return ResultMem(false);
		}
		for (Int i = _cnt; i < newCnt; ++i)
			new (_ptr + i) T();
		_cnt = newCnt;
		return ResultMem(true);
	}

	// Replaces the content by copies of other's elements; on failure the array is left empty.
	template <typename C2>
	Result<void> CopyFrom(const C2& other, COLLECTION_RESIZE_FLAGS = COLLECTION_RESIZE_FLAGS::FIT_TO_SIZE)
	{
		Flush();
		Int n = other.GetCount();
		if (n == 0)
		{
			Reset();
			return OK;
		}
		if (n > _cap && !Reallocate(n))
			return FAILED;
		for (Int i = 0; i < n; ++i)
			new (_ptr + i) T(other[i]);
		_cnt = n;
		return OK;
	}

	Bool Pop(T* dst = nullptr)
	{
		if (_cnt == 0)
			return false;
		--_cnt;
		if (dst)
			*dst = std::move(_ptr[_cnt]);
		_ptr[_cnt].~T();
		return true;
	}

private:
	Bool Grow(Int add)
	{
		if (_cnt + add <= _cap)
			return true;
		return Reallocate(ALLOCATOR::ComputeArraySize(_cap, add, MINCHUNKSIZE));
	}

	Bool Reallocate(Int cap)
	{
		if (cap < _cnt)
			return false;
		if (cap > Int(0x7fffffffffffffffLL / Int(sizeof(T))))
			return false;
		T* p = static_cast<T*>(ALLOCATOR::Alloc(cap * Int(sizeof(T))));
		if (!p)
			return false;
		for (Int i = 0; i < _cnt; ++i)
		{
			new (p + i) T(std::move(_ptr[i]));
			_ptr[i].~T();
		}
		if (_ptr)
			ALLOCATOR::Free(_ptr);
		_ptr = p;
		_cap = cap;
		return true;
	}

	T* _ptr = nullptr;
	Int _cnt = 0;
	Int _cap = 0;
};
} // namespace maxon
