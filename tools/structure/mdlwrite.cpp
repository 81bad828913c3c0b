// The MDL connection table of a record: V2000 where it fits, V3000 otherwise.
#include <cmath>
#include <cstdio>
#include <ostream>

#include "structure.h"

namespace structure
{
namespace
{
// A header line holds at most 80 characters and no line break.
std::string HeaderLine(const std::string& text)
{
	std::string line = text.substr(0, 80);
	for (char& c : line)
		c = (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
	return line;
}

bool FitsField(double v)
{
	// %10.4f: at most 99999.9999, and -9999.9999 with its sign.
	return std::isfinite(v) && v < 99999.99995 && v > -9999.99995;
}

void WriteHeader(std::ostream& out, const Record& record, const std::string& comment)
{
	out << HeaderLine(record.name) << "\n  Vireltan          3D\n" << HeaderLine(comment) << "\n";
}

void WriteV2000(std::ostream& out, const Record& record)
{
	char line[128];
	std::snprintf(line, sizeof line, "%3d%3d  0  0  0  0  0  0  0  0999 V2000\n", int(record.atoms.size()),
		int(record.bonds.size()));
	out << line;
	for (const Atom& a : record.atoms)
	{
		std::snprintf(line, sizeof line, "%10.4f%10.4f%10.4f %-3s 0  0  0  0  0  0  0  0  0  0  0  0\n", a.x, a.y, a.z,
			a.symbol);
		out << line;
	}
	for (const Bond& b : record.bonds)
	{
		std::snprintf(line, sizeof line, "%3d%3d%3d  0\n", b.a + 1, b.b + 1, b.order);
		out << line;
	}
	out << "M  END\n";
}

void WriteV3000(std::ostream& out, const Record& record)
{
	char line[192];
	out << "  0  0  0     0  0            999 V3000\nM  V30 BEGIN CTAB\n";
	out << "M  V30 COUNTS " << record.atoms.size() << " " << record.bonds.size() << " 0 0 0\nM  V30 BEGIN ATOM\n";
	for (size_t i = 0; i < record.atoms.size(); ++i)
	{
		const Atom& a = record.atoms[i];
		std::snprintf(line, sizeof line, "M  V30 %zu %s %.4f %.4f %.4f 0\n", i + 1, a.symbol, a.x, a.y, a.z);
		out << line;
	}
	out << "M  V30 END ATOM\nM  V30 BEGIN BOND\n";
	for (size_t i = 0; i < record.bonds.size(); ++i)
	{
		const Bond& b = record.bonds[i];
		std::snprintf(line, sizeof line, "M  V30 %zu %d %d %d\n", i + 1, b.order, b.a + 1, b.b + 1);
		out << line;
	}
	out << "M  V30 END BOND\nM  V30 END CTAB\nM  END\n";
}
} // namespace

bool FitsV2000(const Record& record)
{
	if (record.atoms.size() > 999 || record.bonds.size() > 999)
		return false;
	for (const Atom& a : record.atoms)
		if (!FitsField(a.x) || !FitsField(a.y) || !FitsField(a.z))
			return false;
	return true;
}

void WriteMdl(std::ostream& out, const Record& record, const std::string& comment)
{
	WriteHeader(out, record, comment);
	if (FitsV2000(record))
		WriteV2000(out, record);
	else
		WriteV3000(out, record);
}
} // namespace structure
