// Structure files the command line reads besides MDL files: PDB and mmCIF (through gemmi, plain or
// gzip-compressed) and XYZ. Each model or frame becomes a record of atoms and bonds, which the
// writer turns into the MDL connection table the molecule object reads.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace structure
{
struct Atom
{
	char symbol[4] = {'*', 0, 0, 0}; // element symbol as the element table writes it; "*" when unknown
	double x = 0, y = 0, z = 0; // ångström
};

struct Bond
{
	int32_t a = 0, b = 0; // atom indices from 0, a < b
	int32_t order = 1; // 1, 2 or 3
};

struct Record
{
	std::string name;
	std::vector<Atom> atoms;
	std::vector<Bond> bonds;
};

// A file that cannot be read; what() is one line naming the file, the line where there is one,
// and the problem.
struct ReadError : std::runtime_error
{
	using std::runtime_error::runtime_error;
};

enum class Format
{
	Unknown,
	Mdl, // .sdf, .mol: read by the molecule object itself
	Pdb, // .pdb, .ent
	Mmcif, // .cif, .mmcif
	Xyz // .xyz
};

// By the suffix, in any letter case, after a final .gz (which MDL files may not have).
Format FormatOf(const std::string& path);
// Whether the suffix ends in .gz.
bool IsGzipped(const std::string& path);
// The file's name without folder, .gz and format suffix: the record name when the file has none.
std::string Stem(const std::string& path);
// Text helpers the tool's structure commands share: ASCII lower case, a suffix test, the name
// after the last slash.
std::string Lower(std::string text);
bool EndsWith(const std::string& text, const std::string& end);
std::string BaseName(const std::string& path);
// Throws ReadError naming the line of the first byte that is not 7-bit ASCII: PDB and mmCIF files
// are ASCII text, and gemmi's record and residue name codes take no other bytes.
void RequireAscii(const std::string& path, const char* text, size_t size, int firstLine = 1);

// Covalent radii by element symbol, from the element table (res/ptable.csv: symbol, colour,
// covalent radius in pm, van der Waals radius in pm).
class RadiusTable
{
public:
	// Throws ReadError when the table cannot be read or has no radii.
	static RadiusTable Load(const std::string& csvPath);
	void Set(const std::string& symbol, double angstrom);
	// In ångström; negative for a symbol the table lacks.
	double Covalent(const char* symbol) const;
	bool Empty() const { return radii_.empty(); }

private:
	std::unordered_map<std::string, double> radii_;
};

struct BondRule
{
	double tolerance = 0.45; // Å added to the sum of the covalent radii
	double minimum = 0.4; // Å: atoms closer than this are not bonded (overlapping positions)
};

// Adds a bond of order 1 between every two atoms of the record that are not bonded yet, whose
// distance d satisfies minimum < d <= r1 + r2 + tolerance. A grid of cells finds the candidates,
// so the work grows with the atoms, not with their pairs. Atoms whose element has no radius get none.
void PerceiveBonds(Record& record, const RadiusTable& radii, const BondRule& rule = BondRule());

// Every model (PDB, mmCIF) or frame (XYZ) of the file, bonds included (the file's own, then the
// perceived ones). Throws ReadError.
std::vector<Record> ReadStructure(const std::string& path, const RadiusTable& radii);

// The file's bytes, uncompressed when the suffix is .gz; throws ReadError (not gzip data, truncated).
std::string ReadFileText(const std::string& path);

// Whether the record fits a V2000 table: at most 999 atoms and 999 bonds, coordinates that fit
// the 10-column fields.
bool FitsV2000(const Record& record);
// One MDL record (V2000 when it fits, else V3000), ended by "M  END"; the caller adds "$$$$" in SD files.
void WriteMdl(std::ostream& out, const Record& record, const std::string& comment = "");

// The format readers behind ReadStructure; messages name the file by `path`.
std::vector<Record> ReadPdb(const std::string& path, const RadiusTable& radii);
std::vector<Record> ReadMmcif(const std::string& path, const RadiusTable& radii);
std::vector<Record> ReadXyz(const std::string& path, const RadiusTable& radii);
} // namespace structure
