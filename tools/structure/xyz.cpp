// XYZ files: a count line, a comment line, then one "element x y z" line per atom; frames follow
// one another, each a record.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <gemmi/elem.hpp>

#include "structure.h"

namespace structure
{
namespace
{
struct Lines
{
	const std::string& text;
	size_t offset = 0;
	int number = 0;

	bool Next(std::string& line)
	{
		if (offset >= text.size())
			return false;
		size_t end = text.find('\n', offset);
		if (end == std::string::npos)
			end = text.size();
		line.assign(text, offset, end - offset);
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		offset = end + 1;
		++number;
		return true;
	}
};

bool BlankLine(const std::string& line)
{
	return line.find_first_not_of(" \t") == std::string::npos;
}

std::string Trimmed(const std::string& line)
{
	const size_t a = line.find_first_not_of(" \t");
	return a == std::string::npos ? "" : line.substr(a, line.find_last_not_of(" \t") + 1 - a);
}

// An element symbol in any letter case, or an atomic number.
gemmi::El ElementOf(const std::string& word)
{
	if (!word.empty() && word.find_first_not_of("0123456789") == std::string::npos)
	{
		const int number = std::atoi(word.c_str());
		return number >= 1 && number <= 118 ? gemmi::Element(number).elem : gemmi::El::X;
	}
	if (word.empty() || word.size() > 2)
		return gemmi::El::X;
	for (char c : word)
		if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
			return gemmi::El::X;
	return gemmi::find_element(word.c_str());
}
} // namespace

std::vector<Record> ReadXyz(const std::string& path, const RadiusTable& radii)
{
	const std::string text = ReadFileText(path);
	Lines lines{text};
	std::vector<Record> records;
	std::string line;
	const auto fail = [&](const std::string& problem) {
		throw ReadError(path + ": line " + std::to_string(lines.number) + ": " + problem);
	};
	while (lines.Next(line))
	{
		if (BlankLine(line))
			continue; // blank lines between or after frames
		char* end = nullptr;
		const std::string count = Trimmed(line);
		const long n = std::strtol(count.c_str(), &end, 10);
		if (count.empty() || *end != '\0' || n < 0 || n > 100000000)
			fail("expected the atom count of a frame, found '" + count.substr(0, 40) + "'");
		if (n == 0)
			fail("a frame of no atoms");
		Record record;
		if (!lines.Next(line))
			fail("the frame ends before its comment line");
		record.name = Trimmed(line).empty() ? Stem(path) : Trimmed(line);
		record.atoms.reserve(size_t(std::min<long>(n, long(text.size() / 8 + 1))));
		for (long i = 0; i < n; ++i)
		{
			if (!lines.Next(line))
				fail("the file ends after " + std::to_string(i) + " of the frame's " + std::to_string(n) + " atoms");
			const char* p = line.c_str();
			while (*p == ' ' || *p == '\t')
				++p;
			const char* wordEnd = p;
			while (*wordEnd && *wordEnd != ' ' && *wordEnd != '\t')
				++wordEnd;
			const std::string word(p, wordEnd);
			const gemmi::El el = ElementOf(word);
			if (el == gemmi::El::X)
				fail("'" + word.substr(0, 20) + "' is not an element symbol or atomic number");
			Atom atom;
			const char* symbol = el == gemmi::El::D ? "H" : gemmi::element_name(el);
			std::strncpy(atom.symbol, symbol, sizeof atom.symbol - 1);
			double* xyz[3] = {&atom.x, &atom.y, &atom.z};
			p = wordEnd;
			for (double* v : xyz)
			{
				char* after = nullptr;
				*v = std::strtod(p, &after);
				if (after == p || !std::isfinite(*v) || std::abs(*v) > 1e7 || (*after && *after != ' ' && *after != '\t'))
					fail("expected an element and three coordinates (numbers up to 10^7 Å)");
				p = after;
			}
			record.atoms.push_back(atom);
		}
		PerceiveBonds(record, radii);
		records.push_back(std::move(record));
	}
	if (records.empty())
		throw ReadError(path + ": no frame: the file holds only blank lines");
	return records;
}
} // namespace structure
