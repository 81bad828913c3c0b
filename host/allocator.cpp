// The host allocator and its failure injection.
#include <atomic>
#include <cstdlib>
#include <mutex>

#include "internal.h"
#include "maxon/defaultallocator.h"

namespace vh
{
namespace
{
constexpr int kKinds = int(AllocKind::PRIMITIVE) + 1;

struct KindState
{
	Int count = 0; // allocations so far, failed ones included
	Int skip = 0; // successes still to grant before failing
	Int fail = 0; // failures still to inject
};

std::mutex& Lock()
{
	static std::mutex m;
	return m;
}

KindState* States()
{
	static KindState states[kKinds];
	return states;
}

int Index(AllocKind kind)
{
	int i = int(kind);
	return i >= 0 && i < kKinds ? i : 0;
}
} // namespace

Bool ConsumeAllocation(AllocKind kind)
{
	std::lock_guard<std::mutex> lock(Lock());
	KindState& s = States()[Index(kind)];
	++s.count;
	if (s.fail <= 0)
		return true;
	if (s.skip > 0)
	{
		--s.skip;
		return true;
	}
	--s.fail;
	return false;
}

void FailAllocations(AllocKind kind, Int skip, Int count)
{
	std::lock_guard<std::mutex> lock(Lock());
	KindState& s = States()[Index(kind)];
	s.skip = skip > 0 ? skip : 0;
	s.fail = count > 0 ? count : 0;
}

void ResetAllocationFailures()
{
	std::lock_guard<std::mutex> lock(Lock());
	for (int i = 0; i < kKinds; ++i)
	{
		States()[i].skip = 0;
		States()[i].fail = 0;
	}
}

Int AllocationCount(AllocKind kind)
{
	std::lock_guard<std::mutex> lock(Lock());
	return States()[Index(kind)].count;
}
} // namespace vh

namespace maxon
{
void* DefaultAllocator::Alloc(Int size)
{
	if (size < 0)
		return nullptr;
	if (!vh::ConsumeAllocation(vh::AllocKind::MEMORY))
		return nullptr;
	// A zero-byte request still yields a distinct block that Free accepts.
	return std::malloc(size == 0 ? 1 : size_t(size));
}

void DefaultAllocator::Free(void* p) { std::free(p); }
} // namespace maxon
