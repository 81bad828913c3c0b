// String: sharing, the SDK's out-of-range rules of SubStr/Find, case, number conversions, C-string conversions.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "c4d.h"
#include "vh/host.h"

namespace
{
std::u32string CodePoints(const maxon::String& s)
{
	std::u32string r;
	for (Int i = 0; i < s.GetLength(); ++i)
		r.push_back(s[i]);
	return r;
}

std::string Bytes(const String& s, STRINGENCODING enc = STRINGENCODING::XBIT)
{
	std::string buf(size_t(s.GetCStringLen(enc)) + 1, '#');
	Int32 n = s.GetCString(buf.data(), Int(buf.size()), enc);
	return std::string(buf.data(), size_t(n));
}
} // namespace

TEST(CoreStringSharing, CopiesShareUntilOneIsChanged)
{
	String a("molecule");
	EXPECT_EQ(a.GetReferenceCount(), 1);
	String b(a);
	maxon::String c = b;
	EXPECT_EQ(a.GetReferenceCount(), 3);

	b += "s";
	EXPECT_EQ(a.GetReferenceCount(), 2);
	EXPECT_EQ(b.GetReferenceCount(), 1);
	EXPECT_TRUE(a == "molecule");
	EXPECT_TRUE(b == "molecules");
	EXPECT_TRUE(c == a);

	ASSERT_EQ(c.Trim(), maxon::OK);
	EXPECT_EQ(a.GetReferenceCount(), 2) << "trimming without change keeps the sharing";

	String moved(std::move(b));
	EXPECT_EQ(moved.GetReferenceCount(), 1);
	EXPECT_TRUE(moved == "molecules");
}

TEST(CoreStringSharing, EmptyAndSelfAppend)
{
	String e;
	EXPECT_EQ(e.GetReferenceCount(), 0);
	EXPECT_TRUE(e.IsEmpty());
	EXPECT_EQ(e[0], 0u) << "out of range index reads as 0";
	String s("ab");
	String t = s;
	s += s;
	EXPECT_TRUE(s == "abab");
	EXPECT_TRUE(t == "ab");
	s += e;
	EXPECT_TRUE(s == "abab");
	EXPECT_TRUE(e + s == "abab");
	EXPECT_TRUE(""_s < "a"_s);
	EXPECT_TRUE("ab"_s < "b"_s);
	EXPECT_FALSE("b"_s < "ab"_s);
	EXPECT_EQ(String("\xC3\xA9t\xC3\xA9").GetLength(), 3) << "UTF-8 literal decodes to code points";
}

TEST(CoreStringBounds, SubStrGivesNothingForARangeOutsideTheText)
{
	String s("abcdef");
	EXPECT_TRUE(s.SubStr(2, 3) == "cde");
	EXPECT_TRUE(s.SubStr(4, 2) == "ef");
	EXPECT_TRUE(s.SubStr(0, 6) == "abcdef");
	// Out of range is empty, never shortened: start outside, or count past the end.
	EXPECT_TRUE(s.SubStr(4, 3) == "");
	EXPECT_TRUE(s.SubStr(5, 100) == "");
	EXPECT_TRUE(s.SubStr(6, 0) == "");
	EXPECT_TRUE(s.SubStr(6, 1) == "");
	EXPECT_TRUE(s.SubStr(-2, 4) == "");
	EXPECT_TRUE(s.SubStr(1, -1) == "");
	EXPECT_TRUE(s.SubStr(3, std::numeric_limits<Int>::max()) == "");
	EXPECT_TRUE(s.SubStr(std::numeric_limits<Int>::min(), std::numeric_limits<Int>::max()) == "");
	EXPECT_TRUE(String().SubStr(0, 0) == "");
	EXPECT_TRUE(s.Left(2) == "ab");
	EXPECT_TRUE(s.Left(20) == "");
	EXPECT_TRUE(s.Right(2) == "ef");
	EXPECT_TRUE(s.Right(20) == "");
	EXPECT_TRUE(s.Right(0) == "");
}

TEST(CoreStringBounds, FindFirstAndLast)
{
	String s("C1CC1C");
	Int32 pos = 77;
	EXPECT_TRUE(s.FindFirst(String("C1"), &pos));
	EXPECT_EQ(pos, 0);
	EXPECT_TRUE(s.FindFirst(String("C1"), &pos, 1));
	EXPECT_EQ(pos, 3);
	EXPECT_FALSE(s.FindFirst(String("C1"), &pos, 4));
	EXPECT_EQ(pos, -1);
	EXPECT_TRUE(s.FindFirst(String("C"), &pos, 5));
	EXPECT_EQ(pos, 5);
	EXPECT_FALSE(s.FindFirst(String("C"), &pos, 6)) << "start at the end";
	EXPECT_EQ(pos, -1);
	EXPECT_FALSE(s.FindFirst(String("C"), &pos, 7)) << "start beyond the length";
	EXPECT_FALSE(s.FindFirst(String(""), &pos));
	EXPECT_FALSE(s.FindFirst(String("C1CC1C+"), &pos));
	EXPECT_FALSE(s.FindFirst(String("C"), &pos, -5)) << "negative start";
	EXPECT_FALSE(String().FindFirst(String("C"), &pos, 0));

	EXPECT_TRUE(s.FindFirst(Utf32Char('1'), &pos));
	EXPECT_EQ(pos, 1);
	EXPECT_TRUE(s.FindFirst(Utf32Char('1'), &pos, 2));
	EXPECT_EQ(pos, 4);
	EXPECT_FALSE(s.FindFirst(Utf32Char('1'), &pos, 6));
	EXPECT_FALSE(s.FindFirst(Utf32Char('C'), &pos, 6)) << "start at the end";
	EXPECT_FALSE(s.FindFirst(Utf32Char('C'), &pos, -1));
	EXPECT_FALSE(s.FindFirst(Utf32Char('N'), &pos));

	EXPECT_TRUE(s.FindLast(String("C1"), &pos));
	EXPECT_EQ(pos, 3);
	EXPECT_TRUE(s.FindLast(String("C1"), &pos, 2));
	EXPECT_EQ(pos, 0);
	EXPECT_TRUE(s.FindLast(String("C"), &pos, 6));
	EXPECT_EQ(pos, 5);
	EXPECT_FALSE(s.FindLast(String("C"), &pos, 7));
	EXPECT_FALSE(s.FindLast(String("N"), &pos));

	Int p = 0;
	EXPECT_TRUE(s.Find("CC1"_s, &p));
	EXPECT_EQ(p, 2);
	EXPECT_FALSE(s.Find("CC1"_s, &p, 3));
	EXPECT_FALSE(s.Find("C"_s, &p, 6));
	EXPECT_FALSE(s.Find("C"_s, &p, -1));
}

TEST(CoreStringEdit, TrimRemovesControlAndBlankAtTheEnds)
{
	String s(" \t\r\n Na \x01 ");
	String keep = s;
	ASSERT_EQ(s.TrimLeft(), maxon::OK);
	EXPECT_TRUE(s == "Na \x01 ");
	ASSERT_EQ(s.TrimRight(), maxon::OK);
	EXPECT_TRUE(s == "Na");
	EXPECT_TRUE(keep == " \t\r\n Na \x01 ") << "the shared original is not trimmed";
	String blank("   ");
	ASSERT_EQ(blank.Trim(), maxon::OK);
	EXPECT_TRUE(blank.IsEmpty());
	EXPECT_EQ(blank.GetReferenceCount(), 0);
}

TEST(CoreStringEdit, UpperAndLowerCase)
{
	EXPECT_TRUE(String("cl mg2+ z").ToUpper() == "CL MG2+ Z");
	EXPECT_TRUE(String("HE Ar").ToLower() == "he ar");
	// Latin-1: à..þ <-> À..Þ except ÷ and ×; ß has no single upper case letter.
	EXPECT_TRUE(String("\xC3\xA0\xC3\xA9\xC3\xBE\xC3\xB7\xC3\x9F").ToUpper() == "\xC3\x80\xC3\x89\xC3\x9E\xC3\xB7\xC3\x9F");
	EXPECT_TRUE(String("\xC3\x80\xC3\x89\xC3\x97").ToLower() == "\xC3\xA0\xC3\xA9\xC3\x97");
	EXPECT_EQ(String("\xC3\xBF").ToUpper()[0], 0x178u);
	EXPECT_EQ(String(1, Utf32Char(0x3B1)).ToUpper()[0], 0x391u) << "Greek alpha";
	String orig("abc");
	String up = orig.ToUpper();
	EXPECT_TRUE(orig == "abc");
	EXPECT_TRUE(up == "ABC");
}

TEST(CoreStringNumbers, IntegerFields)
{
	Bool err = true;
	EXPECT_EQ(String("  9").ToInt32(&err), 9);
	EXPECT_FALSE(err);
	EXPECT_EQ(String("10 ").ToInt32(&err), 10);
	EXPECT_FALSE(err);
	EXPECT_EQ(String("\t-42\r\n").ToInt32(&err), -42);
	EXPECT_FALSE(err);
	EXPECT_EQ(String("+7").ToInt64(&err), 7);
	EXPECT_FALSE(err);

	EXPECT_EQ(String("").ToInt32(&err), 0);
	EXPECT_TRUE(err);
	EXPECT_EQ(String("   ").ToInt32(&err), 0);
	EXPECT_TRUE(err);
	EXPECT_EQ(String("abc").ToInt32(&err), 0);
	EXPECT_TRUE(err);
	EXPECT_EQ(String("-").ToInt32(&err), 0);
	EXPECT_TRUE(err);
	EXPECT_EQ(String("12abc").ToInt32(&err), 12);
	EXPECT_TRUE(err);
	EXPECT_EQ(String("1 2").ToInt32(&err), 1);
	EXPECT_TRUE(err);
	EXPECT_EQ(String("1.5").ToInt32(&err), 1);
	EXPECT_TRUE(err);
	EXPECT_EQ(String("33").ToInt32(nullptr), 33);
}

TEST(CoreStringNumbers, HexadecimalAndOverflow)
{
	Bool err = true;
	EXPECT_EQ(String("0xFF8000").ToInt32(&err), 0xFF8000);
	EXPECT_FALSE(err);
	EXPECT_EQ(String(" 0Xff ").ToUInt32(&err), 0xFFu);
	EXPECT_FALSE(err);
	EXPECT_EQ(String("-0x10").ToInt64(&err), -16);
	EXPECT_FALSE(err);
	EXPECT_EQ(String("0x").ToInt32(&err), 0) << "no hex digit: the 0 is the number";
	EXPECT_TRUE(err);
	EXPECT_EQ(String("0xG").ToInt32(&err), 0);
	EXPECT_TRUE(err);

	EXPECT_EQ(String("2147483647").ToInt32(&err), std::numeric_limits<Int32>::max());
	EXPECT_FALSE(err);
	EXPECT_EQ(String("-2147483648").ToInt32(&err), std::numeric_limits<Int32>::min());
	EXPECT_FALSE(err);
	EXPECT_EQ(String("2147483648").ToInt32(&err), std::numeric_limits<Int32>::max());
	EXPECT_TRUE(err);
	EXPECT_EQ(String("-2147483649").ToInt32(&err), std::numeric_limits<Int32>::min());
	EXPECT_TRUE(err);
	EXPECT_EQ(String("0xFFFFFFFF").ToUInt32(&err), 0xFFFFFFFFu);
	EXPECT_FALSE(err);
	EXPECT_EQ(String("0x100000000").ToUInt32(&err), 0xFFFFFFFFu);
	EXPECT_TRUE(err);
	EXPECT_EQ(String("99999999999999999999999").ToInt64(&err), std::numeric_limits<Int64>::max());
	EXPECT_TRUE(err);
	EXPECT_EQ(String("18446744073709551615").ToUInt64(&err), std::numeric_limits<UInt64>::max());
	EXPECT_FALSE(err);
	EXPECT_EQ(String("18446744073709551616").ToUInt64(&err), std::numeric_limits<UInt64>::max());
	EXPECT_TRUE(err);
	EXPECT_EQ(String("-5").ToUInt32(&err), 0u) << "negative values clamp to 0 for unsigned";
	EXPECT_TRUE(err);
	EXPECT_EQ(String("-0").ToUInt32(&err), 0u);
	EXPECT_FALSE(err);
}

TEST(CoreStringNumbers, FloatFields)
{
	Bool err = true;
	EXPECT_DOUBLE_EQ(String("1.5e3").ToFloat(&err), 1500.0);
	EXPECT_FALSE(err);
	EXPECT_DOUBLE_EQ(String("-0.75").ToFloat(&err), -0.75);
	EXPECT_FALSE(err);
	EXPECT_DOUBLE_EQ(String("   12.25  ").ToFloat(&err), 12.25);
	EXPECT_FALSE(err);
	EXPECT_DOUBLE_EQ(String("+.5").ToFloat(&err), 0.5);
	EXPECT_FALSE(err);
	EXPECT_DOUBLE_EQ(String("3.").ToFloat(&err), 3.0);
	EXPECT_FALSE(err);
	EXPECT_DOUBLE_EQ(String("2E-2").ToFloat(&err), 0.02);
	EXPECT_FALSE(err);
	EXPECT_DOUBLE_EQ(String("0x1p4").ToFloat(&err), 16.0);
	EXPECT_FALSE(err);
	EXPECT_TRUE(std::isinf(String("inf").ToFloat(&err)));
	EXPECT_FALSE(err);
	EXPECT_TRUE(std::isnan(String("nan").ToFloat(&err)));
	EXPECT_FALSE(err);

	EXPECT_DOUBLE_EQ(String("").ToFloat(&err), 0.0);
	EXPECT_TRUE(err);
	EXPECT_DOUBLE_EQ(String("abc").ToFloat(&err), 0.0);
	EXPECT_TRUE(err);
	EXPECT_DOUBLE_EQ(String("--1").ToFloat(&err), 0.0);
	EXPECT_TRUE(err);
	EXPECT_DOUBLE_EQ(String("1,5").ToFloat(&err), 1.0) << "the decimal point is '.', whatever the locale";
	EXPECT_TRUE(err);
	EXPECT_DOUBLE_EQ(String("2.5x").ToFloat(&err), 2.5);
	EXPECT_TRUE(err);
	EXPECT_DOUBLE_EQ(String("1e999").ToFloat(&err), std::numeric_limits<Float>::max());
	EXPECT_TRUE(err);
	EXPECT_DOUBLE_EQ(String("-1e999").ToFloat(&err), -std::numeric_limits<Float>::max());
	EXPECT_TRUE(err);
	EXPECT_DOUBLE_EQ(String("1e-999").ToFloat(&err), 0.0);
	EXPECT_FALSE(err) << "underflow is a valid tiny number";
	EXPECT_DOUBLE_EQ(String("1.25").ToFloat(nullptr), 1.25);

	std::string longNumber = "1" + std::string(600, '0');
	EXPECT_DOUBLE_EQ(String(longNumber.c_str()).ToFloat(&err), std::numeric_limits<Float>::max());
	EXPECT_TRUE(err) << "600 digits overflow a double";
}

TEST(CoreStringCString, LimitNeverSplitsACharacter)
{
	std::string path(1200, 'a');
	String s(path.c_str());
	char buf[1000];
	std::memset(buf, '#', sizeof buf);
	EXPECT_EQ(s.GetCString(buf, 999, STRINGENCODING::XBIT), 998);
	EXPECT_EQ(buf[998], '\0');
	EXPECT_EQ(buf[999], '#') << "nothing written past the limit";
	EXPECT_EQ(s.GetCStringLen(), 1200);

	// "a" then two-byte characters: a limit of 5 leaves room for 4 bytes, "a" + one é, not half a second.
	String e("a\xC3\xA9\xC3\xA9");
	EXPECT_EQ(e.GetCStringLen(), 5);
	std::memset(buf, '#', sizeof buf);
	EXPECT_EQ(e.GetCString(buf, 5), 3);
	EXPECT_STREQ(buf, "a\xC3\xA9");
	EXPECT_EQ(e.GetCString(buf, 6), 5);
	EXPECT_STREQ(buf, "a\xC3\xA9\xC3\xA9");
	String emoji(1, Utf32Char(0x1F9EA));
	EXPECT_EQ(emoji.GetCString(buf, 4), 0);
	EXPECT_STREQ(buf, "");
	EXPECT_EQ(emoji.GetCString(buf, 5), 4);
	buf[0] = '#';
	EXPECT_EQ(e.GetCString(buf, 1), 0);
	EXPECT_EQ(buf[0], '\0') << "a limit of 1 still terminates";
	buf[0] = '#';
	EXPECT_EQ(e.GetCString(buf, 0), 0);
	EXPECT_EQ(buf[0], '#');
	EXPECT_EQ(e.GetCString(nullptr, 10), 0);
}

TEST(CoreStringCString, XbitRoundTripOfBytes)
{
	// Valid UTF-8, with a trailing carriage return as a DOS line leaves it.
	const char utf8Line[] = "Koffein \xC3\xA9\xE2\x82\xAC\xF0\x9F\xA7\xAA\r";
	String u;
	u.SetCString(utf8Line);
	EXPECT_EQ(u.GetLength(), 12);
	EXPECT_EQ(u[11], Utf32Char('\r'));
	EXPECT_EQ(Bytes(u), std::string(utf8Line));

	// Not valid UTF-8: every byte becomes the Latin-1 code point of the same value.
	const std::string raw("caf\xE9 \x80\xFF\xC3\r", 9);
	String l;
	l.SetCString(raw.c_str());
	ASSERT_EQ(l.GetLength(), Int(raw.size()));
	for (size_t i = 0; i < raw.size(); ++i)
		EXPECT_EQ(l[Int(i)], Utf32Char(static_cast<unsigned char>(raw[i]))) << i;
	String back;
	back.SetCString(Bytes(l).c_str());
	EXPECT_TRUE(back == l) << "the text survives the trip through its 8-bit form";

	// Overlong forms, surrogates and truncated sequences are not UTF-8.
	for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80"})
	{
		String b(bad, STRINGENCODING::XBIT);
		EXPECT_EQ(b.GetLength(), Int(std::strlen(bad))) << bad;
		EXPECT_EQ(b[0], Utf32Char(static_cast<unsigned char>(bad[0])));
	}
}

TEST(CoreStringCString, CountsEncodingsAndHelpers)
{
	String s;
	s.SetCString("abcdef", 3);
	EXPECT_TRUE(s == "abc");
	s.SetCString("a\0b", 3);
	EXPECT_EQ(s.GetLength(), 3) << "an explicit count takes exactly that many bytes";
	s.SetCString(nullptr);
	EXPECT_TRUE(s.IsEmpty());

	String seven("\xC3\xA9t\xC3\xA9", STRINGENCODING::UTF8);
	EXPECT_EQ(Bytes(seven, STRINGENCODING::BIT7), "?t?");
	EXPECT_EQ(seven.GetCStringLen(STRINGENCODING::BIT7), 3);
	String fromSeven("\xE9x", STRINGENCODING::BIT7);
	EXPECT_TRUE(fromSeven == "?x");

	EXPECT_TRUE(String(3, Utf32Char('-')) == "---");
	EXPECT_TRUE(String(0, Utf32Char('-')).IsEmpty());
	EXPECT_TRUE(String(-4, Utf32Char('-')).IsEmpty());

	EXPECT_EQ(vh::ToUtf8(vh::FromUtf8("N\xC3\xA4h")), "N\xC3\xA4h");
	EXPECT_EQ(vh::FromUtf8("N\xC3\xA4h").GetLength(), 3);
	EXPECT_EQ(vh::ToUtf8(String(1, Utf32Char(0xD800))), "\xEF\xBF\xBD") << "a lone surrogate is written as U+FFFD";
	EXPECT_EQ(CodePoints(vh::FromUtf8(std::string("a\0b", 3))), std::u32string(U"a\0b", 3));
}
