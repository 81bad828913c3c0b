#include "sdfloader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <limits>

namespace
{
const Int PATH_BUFFER_SIZE = 1000;
const Int LINE_BUFFER_SIZE = 10000;
// The most characters a line holds; the rest of a longer line is not read.
const Int MAX_LINE_CHARACTERS = LINE_BUFFER_SIZE - 2;
// Atom counts have three columns, so an atom block has at most 999 lines.
const Int32 MAX_ATOM_LINES = 999;
// A V3000 line with its continuations is cut here, so that a file of endless continuations
// cannot grow one line without bound.
const Int MAX_V30_LINE = 1000000;

// "M  V30", then a blank or a tab before the line's text; any letter case.
const char* const V30_PREFIX = "M  V30";
const Int V30_PREFIX_LENGTH = 6;

// Text of the 1-based columns first..last; a shorter line gives what exists. The range is cut to
// the line here because SubStr returns nothing at all for a range that runs past the end.
String Columns(const String& line, Int first, Int last)
{
	const Int start = first - 1;
	const Int length = line.GetLength();
	if (start >= length)
		return String();
	const Int count = last - start < length - start ? last - start : length - start;
	return line.SubStr(start, count);
}

String LineString(const char* buffer, Int count = -1)
{
	String s;
	s.SetCString(buffer, count, STRINGENCODING::XBIT);
	return s;
}

// The input's lines, read a block at a time and split in place, each line ended by a NUL where
// its line feed was. A line holds at most MAX_LINE_CHARACTERS characters: a longer one is given
// cut there and ends the input; a carriage return before the end of a line is dropped, a NUL
// byte ends the line's text, and the last line need not end in a line feed.
class TextLines
{
public:
	explicit TextLines(std::istream& stream) : _stream(stream) {}
	~TextLines() { maxon::DefaultAllocator::Free(_bytes); }
	TextLines(const TextLines&) = delete;
	TextLines& operator=(const TextLines&) = delete;

	// False when there is no memory for the block. The block is not cleared: only what was read
	// into it is ever looked at.
	Bool Init()
	{
		_bytes = static_cast<Char*>(maxon::DefaultAllocator::Alloc(BLOCK_SIZE + 1));
		return _bytes != nullptr;
	}

	// The next line's text and length; false, with the text empty, once the input has ended. A
	// line cut at the length limit ends the input, so it is given with false as well.
	Bool Next(const char** text, Int* length)
	{
		// Lines of a block are mostly as long as the one before: when the line feed is where the
		// last one was and only plain ASCII text comes before it, the line is found without a search.
		// The line's ends are written before anything else: a store through char* may change any
		// value, so what is stored after it stays known to the code that follows.
		const Int begin = _begin;
		char* line = _bytes + begin;
		const Int guess = _lastFeed;
		if (!_ended && begin + guess < _filled && line[guess] == '\n' && PlainText(line, guess))
		{
			const Int size = guess > 0 && line[guess - 1] == '\r' ? guess - 1 : guess;
			line[guess] = '\0';
			line[size] = '\0';
			_begin = begin + guess + 1;
			_ascii = true;
			*text = line;
			*length = size;
			return true;
		}
		return Search(text, length);
	}

	// True when the line Next gave last holds only ASCII bytes.
	Bool Ascii() const { return _ascii; }

private:
	// Next for any line: searches for the line's end, reading more of the input as needed.
	Bool Search(const char** text, Int* length)
	{
		*text = "";
		*length = 0;
		if (_ended)
			return false;
		char* line = _bytes + _begin;
		Int size = 0;
		Int stop = 0;
		Bool cut = false;
		while (true)
		{
			line = _bytes + _begin;
			const Int available = _filled - _begin;
			const Int searched = available < MAX_LINE_CHARACTERS + 1 ? available : MAX_LINE_CHARACTERS + 1;
			stop = FeedOrNul(line, searched);
			Int feed = stop;
			if (stop < searched && line[stop] == '\0')
			{
				const void* found = std::memchr(line + stop, '\n', size_t(searched - stop));
				feed = found ? static_cast<const char*>(found) - line : searched;
			}
			if (feed < searched)
			{
				size = feed;
				_lastFeed = feed;
				_begin += size + 1;
				break;
			}
			if (available > MAX_LINE_CHARACTERS)
			{
				size = MAX_LINE_CHARACTERS;
				cut = true;
				break;
			}
			if (_streamEnded || !Fill())
			{
				// The last line, without a line feed; an empty rest is no line at all.
				size = available;
				_begin = _filled;
				_ended = true;
				if (size == 0)
					return false;
				break;
			}
		}
		if (cut)
			_ended = true;
		line[size] = '\0';
		// No line feed comes before size, so a stop before it is the line's first NUL.
		if (stop < size)
			size = stop;
		if (size > 0 && line[size - 1] == '\r')
			line[--size] = '\0';
		*text = line;
		*length = size;
		_ascii = FirstHighByte(line, size) == size;
		return !cut;
	}

	// Index of the first line feed or NUL among the size bytes of text; size when there is none.
	static Int FeedOrNul(const char* text, Int size)
	{
		// Eight bytes a step: (v - 0x01..) & ~v & 0x80.. flags a zero byte, and the lowest flag is
		// always the first zero byte.
		const UInt64 ones = 0x0101010101010101ull;
		const UInt64 highs = 0x8080808080808080ull;
		const UInt64 feeds = ones * UInt64('\n');
		Int i = 0;
		for (; i + 8 <= size; i += 8)
		{
			UInt64 word;
			std::memcpy(&word, text + i, 8);
			const UInt64 feed = word ^ feeds;
			if ((((word - ones) & ~word) | ((feed - ones) & ~feed)) & highs)
				break;
		}
		for (; i < size; ++i)
		{
			if (text[i] == '\n' || text[i] == '\0')
				return i;
		}
		return size;
	}

	// True when each of the size bytes of text is ASCII and none is below 0x0B, which a line feed
	// and a NUL are. Eight bytes a step: an ASCII byte plus 0x75 has its top bit set exactly when
	// the byte is 0x0B or more, and never carries into the next byte (a byte that is not ASCII may,
	// but then the text is refused anyway). The last step reads the last eight bytes, overlapping
	// the step before, rather than a byte at a time.
	static Bool PlainText(const char* text, Int size)
	{
		const UInt64 highs = 0x8080808080808080ull;
		const UInt64 add = 0x7575757575757575ull;
		if (size < 8)
		{
			for (Int i = 0; i < size; ++i)
			{
				const unsigned char c = static_cast<unsigned char>(text[i]);
				if (c < 0x0B || c >= 0x80)
					return false;
			}
			return true;
		}
		UInt64 above = highs;
		UInt64 any = 0;
		UInt64 word = 0;
		for (Int i = 0; i + 8 <= size; i += 8)
		{
			std::memcpy(&word, text + i, 8);
			above &= word + add;
			any |= word;
		}
		std::memcpy(&word, text + size - 8, 8);
		above &= word + add;
		any |= word;
		return (above & highs) == highs && (any & highs) == 0;
	}

	// Index of the first byte of text with its top bit set; size when there is none.
	static Int FirstHighByte(const char* text, Int size)
	{
		Int i = 0;
		for (; i + 8 <= size; i += 8)
		{
			UInt64 word;
			std::memcpy(&word, text + i, 8);
			if (word & 0x8080808080808080ull)
				break;
		}
		for (; i < size; ++i)
		{
			if (static_cast<unsigned char>(text[i]) & 0x80)
				return i;
		}
		return size;
	}

	// Moves what is left to the start of the block and reads behind it; false when nothing more
	// came.
	Bool Fill()
	{
		char* first = _bytes;
		const Int left = _filled - _begin;
		if (left > 0 && _begin > 0)
			std::memmove(first, first + _begin, size_t(left));
		_begin = 0;
		_filled = left;
		_stream.read(first + _filled, std::streamsize(BLOCK_SIZE - _filled));
		const Int count = Int(_stream.gcount());
		_filled += count;
		_streamEnded = !_stream.good();
		return count > 0;
	}

	// Large enough for the longest line and its line feed, and for most files in one read; small
	// enough to stay a plain heap block (the C library maps 128 KiB and more in pages of their own).
	static const Int BLOCK_SIZE = 120 * 1024;
	std::istream& _stream;
	Char* _bytes = nullptr;
	Int _begin = 0;
	Int _filled = 0;
	Bool _streamEnded = false;
	Bool _ended = false;
	Bool _ascii = true;
	// Where the line feed of the last line found by a search was, from the line's start.
	Int _lastFeed = 0;
};

// A coordinate. Text that gives no finite number (nan, inf, a value beyond the float range) is a
// failed conversion and reads as 0.0, like any other text that holds no number.
Float Coordinate(const String& text)
{
	Bool error = false;
	const Float value = text.ToFloat(&error);
	if (!std::isfinite(value) || (error && std::fabs(value) == std::numeric_limits<Float>::max()))
		return 0.0;
	return value;
}

Bool IsBlankByte(char c) { return static_cast<unsigned char>(c) <= 0x20; }
Bool IsDigitByte(char c) { return c >= '0' && c <= '9'; }

// The plain decimal forms of a V2000 field, "  -1.2345" and "  12": blanks, an optional minus
// (coordinates only), at most 15 digits with an optional fraction, blanks. For these the host's
// conversion gives exactly what is computed here, always a finite number (a 15-digit mantissa and a power of ten up to
// 1e15 are exact doubles, so one division rounds as a correct conversion does); every other
// text goes through the host's conversion.
Bool PlainDecimal(const char* text, size_t size, Bool allowFraction, Bool* negative, Int64* mantissa, Int32* fractionDigits)
{
	size_t i = 0;
	while (i < size && IsBlankByte(text[i]))
		++i;
	*negative = allowFraction && i < size && text[i] == '-';
	if (*negative)
		++i;
	Int64 m = 0;
	Int32 digits = 0, fraction = 0;
	for (; i < size && IsDigitByte(text[i]); ++i, ++digits)
		m = m * 10 + (text[i] - '0');
	if (digits == 0)
		return false;
	if (allowFraction && i < size && text[i] == '.')
	{
		for (++i; i < size && IsDigitByte(text[i]); ++i, ++digits, ++fraction)
			m = m * 10 + (text[i] - '0');
	}
	while (i < size && IsBlankByte(text[i]))
		++i;
	if (i != size || digits > 15)
		return false;
	*mantissa = m;
	*fractionDigits = fraction;
	return true;
}

// The form nearly every V2000 coordinate has, ten columns as "  -12.3456": blanks, an optional
// minus and one to four digits before a point in the sixth column, four digits after it. Gives
// what PlainDecimal gives for it; false for any other text, and for blanks other than the space
// character, which PlainDecimal then reads. The columns are tested all at once, a bit per byte,
// because how many blanks and digits a field has changes from line to line and a byte-by-byte
// loop mispredicts on it.
inline Bool FixedCoordinate(const char* text, Float* value)
{
	const UInt64 ones = 0x0101010101010101ull;
	const UInt64 highs = 0x8080808080808080ull;
	UInt64 first = 0;
	std::memcpy(&first, text, 8);
	UInt32 last = 0;
	std::memcpy(&last, text + 6, 4);
	// Columns 2-5 and 7-10: the eight places the digits of "1234.5678" are in, the first the
	// highest, as one number's digits in memory order.
	const UInt64 places = ((first >> 8) & 0xFFFFFFFFull) | (UInt64(last) << 32);
	if (text[5] != '.' || ((first | places) & highs) != 0)
		return false;
	// An ASCII byte xor '0' is its digit's value, and below ten exactly for a digit; plus 0x76 it
	// then leaves its top bit clear, without carrying into the next byte.
	const UInt64 values = places ^ (ones * '0');
	const UInt64 digits = ~(values + ones * 0x76) & highs;
	// A digit in column 5 and in columns 7-10.
	if ((digits & 0x8080808080000000ull) != 0x8080808080000000ull)
		return false;
	// Columns 1-5: digits run to column 5 and spaces fill the columns in front of them, the last
	// of which may be a minus instead.
	const UInt64 fiveHighs = 0x8080808080ull;
	const UInt64 head = first & 0xFFFFFFFFFFull;
	const UInt64 headDigits = (digits & 0xFFFFFFFFull) << 8;
	const UInt64 headMask = (headDigits >> 7) * 0xFF;
	const UInt64 rest = head & ~headMask;
	const UInt64 spaces = 0x2020202020ull & ~headMask;
	const UInt64 minus = spaces + ((headDigits & ~(headDigits << 8)) >> 15) * UInt64('-' - ' ');
	const Bool negative = rest == minus;
	if ((rest != spaces && !negative) || ((headDigits << 8) & ~headDigits & fiveHighs) != 0)
		return false;
	// The eight digits' values, those in front of the first digit zero; then pairs, fours and the
	// whole, each step a multiply that adds neighbours.
	UInt64 number = values & ((digits >> 7) * 0xFF);
	number = number * 10 + (number >> 8);
	number = ((number & 0x000000FF000000FFull) * (100 + (1000000ull << 32)) + ((number >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32))) >> 32;
	const Float magnitude = Float(Int64(number)) / 1e4;
	*value = negative ? -magnitude : magnitude;
	return true;
}

// A three-column field right-aligned, "  1" to "999", as nearly every one is: what PlainDecimal
// gives for it; false for any other text. Without branches on the field's width, which changes
// from line to line.
inline Bool ThreeColumnNumber(const char* text, Int32* value)
{
	const UInt32 d0 = UInt32(text[0] - '0');
	const UInt32 d1 = UInt32(text[1] - '0');
	const UInt32 d2 = UInt32(text[2] - '0');
	const Bool lead = d0 <= 9;
	const Bool middle = d1 <= 9;
	const Bool blankLead = IsBlankByte(text[0]);
	const Bool blankMiddle = IsBlankByte(text[1]);
	*value = Int32((lead && middle ? d0 * 100 : 0) + (middle ? d1 * 10 : 0) + d2);
	return d2 <= 9 && (middle ? lead || blankLead : blankMiddle && blankLead);
}

// One line as the reader's columns see it. An ASCII line's columns are its bytes; any other line
// goes through a host String, whose decoding decides what a column is.
class Line
{
public:
	// ascii says whether the line's bytes are all ASCII; scratch holds the text of a line that is
	// not, and ASCII lines, nearly all of them, never touch it.
	Line(const char* text, Int size, Bool ascii, String& scratch) : _text(text), _size(size_t(size)), _ascii(ascii), _string(scratch)
	{
		if (!_ascii)
			_string = LineString(text, size);
	}

	// The bytes of the 1-based columns first..last, cut to the line; false for a non-ASCII line.
	Bool Bytes(Int first, Int last, const char** text, size_t* size) const
	{
		if (!_ascii)
			return false;
		const size_t begin = std::min(_size, size_t(first - 1));
		const size_t end = std::min(_size, size_t(last));
		*text = _text + begin;
		*size = end > begin ? end - begin : 0;
		return true;
	}

	String Text(Int first, Int last) const
	{
		const char* text = nullptr;
		size_t size = 0;
		if (!Bytes(first, last, &text, &size))
			return Columns(_string, first, last);
		String s;
		s.SetCString(text, Int(size), STRINGENCODING::XBIT);
		return s;
	}

	// A coordinate (see Coordinate).
	Float ToCoordinate(Int first, Int last) const
	{
		Float value = 0.0;
		if (_ascii && _size >= size_t(last) && last - first == 9 && FixedCoordinate(_text + first - 1, &value))
			return value;
		return AnyCoordinate(first, last);
	}

	Int32 ToInt32(Int first, Int last) const
	{
		Int32 value = 0;
		if (_ascii && _size >= size_t(last) && last - first == 2 && ThreeColumnNumber(_text + first - 1, &value))
			return value;
		return AnyInt32(first, last);
	}

private:
	// A coordinate in any form the fast test above does not take.
	Float AnyCoordinate(Int first, Int last) const
	{
		static const Float powers[16] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
		const char* text = nullptr;
		size_t size = 0;
		Bool negative = false;
		Int64 mantissa = 0;
		Int32 fraction = 0;
		if (Bytes(first, last, &text, &size) && PlainDecimal(text, size, true, &negative, &mantissa, &fraction))
		{
			const Float value = Float(mantissa) / powers[fraction];
			return negative ? -value : value;
		}
		return Coordinate(Text(first, last));
	}

	Int32 AnyInt32(Int first, Int last) const
	{
		const char* text = nullptr;
		size_t size = 0;
		Bool negative = false;
		Int64 mantissa = 0;
		Int32 fraction = 0;
		Bool error = false;
		if (!Bytes(first, last, &text, &size))
			return Text(first, last).ToInt32(&error);
		if (PlainDecimal(text, size, false, &negative, &mantissa, &fraction) && mantissa <= 0x7FFFFFFF)
			return Int32(mantissa);
		return Text(first, last).ToInt32(&error);
	}

	const char* _text;
	size_t _size;
	Bool _ascii;
	String& _string;
};

// Element index of an atom line's symbol columns; the element table does not change during a
// load, so each distinct column text is looked up once. False when the lookup ran out of memory.
class SymbolLookup
{
public:
	explicit SymbolLookup(const maxon::BaseArray<ElementRecord>& elements) : _elements(elements) {}

	Bool Find(const Line& line, Int first, Int last, Int32* index)
	{
		const char* text = nullptr;
		size_t size = 0;
		Key key = 0;
		const Bool cacheable = line.Bytes(first, last, &text, &size) && size <= 3;
		if (cacheable)
		{
			// Built a byte at a time: a copy into the key's bytes would stall the load that follows.
			const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
			key = UInt32(size) << 24;
			if (size == 3)
			{
				key |= UInt32(bytes[0]) | UInt32(bytes[1]) << 8 | UInt32(bytes[2]) << 16;
			}
			else
			{
				for (size_t i = 0; i < size; ++i)
					key |= UInt32(bytes[i]) << (8 * i);
			}
			const Seen& seen = _seen[Slot(key)];
			if (seen.key == (key | SEEN))
			{
				*index = seen.index;
				return true;
			}
		}
		String symbol = line.Text(first, last);
		iferr (symbol.Trim())
			return false;
		*index = FindElement(symbol, _elements);
		// A text that shares its slot with another takes it over; the other is looked up again when
		// it comes back.
		if (cacheable)
			_seen[Slot(key)] = Seen{key | SEEN, *index};
		return true;
	}

private:
	// Up to three column bytes and their count in the high byte.
	using Key = UInt32;
	// Marks a slot that holds a key, so that an empty slot matches none.
	static constexpr Key SEEN = 0x80000000u;
	struct Seen
	{
		Key key;
		Int32 index;
	};
	// One slot per text, chosen by a multiplicative hash: a search through the texts seen so far
	// would end at a different place for each element and mispredict.
	static constexpr Int SLOT_BITS = 6;
	static Int Slot(Key key) { return Int((key * 0x9E3779B1u) >> (32 - SLOT_BITS)); }
	const maxon::BaseArray<ElementRecord>& _elements;
	Seen _seen[Int(1) << SLOT_BITS] = {};
};

Bool IsSeparator(Char c)
{
	return c == ' ' || c == '\t';
}

// Compares the start of line with prefix, ignoring the letter case of ASCII letters.
Bool StartsWith(const char* line, const char* prefix)
{
	for (; *prefix; ++line, ++prefix)
	{
		const char a = (*line >= 'a' && *line <= 'z') ? char(*line - 'a' + 'A') : *line;
		if (a != *prefix)
			return false;
	}
	return true;
}

// The end of a record: its properties block ends with "M  END", and "$$$$" separates records.
Bool EndsRecord(const char* line)
{
	// Atom and bond lines start with a blank or a digit: one look at the first byte sets them aside.
	if (line[0] != 'M' && line[0] != 'm' && line[0] != '$')
		return false;
	return StartsWith(line, "M  END") || IsRecordSeparator(line);
}

// The text of a V3000 line after its prefix and separator; nullptr for any other line.
const char* V30Text(const char* line)
{
	if (!StartsWith(line, V30_PREFIX))
		return nullptr;
	const char* text = line + V30_PREFIX_LENGTH;
	if (*text == '\0')
		return text;
	return IsSeparator(*text) ? text + 1 : nullptr;
}

// The lines of one record's blocks: the record's end reads as the end of the input, and one line
// can be given back to be read again.
class RecordLines
{
public:
	explicit RecordLines(TextLines& input) : _input(input) {}

	// The next line; false at the end of the record or input.
	Bool Next()
	{
		if (_ended)
			return false;
		if (_again)
		{
			_again = false;
			return true;
		}
		const Bool read = _input.Next(&_line, &_length);
		_ended = !(read || _line[0] != '\0') || EndsRecord(_line);
		return !_ended;
	}

	void GiveBack() { _again = !_ended; }

	const char* Text() const { return _line; }
	Int Length() const { return _length; }
	Bool Ascii() const { return _input.Ascii(); }

private:
	TextLines& _input;
	const char* _line = "";
	Int _length = 0;
	Bool _ended = false;
	Bool _again = false;
};

// False when the array cannot grow; the atom is then left out.
Bool Store(maxon::BaseArray<AtomRecord>& atoms, const AtomRecord& atom)
{
	iferr (atoms.Append(atom))
		return false;
	return true;
}

// ---- V3000 ----------------------------------------------------------------------------------

// One logical "M  V30" line: the text after the prefix, with continuation lines (a line that
// ends in "-", blanks after it allowed, goes on in the next "M  V30" line) joined.
class V30Line
{
public:
	// Reads the next logical line; false at the end of the record or of the input. Lines of the
	// record that are not "M  V30" lines are passed over; a record that ends inside a continued
	// line ends there too.
	Bool Read(RecordLines& lines)
	{
		_text.Flush();
		while (lines.Next())
		{
			const char* text = V30Text(lines.Text());
			if (!text)
				continue;
			Bool more = Append(text);
			while (more && lines.Next())
			{
				text = V30Text(lines.Text());
				if (!text)
				{
					lines.GiveBack();
					break;
				}
				more = Append(text);
			}
			return true;
		}
		return false;
	}

	// The fields of the line: words separated by blanks or tabs; a word in double quotes may hold
	// blanks (a doubled quote stands for one quote character). At most maxFields are taken.
	Int Fields(String* fields, Int maxFields) const
	{
		const Int length = _text.GetCount();
		Int count = 0;
		Int i = 0;
		while (count < maxFields)
		{
			while (i < length && IsSeparator(_text[i]))
				++i;
			if (i >= length)
				break;
			char word[LINE_BUFFER_SIZE];
			Int wordLength = 0;
			if (_text[i] == '"')
			{
				i = QuotedWord(i + 1, word, &wordLength);
			}
			else
			{
				for (; i < length && !IsSeparator(_text[i]); ++i)
				{
					if (wordLength < LINE_BUFFER_SIZE - 1)
						word[wordLength++] = _text[i];
				}
			}
			fields[count++] = LineString(word, wordLength);
		}
		return count;
	}

private:
	// Copies the quoted word that starts at i (after its opening quote); returns the index after it.
	Int QuotedWord(Int i, char* word, Int* wordLength) const
	{
		const Int length = _text.GetCount();
		for (; i < length; ++i)
		{
			if (_text[i] == '"')
			{
				if (i + 1 >= length || _text[i + 1] != '"')
					return i + 1;
				++i;
			}
			if (*wordLength < LINE_BUFFER_SIZE - 1)
				word[(*wordLength)++] = _text[i];
		}
		return i;
	}

	// Appends one physical line's text; true when it ends in the continuation mark.
	Bool Append(const char* text)
	{
		Int length = Int(std::strlen(text));
		Int last = length;
		while (last > 0 && IsSeparator(text[last - 1]))
			--last;
		const Bool continues = last > 0 && text[last - 1] == '-';
		if (continues)
			length = last - 1;
		for (Int i = 0; i < length && _text.GetCount() < MAX_V30_LINE; ++i)
		{
			iferr (_text.Append(text[i]))
				break;
		}
		return continues;
	}

	maxon::BaseArray<Char> _text;
};

// An atom number of the atom block and the number its atom got among the stored atoms (0 when
// the atom was left out); line keeps the first of equal numbers first after sorting.
struct AtomNumber
{
	Int32 number;
	Int32 line;
	Int32 stored;
};

Bool ByNumber(const AtomNumber& a, const AtomNumber& b)
{
	return a.number != b.number ? a.number < b.number : a.line < b.line;
}

// An atom number or a bond's atom reference: a positive whole number, else 0, which names no atom.
Int32 AtomReference(const String& field)
{
	Bool error = false;
	const Int32 value = field.ToInt32(&error);
	return (error || value <= 0) ? 0 : value;
}

Bool IsKeyword(const String& field, const char* keyword)
{
	return field.ToUpper() == String(keyword);
}

// The connection table of a V3000 record: its first atom block and its first bond block. The
// blocks are the data; the COUNTS line is not needed to read them, and every other block is
// passed over.
class V3000Table
{
public:
	V3000Table(const maxon::BaseArray<ElementRecord>& elements, maxon::BaseArray<AtomRecord>& atoms, maxon::BaseArray<BondRecord>& bonds)
		: _elements(elements), _atoms(atoms), _bonds(bonds)
	{
	}

	void Read(RecordLines& lines)
	{
		V30Line v30;
		while (v30.Read(lines))
		{
			_count = v30.Fields(_fields, FIELD_COUNT);
			if (_count > 0 && !Dispatch())
				break;
		}
	}

private:
	// Where the table's reading is: between blocks, in the atom or bond block, or in a block passed
	// over.
	static const Int32 BLOCK_NONE = 0;
	static const Int32 BLOCK_ATOM = 1;
	static const Int32 BLOCK_BOND = 2;
	static const Int32 BLOCK_OTHER = 3;
	static const Int FIELD_COUNT = 6;

	// Acts on one logical line; false at the end of the table.
	Bool Dispatch()
	{
		const Bool begins = _count > 1 && IsKeyword(_fields[0], "BEGIN");
		const Bool ends = _count > 1 && IsKeyword(_fields[0], "END");
		if (_block == BLOCK_OTHER)
		{
			_otherDepth += begins ? 1 : (ends ? -1 : 0);
			if (_otherDepth == 0)
				_block = BLOCK_NONE;
			return true;
		}
		if (_block == BLOCK_NONE)
			return Open(begins, ends);
		if (ends)
			Close();
		else if (_block == BLOCK_ATOM)
			AtomLine();
		else
			BondLine();
		return true;
	}

	// A line between blocks: a block begins, or the table ends. A table need not say it begins.
	Bool Open(Bool begins, Bool ends)
	{
		if (ends && IsKeyword(_fields[1], "CTAB"))
			return false;
		if (!begins || IsKeyword(_fields[1], "CTAB"))
			return true;
		if (IsKeyword(_fields[1], "ATOM") && !_atomsDone)
		{
			_block = BLOCK_ATOM;
		}
		else if (IsKeyword(_fields[1], "BOND") && !_bondsDone)
		{
			_block = BLOCK_BOND;
			std::sort(_numbers.GetFirst(), _numbers.GetFirst() + _numbers.GetCount(), ByNumber);
		}
		else
		{
			_block = BLOCK_OTHER;
			_otherDepth = 1;
		}
		return true;
	}

	void Close()
	{
		_atomsDone = _atomsDone || _block == BLOCK_ATOM;
		_bondsDone = _bondsDone || _block == BLOCK_BOND;
		_block = BLOCK_NONE;
	}

	// index type x y z aamap [KEY=VALUE ...]
	void AtomLine()
	{
		AtomNumber number{AtomReference(_fields[0]), Int32(_numbers.GetCount()), 0};
		if (_count >= 5)
		{
			const Int32 elementIndex = FindElement(_fields[1], _elements);
			const Vector position(Coordinate(_fields[2]), Coordinate(_fields[3]), Coordinate(_fields[4]));
			if (elementIndex >= 0 && Store(_atoms, AtomRecord{elementIndex, position}))
				number.stored = Int32(_atoms.GetCount());
		}
		iferr (_numbers.Append(number))
			return;
	}

	// index type atom1 atom2 [KEY=VALUE ...]
	void BondLine()
	{
		if (_count < 4)
			return;
		Bool error = false;
		const BondRecord bond{StoredAtom(_fields[2]), StoredAtom(_fields[3]), _fields[1].ToInt32(&error)};
		if (bond.firstAtom == 0 || bond.secondAtom == 0)
			return;
		iferr (_bonds.Append(bond))
			return;
	}

	// Stored number of the atom a bond names; 0 when it names no atom of the block or one that was
	// left out.
	Int32 StoredAtom(const String& field) const
	{
		const AtomNumber key{AtomReference(field), 0, 0};
		if (key.number == 0)
			return 0;
		const AtomNumber* first = _numbers.GetFirst();
		const AtomNumber* last = first + _numbers.GetCount();
		const AtomNumber* found = std::lower_bound(first, last, key, ByNumber);
		return (found != last && found->number == key.number) ? found->stored : 0;
	}

	const maxon::BaseArray<ElementRecord>& _elements;
	maxon::BaseArray<AtomRecord>& _atoms;
	maxon::BaseArray<BondRecord>& _bonds;
	maxon::BaseArray<AtomNumber> _numbers;
	String _fields[FIELD_COUNT];
	Int _count = 0;
	Int32 _block = BLOCK_NONE;
	Int _otherDepth = 0;
	Bool _atomsDone = false;
	Bool _bondsDone = false;
};

// ---- V2000 ----------------------------------------------------------------------------------

// What a counts line says: its atom and bond counts (columns 1-3 and 4-6), whether it is tagged
// V3000 (in any letter case), and whether it holds six characters, blanks around them not counted.
struct Counts
{
	Int32 atoms = 0;
	Int32 bonds = 0;
	Bool v3000 = false;
	Bool filled = false;
};

// False when memory ran out. All of it is taken before the next line is read, which may move the
// line's text.
Bool ReadCounts(const char* text, Int length, Bool ascii, Counts* counts)
{
	String scratch;
	const Line line(text, length, ascii, scratch);
	const String whole = LineString(text, length);
	counts->atoms = line.ToInt32(1, 3);
	counts->bonds = line.ToInt32(4, 6);
	String trimmed = whole;
	iferr (trimmed.Trim())
		return false;
	counts->filled = trimmed.GetLength() >= 6;
	Int32 tagPosition = 0;
	counts->v3000 = whole.ToUpper().FindFirst("V3000"_s, &tagPosition);
	return true;
}

void ReadV2000(RecordLines& lines, const Counts& counts, const maxon::BaseArray<ElementRecord>& elements, maxon::BaseArray<AtomRecord>& atoms,
	maxon::BaseArray<BondRecord>& bonds)
{
	Int32 atomCount = counts.atoms;
	const Int32 bondCount = counts.bonds;
	if (atomCount > MAX_ATOM_LINES)
		atomCount = MAX_ATOM_LINES;
	SymbolLookup lookup(elements);

	// Number each atom line maps to among the stored atoms, 0 when its atom was left out,
	// so that bonds keep naming the right atoms.
	Int32 storedNumber[MAX_ATOM_LINES + 1] = {};
	Int32 atomLines = 0;
	String scratch;
	while (atomLines < atomCount && lines.Next())
	{
		const Int32 i = ++atomLines;
		const Line atomLine(lines.Text(), lines.Length(), lines.Ascii(), scratch);
		Vector position(atomLine.ToCoordinate(1, 10), atomLine.ToCoordinate(11, 20), atomLine.ToCoordinate(21, 30));
		Int32 elementIndex = -1;
		if (!lookup.Find(atomLine, 31, 33, &elementIndex) || elementIndex < 0)
			continue;
		iferr (atoms.Append(AtomRecord{elementIndex, position}))
			continue;
		storedNumber[i] = Int32(atoms.GetCount());
	}

	// A block cut short by the end of the record or of the file ends there: no bonds are made of
	// missing lines.
	for (Int32 i = 0; i < bondCount && lines.Next(); ++i)
	{
		const Line bondLine(lines.Text(), lines.Length(), lines.Ascii(), scratch);
		Bool dropped = false;
		// Numbers that name no atom line at all stay as read, for the builder to skip.
		auto stored = [&](Int32 atom) -> Int32 {
			if (atom < 1 || atom > atomCount)
				return atom;
			dropped = dropped || storedNumber[atom] == 0;
			return storedNumber[atom];
		};
		const Int32 first = stored(bondLine.ToInt32(1, 3));
		const Int32 second = stored(bondLine.ToInt32(4, 6));
		const Int32 order = bondLine.ToInt32(7, 9);
		if (dropped)
			continue;
		iferr (bonds.Append(BondRecord{first, second, order}))
			continue;
	}
}

// A counts line tagged V3000 leads a V3000 table when the record's next line starts as a V3000
// line does; otherwise its atom and bond lines are read as V2000 lines.
Bool LeadsV3000Table(const Counts& counts, RecordLines& lines)
{
	if (!counts.v3000)
		return false;
	if (!lines.Next())
		return false;
	lines.GiveBack();
	return StartsWith(lines.Text(), V30_PREFIX);
}
} // namespace

Bool SDFLoader::ReadConnectionTable(std::istream& stream, const maxon::BaseArray<ElementRecord>& elements, maxon::BaseArray<AtomRecord>& atoms,
	maxon::BaseArray<BondRecord>& bonds, String* name)
{
	atoms.Flush();
	bonds.Flush();
	TextLines input(stream);
	if (!input.Init())
		return false;
	const char* line = nullptr;
	Int length = 0;

	// Header: the molecule's name, then the program line and the comment line.
	input.Next(&line, &length);
	if (name)
		*name = LineString(line, length);
	input.Next(&line, &length);
	input.Next(&line, &length);

	input.Next(&line, &length);
	Counts counts;
	if (!ReadCounts(line, length, input.Ascii(), &counts))
		return false;

	RecordLines lines(input);
	if (LeadsV3000Table(counts, lines))
	{
		V3000Table table(elements, atoms, bonds);
		table.Read(lines);
	}
	else if (counts.filled)
	{
		ReadV2000(lines, counts, elements, atoms, bonds);
	}
	return true;
}

Bool SDFLoader::LoadFile(BaseList2D* node, const Filename& fileName, const maxon::BaseArray<ElementRecord>& elements, maxon::BaseArray<AtomRecord>& atoms,
	maxon::BaseArray<BondRecord>& bonds)
{
	atoms.Flush();
	bonds.Flush();

	if (!GeFExist(fileName))
	{
		MessageDialog("The .sdf file specified does not exist."_s);
		return false;
	}

	// A path longer than the buffer would open a different, truncated path.
	String path = fileName.GetString();
	char pathBuffer[PATH_BUFFER_SIZE];
	if (path.GetCStringLen(STRINGENCODING::XBIT) > PATH_BUFFER_SIZE - 1)
	{
		MessageDialog("Failed to open the .sdf file."_s);
		return false;
	}
	path.GetCString(pathBuffer, PATH_BUFFER_SIZE, STRINGENCODING::XBIT);

	std::ifstream file(pathBuffer, std::ios::in);
	if (file.fail())
	{
		MessageDialog("Failed to open the .sdf file."_s);
		return false;
	}

	String name;
	if (!ReadConnectionTable(file, elements, atoms, bonds, &name))
	{
		MessageDialog("Not enough memory to read the .sdf file."_s);
		return false;
	}
	if (!name.IsEmpty() && node)
		node->SetName(name);
	file.close();
	return true;
}
