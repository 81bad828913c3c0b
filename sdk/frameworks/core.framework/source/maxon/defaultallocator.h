// The host's memory allocator. Every array and object allocation of the plug-in passes through it,
// so the host can account for it (and its tests can make a chosen allocation fail).
#pragma once

#include "maxon/apibase.h"

namespace maxon
{
class DefaultAllocator
{
public:
	// Returns nullptr when the memory cannot be had.
	static void* Alloc(Int size);
	static void Free(void* p);
	// Capacity rule of growing collections: 0 -> inc, else (cur + inc) * 3 / 2, raised to a multiple of minChunk.
	static Int ComputeArraySize(Int currentSize, Int increment, Int minChunkSize)
	{
		Int n = currentSize ? (currentSize + increment) * 3 / 2 : increment;
		if (n < currentSize + increment)
			n = currentSize + increment;
		return ((n + minChunkSize - 1) / minChunkSize) * minChunkSize;
	}
};
} // namespace maxon
