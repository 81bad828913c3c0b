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
// Atom counts have three columns, so an atom block has at most 999 lines.
const Int32 MAX_ATOM_LINES = 999;
// A V3000 line with its continuations is cut here, so that a file of endless continuations
// cannot grow one line without bound.
const Int MAX_V30_LINE = 1000000;

const char* const V30_PREFIX = "M  V30 ";
const Int V30_PREFIX_LENGTH = 7;

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

// Reads the next line; false at the end of the input. A line cut at the length limit is still
// given; the stream has then failed, so the next call ends the input.
Bool NextLine(std::istream& file, char* line)
{
	return ReadTextLine(file, line, LINE_BUFFER_SIZE - 1) || line[0] != '\0';
}

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

// One line as the reader's columns see it. An ASCII line's columns are its bytes; any other line
// goes through a host String, whose decoding decides what a column is.
class Line
{
public:
	explicit Line(const char* text) : _text(text), _size(std::strlen(text))
	{
		// Eight bytes a step: any byte with its top bit set makes the line non-ASCII.
		UInt64 high = 0;
		size_t i = 0;
		for (; i + 8 <= _size; i += 8)
		{
			UInt64 word;
			std::memcpy(&word, text + i, 8);
			high |= word;
		}
		for (; i < _size; ++i)
			high |= static_cast<unsigned char>(text[i]);
		_ascii = (high & 0x8080808080808080ull) == 0;
		if (!_ascii)
			_string = LineString(text);
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

	Int32 ToInt32(Int first, Int last) const
	{
		const char* text = nullptr;
		size_t size = 0;
		Bool negative = false;
		Int64 mantissa = 0;
		Int32 fraction = 0;
		if (Bytes(first, last, &text, &size) && PlainDecimal(text, size, false, &negative, &mantissa, &fraction) &&
			mantissa <= 0x7FFFFFFF)
			return Int32(mantissa);
		Bool error = false;
		return Text(first, last).ToInt32(&error);
	}

private:
	const char* _text;
	size_t _size;
	Bool _ascii = true;
	String _string;
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
			std::memcpy(&key, text, size);
			key |= UInt32(size) << 24;
			for (Int i = 0; i < _count; ++i)
				if (_seen[i].key == key)
				{
					*index = _seen[i].index;
					return true;
				}
		}
		String symbol = line.Text(first, last);
		iferr (symbol.Trim())
			return false;
		*index = FindElement(symbol, _elements);
		// A full cache only costs later lines a lookup; molecules rarely hold more elements.
		if (cacheable && _count < kCached)
			_seen[_count++] = Seen{key, *index};
		return true;
	}

private:
	// Up to three column bytes and their count in the high byte.
	using Key = UInt32;
	struct Seen
	{
		Key key;
		Int32 index;
	};
	static constexpr Int kCached = 32;
	const maxon::BaseArray<ElementRecord>& _elements;
	Seen _seen[kCached] = {};
	Int _count = 0;
};

Bool StartsWith(const char* line, const char* prefix)
{
	return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

// The end of a record: its properties block ends with "M  END", and "$$$$" separates records.
Bool EndsRecord(const char* line)
{
	return StartsWith(line, "M  END") || StartsWith(line, "$$$$");
}

// False when the array cannot grow; the atom is then left out.
Bool Store(maxon::BaseArray<AtomRecord>& atoms, const AtomRecord& atom)
{
	iferr (atoms.Append(atom))
		return false;
	return true;
}

// ---- V3000 ----------------------------------------------------------------------------------

// One logical "M  V30" line: the text after the prefix, with continuation lines (a line that
// ends in "-" goes on in the next "M  V30" line) joined.
class V30Line
{
public:
	// Reads the next logical line; false at the end of the record or of the input. Lines of the
	// record that are not "M  V30" lines are passed over.
	Bool Read(std::istream& file, char* line)
	{
		_text.Flush();
		while (!_ended && NextLine(file, line))
		{
			if (EndsRecord(line))
				return false;
			if (!StartsWith(line, V30_PREFIX))
				continue;
			Bool more = Append(line + V30_PREFIX_LENGTH);
			while (more && NextLine(file, line))
			{
				// A record that ends inside a continued line ends there too.
				_ended = EndsRecord(line);
				if (_ended || !StartsWith(line, V30_PREFIX))
					break;
				more = Append(line + V30_PREFIX_LENGTH);
			}
			return true;
		}
		return false;
	}

	// The fields of the line: blank-separated words; a word in double quotes may hold blanks
	// (a doubled quote stands for one quote character). At most maxFields are taken.
	Int Fields(String* fields, Int maxFields) const
	{
		const Int length = _text.GetCount();
		Int count = 0;
		Int i = 0;
		while (count < maxFields)
		{
			while (i < length && (_text[i] == ' ' || _text[i] == '\t'))
				++i;
			if (i >= length)
				break;
			char word[LINE_BUFFER_SIZE];
			Int wordLength = 0;
			if (_text[i] == '"')
			{
				for (++i; i < length; ++i)
				{
					if (_text[i] == '"')
					{
						if (i + 1 < length && _text[i + 1] == '"')
							++i;
						else
						{
							++i;
							break;
						}
					}
					if (wordLength < LINE_BUFFER_SIZE - 1)
						word[wordLength++] = _text[i];
				}
			}
			else
			{
				for (; i < length && _text[i] != ' ' && _text[i] != '\t'; ++i)
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
	// Appends one physical line's text; true when it ends in the continuation mark.
	Bool Append(const char* text)
	{
		Int length = Int(std::strlen(text));
		const Bool continues = length > 0 && text[length - 1] == '-';
		if (continues)
			--length;
		for (Int i = 0; i < length && _text.GetCount() < MAX_V30_LINE; ++i)
		{
			iferr (_text.Append(text[i]))
				break;
		}
		return continues;
	}

	maxon::BaseArray<Char> _text;
	Bool _ended = false;
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

// Stored number of the atom the bond names; 0 when it names no atom of the block or one that
// was left out.
Int32 StoredAtom(const maxon::BaseArray<AtomNumber>& numbers, Int32 number)
{
	const AtomNumber key{number, 0, 0};
	const AtomNumber* first = numbers.GetFirst();
	const AtomNumber* last = first + numbers.GetCount();
	const AtomNumber* found = std::lower_bound(first, last, key, ByNumber);
	return (found != last && found->number == number) ? found->stored : 0;
}

// A count of the COUNTS line; -1 (no limit) when the field holds no count.
Int64 CountField(const String& field)
{
	Bool error = false;
	const Int64 value = field.ToInt64(&error);
	return (error || value < 0) ? -1 : value;
}

// The connection table of a V3000 record, read up to "M  V30 END CTAB". The COUNTS line limits
// how many atom and bond lines are taken; blocks that end early give what they hold, and every
// block other than the first atom and bond blocks is passed over.
void ReadV3000(std::istream& file, char* line, const maxon::BaseArray<ElementRecord>& elements,
	maxon::BaseArray<AtomRecord>& atoms, maxon::BaseArray<BondRecord>& bonds)
{
	enum class Block
	{
		NONE,
		ATOM,
		BOND,
		OTHER
	};
	V30Line v30;
	String fields[6];
	Bool inTable = false;
	Block block = Block::NONE;
	Int otherDepth = 0;
	Bool atomsDone = false;
	Bool bondsDone = false;
	Int64 atomLimit = -1;
	Int64 bondLimit = -1;
	Int64 atomLines = 0;
	Int64 bondLines = 0;
	maxon::BaseArray<AtomNumber> numbers;
	Bool error = false;

	while (v30.Read(file, line))
	{
		const Int count = v30.Fields(fields, 6);
		if (count == 0)
			continue;
		const Bool begins = fields[0] == "BEGIN" && count > 1;
		const Bool ends = fields[0] == "END" && count > 1;
		if (!inTable)
		{
			inTable = begins && fields[1] == "CTAB";
			continue;
		}
		if (block == Block::OTHER)
		{
			otherDepth += begins ? 1 : (ends ? -1 : 0);
			if (otherDepth == 0)
				block = Block::NONE;
			continue;
		}
		if (ends && fields[1] == "CTAB")
			break;
		if (block == Block::NONE)
		{
			if (fields[0] == "COUNTS")
			{
				atomLimit = count > 1 ? CountField(fields[1]) : -1;
				bondLimit = count > 2 ? CountField(fields[2]) : -1;
			}
			else if (begins && fields[1] == "ATOM" && !atomsDone)
				block = Block::ATOM;
			else if (begins && fields[1] == "BOND" && !bondsDone)
			{
				block = Block::BOND;
				std::sort(numbers.GetFirst(), numbers.GetFirst() + numbers.GetCount(), ByNumber);
			}
			else if (begins)
			{
				block = Block::OTHER;
				otherDepth = 1;
			}
			continue;
		}
		if (ends)
		{
			atomsDone = atomsDone || block == Block::ATOM;
			bondsDone = bondsDone || block == Block::BOND;
			block = Block::NONE;
			continue;
		}
		if (block == Block::ATOM)
		{
			// index type x y z aamap [KEY=VALUE ...]
			if (atomLimit >= 0 && atomLines >= atomLimit)
				continue;
			++atomLines;
			AtomNumber number{fields[0].ToInt32(&error), Int32(numbers.GetCount()), 0};
			if (count >= 5)
			{
				const Int32 elementIndex = FindElement(fields[1], elements);
				const Vector position(Coordinate(fields[2]), Coordinate(fields[3]), Coordinate(fields[4]));
				if (elementIndex >= 0 && Store(atoms, AtomRecord{elementIndex, position}))
					number.stored = Int32(atoms.GetCount());
			}
			iferr (numbers.Append(number))
				continue;
		}
		else if (block == Block::BOND)
		{
			// index type atom1 atom2 [KEY=VALUE ...]
			if (bondLimit >= 0 && bondLines >= bondLimit)
				continue;
			++bondLines;
			if (count < 4)
				continue;
			const BondRecord bond{StoredAtom(numbers, fields[2].ToInt32(&error)), StoredAtom(numbers, fields[3].ToInt32(&error)),
				fields[1].ToInt32(&error)};
			if (bond.firstAtom == 0 || bond.secondAtom == 0)
				continue;
			iferr (bonds.Append(bond))
				continue;
		}
	}
}

// ---- V2000 ----------------------------------------------------------------------------------

void ReadV2000(std::istream& file, char* line, const String& counts, const maxon::BaseArray<ElementRecord>& elements,
	maxon::BaseArray<AtomRecord>& atoms, maxon::BaseArray<BondRecord>& bonds)
{
	Bool error = false;
	Int32 atomCount = Columns(counts, 1, 3).ToInt32(&error);
	Int32 bondCount = Columns(counts, 4, 6).ToInt32(&error);
	if (atomCount > MAX_ATOM_LINES)
		atomCount = MAX_ATOM_LINES;
	SymbolLookup lookup(elements);

	// Number each atom line maps to among the stored atoms, 0 when its atom was left out,
	// so that bonds keep naming the right atoms.
	Int32 storedNumber[MAX_ATOM_LINES + 1] = {};
	Int32 atomLines = 0;
	while (atomLines < atomCount && NextLine(file, line))
	{
		const Int32 i = ++atomLines;
		const Line atomLine(line);
		Vector position(atomLine.ToCoordinate(1, 10), atomLine.ToCoordinate(11, 20), atomLine.ToCoordinate(21, 30));
		Int32 elementIndex = -1;
		if (!lookup.Find(atomLine, 31, 33, &elementIndex) || elementIndex < 0)
			continue;
		iferr (atoms.Append(AtomRecord{elementIndex, position}))
			continue;
		storedNumber[i] = Int32(atoms.GetCount());
	}

	// A block cut short by the end of the file ends there: no bonds are made of missing lines.
	for (Int32 i = 0; i < bondCount && NextLine(file, line); ++i)
	{
		const Line bondLine(line);
		BondRecord bond{bondLine.ToInt32(1, 3), bondLine.ToInt32(4, 6), bondLine.ToInt32(7, 9)};
		Bool dropped = false;
		for (Int32* atom : {&bond.firstAtom, &bond.secondAtom})
		{
			// Numbers that name no atom line at all stay as read, for the builder to skip.
			if (*atom >= 1 && *atom <= atomCount)
			{
				if (storedNumber[*atom] == 0)
					dropped = true;
				else
					*atom = storedNumber[*atom];
			}
		}
		if (dropped)
			continue;
		iferr (bonds.Append(bond))
			continue;
	}
}
} // namespace

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

	char line[LINE_BUFFER_SIZE];

	// Header: the molecule's name, then the program line and the comment line.
	ReadTextLine(file, line, LINE_BUFFER_SIZE - 1);
	String name = LineString(line);
	if (!name.IsEmpty() && node)
		node->SetName(name);
	ReadTextLine(file, line, LINE_BUFFER_SIZE - 1);
	ReadTextLine(file, line, LINE_BUFFER_SIZE - 1);

	ReadTextLine(file, line, LINE_BUFFER_SIZE - 1);
	String counts = LineString(line);
	String trimmedCounts = counts;
	iferr (trimmedCounts.Trim())
		return true;

	Int32 tagPosition = 0;
	if (counts.FindFirst("V3000"_s, &tagPosition))
		ReadV3000(file, line, elements, atoms, bonds);
	else if (trimmedCounts.GetLength() >= 6)
		ReadV2000(file, line, counts, elements, atoms, bonds);

	file.close();
	return true;
}
