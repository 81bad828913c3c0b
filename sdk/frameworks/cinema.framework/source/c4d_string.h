// The classic host String, derived from maxon::String.
#pragma once

#include "ge_prepass.h"
#include "maxon/string.h"

class String : public maxon::String
{
public:
	String() = default;
	String(const String& src) = default;
	String(String&& src) noexcept = default;
	String(const maxon::String& src) : maxon::String(src) {}
	String(const Char* cstr) : maxon::String(cstr) {}
	String(const Char* cstr, STRINGENCODING type);
	String(Int count, Utf32Char fillch);
	String& operator=(const String& src) = default;
	String& operator=(String&& src) noexcept = default;
	String& operator=(const maxon::String& src)
	{
		maxon::String::operator=(src);
		return *this;
	}

	// Equivalent to GetPart: an empty string unless 0 <= start < GetLength() and
	// 0 < count <= GetLength() - start; a range is never shortened to fit.
	String SubStr(Int start, Int count) const;
	String Left(Int count) const { return SubStr(0, count); }
	String Right(Int count) const { return SubStr(GetLength() - count, count); }

	// False (and *pos = -1) when start is negative or at or past the end of the text.
	Bool FindFirst(const String& cs, Int32* pos, Int start = 0) const;
	Bool FindFirst(Utf32Char ch, Int32* pos, Int start = 0) const;
	Bool FindLast(const String& cs, Int32* pos, Int start = -1) const;

	String ToUpper() const;
	String ToLower() const;

	// Number conversions: leading and trailing blanks are accepted; *error (may be nullptr) is set
	// when the text is not exactly one number; the value of what could be read is returned.
	Int32 ToInt32(Bool* error) const;
	Int64 ToInt64(Bool* error) const;
	UInt32 ToUInt32(Bool* error) const;
	UInt64 ToUInt64(Bool* error) const;
	Float ToFloat(Bool* error) const;
	Int ToInt(Bool* error) const { return ToInt64(error); }
	UInt ToUInt(Bool* error) const { return ToUInt64(error); }

	// Writes at most max bytes including the terminator; returns the bytes written without it.
	Int32 GetCString(Char* scstr, Int max, STRINGENCODING type = STRINGENCODING::XBIT) const;
	Int32 GetCStringLen(STRINGENCODING type = STRINGENCODING::XBIT) const;
	// count -1: up to the terminator.
	void SetCString(const Char* cstr, Int count = -1, STRINGENCODING type = STRINGENCODING::XBIT);

	String& operator+=(const String& b)
	{
		maxon::String::operator+=(b);
		return *this;
	}
	Bool operator==(const String& b) const { return maxon::String::operator==(b); }
	Bool operator!=(const String& b) const { return !maxon::String::operator==(b); }
	Bool operator==(const Char* b) const { return maxon::String::operator==(maxon::String(b)); }
	Bool operator!=(const Char* b) const { return !(*this == b); }
};

inline String operator+(const String& a, const String& b)
{
	String r(a);
	r += b;
	return r;
}
inline String operator+(const String& a, const Char* b) { return a + String(b); }
inline String operator+(const Char* a, const String& b) { return String(a) + b; }
