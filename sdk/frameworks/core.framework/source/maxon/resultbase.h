// Error results of the maxon API: no exceptions, every failure is a value the caller checks.
#pragma once

#include "maxon/apibase.h"

namespace maxon
{
enum class ERROR_OK { VALUE };
enum class ERROR_FAILED { VALUE };
static constexpr ERROR_OK OK = ERROR_OK::VALUE;
static constexpr ERROR_FAILED FAILED = ERROR_FAILED::VALUE;

// Status of an operation that can only fail for want of memory.
class MAXON_WARN_UNUSED ResultMem
{
public:
	ResultMem(ERROR_OK) : _ok(true) {}
	ResultMem(ERROR_FAILED) : _ok(false) {}
	explicit ResultMem(Bool ok) : _ok(ok) {}
	Bool operator==(ERROR_OK) const { return _ok; }
	Bool operator==(ERROR_FAILED) const { return !_ok; }
	Bool operator!=(ERROR_OK) const { return !_ok; }
	Bool operator!=(ERROR_FAILED) const { return _ok; }
	Bool Failed() const { return !_ok; }

private:
	Bool _ok;
};

template <typename T>
class MAXON_WARN_UNUSED Result
{
public:
	Result(ERROR_OK) : _ok(true) {}
	Result(ERROR_FAILED) : _ok(false) {}
	Result(ResultMem r) : _ok(r == OK) {}
	Bool operator==(ERROR_OK) const { return _ok; }
	Bool operator==(ERROR_FAILED) const { return !_ok; }
	Bool Failed() const { return !_ok; }

private:
	Bool _ok;
};

// Reference to an element, or failure.
template <typename T>
class MAXON_WARN_UNUSED ResultRef
{
public:
	ResultRef(T& r) : _p(&r) {}
	ResultRef(ERROR_FAILED) : _p(nullptr) {}
	Bool operator==(ERROR_OK) const { return _p != nullptr; }
	Bool operator==(ERROR_FAILED) const { return _p == nullptr; }
	Bool Failed() const { return _p == nullptr; }
	T& GetValue() const { return *_p; }

private:
	T* _p;
};

template <typename T>
class MAXON_WARN_UNUSED ResultPtr
{
public:
	ResultPtr(T* p) : _p(p) {}
	ResultPtr(ERROR_FAILED) : _p(nullptr) {}
	Bool operator==(ERROR_OK) const { return _p != nullptr; }
	Bool operator==(ERROR_FAILED) const { return _p == nullptr; }
	Bool Failed() const { return _p == nullptr; }
	T* GetPointer() const { return _p; }

private:
	T* _p;
};

template <typename R>
inline Bool IsResultFailed(const R& r) { return r.Failed(); }
} // namespace maxon

// Runs the statement that follows when the expression failed.
#define iferr(...) if (maxon::IsResultFailed(__VA_ARGS__))
#define ifnoerr(...) if (!maxon::IsResultFailed(__VA_ARGS__))
#define iferr_ignore(reason) ((void)0)
