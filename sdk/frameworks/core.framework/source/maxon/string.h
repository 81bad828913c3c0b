// maxon::String: the host's reference-counted, copy-on-write text (UTF-32 code points).
#pragma once

#include "maxon/apibase.h"
#include "maxon/resultbase.h"

namespace maxon
{
class String
{
public:
	String();
	String(const String& src);
	String(String&& src) noexcept;
	// UTF-8 text up to the terminator.
	String(const Char* utf8);
	~String();
	String& operator=(const String& src);
	String& operator=(String&& src) noexcept;

	Int GetLength() const;
	Bool IsEmpty() const { return GetLength() == 0; }
	Bool IsPopulated() const { return GetLength() != 0; }
	Utf32Char operator[](Int idx) const;

	// Removes characters with a code up to 0x20 at both ends, in place.
	Result<void> Trim();
	Result<void> TrimLeft();
	Result<void> TrimRight();

	// False (and *pos = -1) when start lies outside the text.
	Bool Find(const String& str, Int* pos, Int start = 0) const;

	String& operator+=(const String& b);
	Bool operator==(const String& b) const;
	Bool operator!=(const String& b) const { return !(*this == b); }
	Bool operator<(const String& b) const;

	// Number of String objects sharing this one's characters (1 when not shared, 0 when empty).
	Int GetReferenceCount() const;

	struct Data;

protected:
	Data* _d;
	friend struct StringAccess;
};

String operator+(const String& a, const String& b);
} // namespace maxon

inline maxon::String operator""_s(const char* s, std::size_t) { return maxon::String(s); }
