// maxon::String and the classic String: reference-counted UTF-32 text with copy on write.
#include <atomic>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <stdlib.h>
#include <limits>
#include <new>
#include <string>
#include <system_error>

#include "c4d_string.h"
#include "vh/host.h"

struct maxon::String::Data
{
	std::atomic<Int> refs{1};
	std::u32string chars;
};

namespace maxon
{
struct StringAccess
{
	static const std::u32string& Chars(const String& s)
	{
		static const std::u32string empty;
		return s._d ? s._d->chars : empty;
	}

	static void Release(String::Data* d)
	{
		if (d && d->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
			delete d;
	}

	// Takes the characters over; an empty text is stored as _d == nullptr.
	static void Assign(String& s, std::u32string&& chars)
	{
		String::Data* d = nullptr;
		if (!chars.empty())
		{
			d = new (std::nothrow) String::Data;
			if (!d)
				return;
			d->chars = std::move(chars);
		}
		Release(s._d);
		s._d = d;
	}

	static String Make(std::u32string&& chars)
	{
		String s;
		Assign(s, std::move(chars));
		return s;
	}
};
} // namespace maxon

using maxon::StringAccess;

namespace
{
constexpr char32_t kReplacement = 0xFFFD;

Bool IsBlank(Utf32Char c) { return c <= 0x20; }

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF); false when invalid.
Bool DecodeUtf8(const unsigned char* p, size_t n, std::u32string& out)
{
	size_t i = 0;
	while (i < n)
	{
		unsigned char b = p[i];
		if (b < 0x80)
		{
			out.push_back(b);
			++i;
			continue;
		}
		size_t len;
		char32_t cp, min;
		if ((b & 0xE0) == 0xC0)
		{
			len = 2;
			cp = b & 0x1F;
			min = 0x80;
		}
		else if ((b & 0xF0) == 0xE0)
		{
			len = 3;
			cp = b & 0x0F;
			min = 0x800;
		}
		else if ((b & 0xF8) == 0xF0)
		{
			len = 4;
			cp = b & 0x07;
			min = 0x10000;
		}
		else
			return false;
		if (n - i < len)
			return false;
		for (size_t k = 1; k < len; ++k)
		{
			unsigned char c = p[i + k];
			if ((c & 0xC0) != 0x80)
				return false;
			cp = (cp << 6) | (c & 0x3F);
		}
		if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
			return false;
		out.push_back(cp);
		i += len;
	}
	return true;
}

// Text that is not valid UTF-8 as a whole is taken byte by byte as Latin-1, so no byte is lost.
std::u32string DecodeXbit(const unsigned char* p, size_t n)
{
	std::u32string out;
	out.reserve(n);
	if (!DecodeUtf8(p, n, out))
	{
		out.clear();
		for (size_t i = 0; i < n; ++i)
			out.push_back(p[i]);
	}
	return out;
}

std::u32string Decode(const unsigned char* p, size_t n, STRINGENCODING enc)
{
	if (enc == STRINGENCODING::BIT7 || enc == STRINGENCODING::BIT7HEX)
	{
		std::u32string out;
		out.reserve(n);
		for (size_t i = 0; i < n; ++i)
			out.push_back(p[i] < 0x80 ? char32_t(p[i]) : char32_t('?'));
		return out;
	}
	return DecodeXbit(p, n);
}

// Bytes of one code point in the encoding; BIT7HEX is written as BIT7.
int Encode(char32_t cp, STRINGENCODING enc, char* out)
{
	if (enc == STRINGENCODING::BIT7 || enc == STRINGENCODING::BIT7HEX)
	{
		out[0] = cp < 0x80 ? char(cp) : '?';
		return 1;
	}
	if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
		cp = kReplacement;
	if (cp < 0x80)
	{
		out[0] = char(cp);
		return 1;
	}
	if (cp < 0x800)
	{
		out[0] = char(0xC0 | (cp >> 6));
		out[1] = char(0x80 | (cp & 0x3F));
		return 2;
	}
	if (cp < 0x10000)
	{
		out[0] = char(0xE0 | (cp >> 12));
		out[1] = char(0x80 | ((cp >> 6) & 0x3F));
		out[2] = char(0x80 | (cp & 0x3F));
		return 3;
	}
	out[0] = char(0xF0 | (cp >> 18));
	out[1] = char(0x80 | ((cp >> 12) & 0x3F));
	out[2] = char(0x80 | ((cp >> 6) & 0x3F));
	out[3] = char(0x80 | (cp & 0x3F));
	return 4;
}

maxon::String FromBytes(const char* p, size_t n, STRINGENCODING enc)
{
	try
	{
		return StringAccess::Make(Decode(reinterpret_cast<const unsigned char*>(p), n, enc));
	}
	catch (const std::bad_alloc&)
	{
		return maxon::String();
	}
}

Bool InRange(char32_t c, char32_t lo, char32_t hi) { return c >= lo && c <= hi; }

char32_t Upper(char32_t c)
{
	if (InRange(c, 'a', 'z') || (InRange(c, 0xE0, 0xFE) && c != 0xF7) || InRange(c, 0x3B1, 0x3C9) || InRange(c, 0x430, 0x44F))
		return c == 0x3C2 ? 0x3A3 : c - 0x20;
	if (c == 0xFF)
		return 0x178;
	if (c == 0xB5)
		return 0x39C;
	if (InRange(c, 0x450, 0x45F))
		return c - 0x50;
	if (InRange(c, 0x100, 0x12F) || InRange(c, 0x132, 0x137) || InRange(c, 0x14A, 0x177))
		return c & ~char32_t(1);
	if ((InRange(c, 0x139, 0x148) || InRange(c, 0x179, 0x17E)) && (c & 1) == 0)
		return c - 1;
	return c;
}

char32_t Lower(char32_t c)
{
	if (InRange(c, 'A', 'Z') || (InRange(c, 0xC0, 0xDE) && c != 0xD7) || (InRange(c, 0x391, 0x3A9) && c != 0x3A2) || InRange(c, 0x410, 0x42F))
		return c + 0x20;
	if (c == 0x178)
		return 0xFF;
	if (InRange(c, 0x400, 0x40F))
		return c + 0x50;
	if (InRange(c, 0x100, 0x12F) || InRange(c, 0x132, 0x137) || InRange(c, 0x14A, 0x177))
		return c | 1;
	if ((InRange(c, 0x139, 0x148) || InRange(c, 0x179, 0x17E)) && (c & 1) == 1)
		return c + 1;
	return c;
}

// A start outside the text (negative, or at or past its end) finds nothing, as in the SDK.
Int FindForward(const std::u32string& hay, const std::u32string& needle, Int start)
{
	if (needle.empty() || start < 0 || start >= Int(hay.size()))
		return -1;
	size_t p = hay.find(needle, size_t(start));
	return p == std::u32string::npos ? -1 : Int(p);
}

void SetPos(Int32* pos, Int v)
{
	if (pos)
		*pos = v > std::numeric_limits<Int32>::max() ? std::numeric_limits<Int32>::max() : Int32(v);
}

// Leading number of the text: magnitude saturated at UInt64 max.
struct ParsedInt
{
	Bool negative = false;
	UInt64 magnitude = 0;
	Bool overflow = false;
	Bool digits = false;
	Bool trailing = false;
};

Int DigitValue(char32_t c, Int base)
{
	Int v = -1;
	if (InRange(c, '0', '9'))
		v = Int(c - '0');
	else if (InRange(c, 'a', 'f'))
		v = Int(c - 'a' + 10);
	else if (InRange(c, 'A', 'F'))
		v = Int(c - 'A' + 10);
	return v < base ? v : -1;
}

ParsedInt ParseInteger(const std::u32string& s)
{
	ParsedInt r;
	size_t i = 0, n = s.size();
	while (i < n && IsBlank(s[i]))
		++i;
	if (i < n && (s[i] == '+' || s[i] == '-'))
		r.negative = s[i++] == '-';
	Int base = 10;
	if (i + 2 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') && DigitValue(s[i + 2], 16) >= 0)
	{
		base = 16;
		i += 2;
	}
	for (; i < n; ++i)
	{
		Int d = DigitValue(s[i], base);
		if (d < 0)
			break;
		r.digits = true;
		if (r.magnitude > (std::numeric_limits<UInt64>::max() - UInt64(d)) / UInt64(base))
		{
			r.overflow = true;
			r.magnitude = std::numeric_limits<UInt64>::max();
		}
		else if (!r.overflow)
			r.magnitude = r.magnitude * UInt64(base) + UInt64(d);
	}
	while (i < n && IsBlank(s[i]))
		++i;
	r.trailing = i < n;
	return r;
}

template <typename T>
T ConvertInteger(const std::u32string& s, Bool* error)
{
	ParsedInt p = ParseInteger(s);
	Bool bad = !p.digits || p.trailing || p.overflow;
	T value = 0;
	if (p.digits)
	{
		if constexpr (std::numeric_limits<T>::is_signed)
		{
			const UInt64 maxPos = UInt64(std::numeric_limits<T>::max());
			if (p.negative)
			{
				if (p.magnitude > maxPos + 1)
				{
					bad = true;
					value = std::numeric_limits<T>::min();
				}
				else if (p.magnitude == maxPos + 1)
					value = std::numeric_limits<T>::min();
				else
					value = T(-T(p.magnitude));
			}
			else if (p.magnitude > maxPos)
			{
				bad = true;
				value = std::numeric_limits<T>::max();
			}
			else
				value = T(p.magnitude);
		}
		else
		{
			if (p.negative && p.magnitude != 0)
			{
				bad = true;
				value = 0;
			}
			else if (p.magnitude > UInt64(std::numeric_limits<T>::max()))
			{
				bad = true;
				value = std::numeric_limits<T>::max();
			}
			else
				value = T(p.magnitude);
		}
	}
	if (error)
		*error = bad;
	return value;
}
} // namespace

// ---- maxon::String ----------------------------------------------------------------------------

namespace maxon
{
String::String() : _d(nullptr) {}

String::String(const String& src) : _d(src._d)
{
	if (_d)
		_d->refs.fetch_add(1, std::memory_order_relaxed);
}

String::String(String&& src) noexcept : _d(src._d) { src._d = nullptr; }

String::String(const Char* utf8) : _d(nullptr)
{
	if (utf8)
		*this = FromBytes(utf8, std::strlen(utf8), STRINGENCODING::UTF8);
}

String::~String() { StringAccess::Release(_d); }

String& String::operator=(const String& src)
{
	if (src._d)
		src._d->refs.fetch_add(1, std::memory_order_relaxed);
	StringAccess::Release(_d);
	_d = src._d;
	return *this;
}

String& String::operator=(String&& src) noexcept
{
	if (this != &src)
	{
		StringAccess::Release(_d);
		_d = src._d;
		src._d = nullptr;
	}
	return *this;
}

Int String::GetLength() const { return _d ? Int(_d->chars.size()) : 0; }

Utf32Char String::operator[](Int idx) const
{
	if (!_d || idx < 0 || idx >= Int(_d->chars.size()))
		return 0;
	return _d->chars[size_t(idx)];
}

Int String::GetReferenceCount() const { return _d ? _d->refs.load(std::memory_order_relaxed) : 0; }

static Result<void> TrimRange(String& s, Bool left, Bool right)
{
	const std::u32string& c = StringAccess::Chars(s);
	size_t b = 0, e = c.size();
	if (left)
		while (b < e && IsBlank(c[b]))
			++b;
	if (right)
		while (e > b && IsBlank(c[e - 1]))
			--e;
	if (b == 0 && e == c.size())
		return OK;
	try
	{
		StringAccess::Assign(s, c.substr(b, e - b));
	}
	catch (const std::bad_alloc&)
	{
		return FAILED;
	}
	return OK;
}

Result<void> String::Trim() { return TrimRange(*this, true, true); }
Result<void> String::TrimLeft() { return TrimRange(*this, true, false); }
Result<void> String::TrimRight() { return TrimRange(*this, false, true); }

Bool String::Find(const String& str, Int* pos, Int start) const
{
	Int p = FindForward(StringAccess::Chars(*this), StringAccess::Chars(str), start);
	if (pos)
		*pos = p;
	return p >= 0;
}

String& String::operator+=(const String& b)
{
	if (!b._d)
		return *this;
	if (!_d)
		return *this = b;
	try
	{
		if (_d->refs.load(std::memory_order_acquire) == 1 && _d != b._d)
			_d->chars += b._d->chars;
		else
			StringAccess::Assign(*this, _d->chars + b._d->chars);
	}
	catch (const std::bad_alloc&)
	{
	}
	return *this;
}

Bool String::operator==(const String& b) const { return _d == b._d || StringAccess::Chars(*this) == StringAccess::Chars(b); }

Bool String::operator<(const String& b) const { return StringAccess::Chars(*this) < StringAccess::Chars(b); }

String operator+(const String& a, const String& b)
{
	String r(a);
	r += b;
	return r;
}
} // namespace maxon

// ---- classic String ---------------------------------------------------------------------------

String::String(const Char* cstr, STRINGENCODING type) { SetCString(cstr, -1, type); }

String::String(Int count, Utf32Char fillch)
{
	if (count <= 0)
		return;
	try
	{
		StringAccess::Assign(*this, std::u32string(size_t(count), fillch));
	}
	catch (const std::bad_alloc&)
	{
	}
	catch (const std::length_error&)
	{
	}
}

String String::SubStr(Int start, Int count) const
{
	const std::u32string& c = StringAccess::Chars(*this);
	const Int len = Int(c.size());
	// As the SDK's GetPart: a range that does not lie wholly inside the text gives an empty string.
	if (start < 0 || start >= len || count <= 0 || count > len - start)
		return String();
	if (start == 0 && count == len)
		return *this;
	try
	{
		return String(StringAccess::Make(c.substr(size_t(start), size_t(count))));
	}
	catch (const std::bad_alloc&)
	{
		return String();
	}
}

Bool String::FindFirst(const String& cs, Int32* pos, Int start) const
{
	Int p = FindForward(StringAccess::Chars(*this), StringAccess::Chars(cs), start);
	SetPos(pos, p);
	return p >= 0;
}

Bool String::FindFirst(Utf32Char ch, Int32* pos, Int start) const
{
	const std::u32string& c = StringAccess::Chars(*this);
	Int p = -1;
	if (start >= 0 && start < Int(c.size()))
	{
		size_t f = c.find(ch, size_t(start));
		if (f != std::u32string::npos)
			p = Int(f);
	}
	SetPos(pos, p);
	return p >= 0;
}

Bool String::FindLast(const String& cs, Int32* pos, Int start) const
{
	const std::u32string& hay = StringAccess::Chars(*this);
	const std::u32string& needle = StringAccess::Chars(cs);
	Int p = -1;
	if (!needle.empty() && start <= Int(hay.size()))
	{
		size_t f = hay.rfind(needle, start < 0 ? std::u32string::npos : size_t(start));
		if (f != std::u32string::npos)
			p = Int(f);
	}
	SetPos(pos, p);
	return p >= 0;
}

// A copy with every character mapped; empty when memory runs out.
static String MapChars(const String& s, char32_t (*map)(char32_t))
{
	try
	{
		std::u32string c = StringAccess::Chars(s);
		for (char32_t& ch : c)
			ch = map(ch);
		return String(StringAccess::Make(std::move(c)));
	}
	catch (const std::bad_alloc&)
	{
		return String();
	}
}

String String::ToUpper() const { return MapChars(*this, Upper); }
String String::ToLower() const { return MapChars(*this, Lower); }

Int32 String::ToInt32(Bool* error) const { return ConvertInteger<Int32>(StringAccess::Chars(*this), error); }
Int64 String::ToInt64(Bool* error) const { return ConvertInteger<Int64>(StringAccess::Chars(*this), error); }
UInt32 String::ToUInt32(Bool* error) const { return ConvertInteger<UInt32>(StringAccess::Chars(*this), error); }
UInt64 String::ToUInt64(Bool* error) const { return ConvertInteger<UInt64>(StringAccess::Chars(*this), error); }

static Float ParseFloat(const std::u32string& c, Bool* error)
{
	size_t i = 0, n = c.size();
	while (i < n && IsBlank(c[i]))
		++i;
	Bool negative = false;
	if (i < n && (c[i] == '+' || c[i] == '-'))
		negative = c[i++] == '-';
	std::chars_format format = std::chars_format::general;
	size_t prefix = 0;
	if (i + 2 < n && c[i] == '0' && (c[i + 1] == 'x' || c[i + 1] == 'X') && (DigitValue(c[i + 2], 16) >= 0 || c[i + 2] == '.'))
	{
		format = std::chars_format::hex;
		prefix = 2;
	}
	// from_chars is locale independent; it sees the ASCII run after the sign and the hex prefix.
	std::string text;
	Float value = 0.0;
	Bool bad = false;
	for (size_t k = i + prefix; k < n && c[k] > 0x20 && c[k] < 0x7F; ++k)
		text.push_back(char(c[k]));
	const char* first = text.data();
	auto res = std::from_chars(first, first + text.size(), value, format);
	if (res.ec == std::errc::invalid_argument || (!text.empty() && (text[0] == '+' || text[0] == '-')))
	{
		value = 0.0;
		bad = true;
	}
	else
	{
		if (res.ec == std::errc::result_out_of_range)
		{
			// Overflow clamps and is an error; underflow is a valid, tiny number.
			static locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
			std::string full = (prefix ? "0x" : "") + text.substr(0, size_t(res.ptr - first));
			Float approx = cLocale ? strtod_l(full.c_str(), nullptr, cLocale) : std::numeric_limits<Float>::max();
			if (approx > 1.0)
			{
				value = std::numeric_limits<Float>::max();
				bad = true;
			}
			else
				value = 0.0;
		}
		size_t j = i + prefix + size_t(res.ptr - first);
		while (j < n && IsBlank(c[j]))
			++j;
		if (j < n)
			bad = true;
	}
	if (error)
		*error = bad;
	return negative ? -value : value;
}

Float String::ToFloat(Bool* error) const
{
	try
	{
		return ParseFloat(StringAccess::Chars(*this), error);
	}
	catch (const std::bad_alloc&)
	{
		if (error)
			*error = true;
		return 0.0;
	}
}

Int32 String::GetCString(Char* scstr, Int max, STRINGENCODING type) const
{
	if (!scstr || max < 1)
		return 0;
	Int written = 0;
	char tmp[4];
	for (char32_t cp : StringAccess::Chars(*this))
	{
		int k = Encode(cp, type, tmp);
		if (written + k > max - 1 || written + k > std::numeric_limits<Int32>::max())
			break;
		std::memcpy(scstr + written, tmp, size_t(k));
		written += k;
	}
	scstr[written] = 0;
	return Int32(written);
}

Int32 String::GetCStringLen(STRINGENCODING type) const
{
	Int total = 0;
	char tmp[4];
	for (char32_t cp : StringAccess::Chars(*this))
	{
		total += Encode(cp, type, tmp);
		if (total >= std::numeric_limits<Int32>::max())
			return std::numeric_limits<Int32>::max();
	}
	return Int32(total);
}

void String::SetCString(const Char* cstr, Int count, STRINGENCODING type)
{
	if (!cstr || count < -1)
	{
		*this = String();
		return;
	}
	size_t n = count == -1 ? std::strlen(cstr) : size_t(count);
	*this = FromBytes(cstr, n, type);
}

// ---- vh --------------------------------------------------------------------------------------

namespace vh
{
std::string ToUtf8(const maxon::String& s)
{
	std::string out;
	char tmp[4];
	try
	{
		for (char32_t cp : StringAccess::Chars(s))
			out.append(tmp, size_t(Encode(cp, STRINGENCODING::UTF8, tmp)));
	}
	catch (const std::bad_alloc&)
	{
		out.clear();
	}
	return out;
}

String FromUtf8(const std::string& s) { return String(FromBytes(s.data(), s.size(), STRINGENCODING::UTF8)); }
} // namespace vh
