// Object allocation through the host allocator: a failed allocation yields nullptr, never an exception.
#pragma once

#include <cstring>
#include <new>
#include <utility>

#include "maxon/defaultallocator.h"
#include "maxon/resultbase.h"

namespace maxon
{
template <typename T, typename... ARGS>
T* NewObjClearImpl(ARGS&&... args)
{
	void* p = DefaultAllocator::Alloc(Int(sizeof(T)));
	if (!p)
		return nullptr;
	std::memset(p, 0, sizeof(T));
	return new (p) T(std::forward<ARGS>(args)...);
}

template <typename T, typename... ARGS>
ResultPtr<T> NewObjImpl(ARGS&&... args)
{
	void* p = DefaultAllocator::Alloc(Int(sizeof(T)));
	if (!p)
		return FAILED;
	return new (p) T(std::forward<ARGS>(args)...);
}

template <typename T>
void DeleteObjImpl(T*& p)
{
	if (p)
	{
		p->~T();
		DefaultAllocator::Free(const_cast<void*>(static_cast<const void*>(p)));
	}
	p = nullptr;
}
} // namespace maxon

// Zero-filled memory, then the constructor; nullptr when memory runs out.
#define NewObjClear(T) maxon::NewObjClearImpl<T>()
#define NewObj(T) maxon::NewObjImpl<T>()
#define DeleteObj(p) maxon::DeleteObjImpl(p)
