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
	std::atomic<Int> count { 0 }; // allocations so far, failed ones included
	Int skip = 0; // successes still to grant before failing (under the lock)
	Int fail = 0; // failures still to inject (under the lock)
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

// Kinds with failures to inject; while there are none an allocation only counts itself, without
// the lock: every node, tag and parameter of a rebuild asks.
std::atomic<int>& Armed()
{
	static std::atomic<int> armed { 0 };
	return armed;
}

int Index(AllocKind kind)
{
	int i = int(kind);
	return i >= 0 && i < kKinds ? i : 0;
}

void Disarm(KindState& s)
{
	if (s.fail > 0)
		Armed().fetch_sub(1);
	s.skip = 0;
	s.fail = 0;
}
} // namespace

Bool ConsumeAllocation(AllocKind kind)
{
	KindState& s = States()[Index(kind)];
	if (Armed().load(std::memory_order_acquire) == 0)
	{
		s.count.fetch_add(1, std::memory_order_relaxed);
		return true;
	}
	std::lock_guard<std::mutex> lock(Lock());
	s.count.fetch_add(1, std::memory_order_relaxed);
	if (s.fail <= 0)
		return true;
	if (s.skip > 0)
	{
		--s.skip;
		return true;
	}
	if (--s.fail == 0)
		Armed().fetch_sub(1);
	return false;
}

void FailAllocations(AllocKind kind, Int skip, Int count)
{
	std::lock_guard<std::mutex> lock(Lock());
	KindState& s = States()[Index(kind)];
	Disarm(s);
	s.skip = skip > 0 ? skip : 0;
	s.fail = count > 0 ? count : 0;
	if (s.fail > 0)
		Armed().fetch_add(1, std::memory_order_release);
}

void ResetAllocationFailures()
{
	std::lock_guard<std::mutex> lock(Lock());
	for (int i = 0; i < kKinds; ++i)
		Disarm(States()[i]);
}

Int AllocationCount(AllocKind kind) { return States()[Index(kind)].count.load(std::memory_order_relaxed); }
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
