// mmCIF files through gemmi's CIF parser and its structure builder.
#include <gemmi/cif.hpp>
#include <gemmi/mmcif.hpp>

#include "gemmimodel.h"

namespace structure
{
namespace
{
std::string OneLine(std::string text)
{
	for (char& c : text)
		c = (c == '\n' || c == '\r') ? ' ' : c;
	return text;
}

// PEGTL reports "SOURCE:LINE:COLUMN: message"; say "line LINE: message".
std::string ParseProblem(const std::string& path, const std::string& what)
{
	const std::string text = OneLine(what);
	if (text.compare(0, path.size() + 1, path + ":") == 0)
	{
		const size_t lineStart = path.size() + 1;
		const size_t lineEnd = text.find_first_not_of("0123456789", lineStart);
		const size_t columnEnd = lineEnd == std::string::npos ? lineEnd : text.find(": ", lineEnd);
		if (lineEnd != lineStart && lineEnd != std::string::npos && text[lineEnd] == ':' && columnEnd != std::string::npos)
			return "line " + text.substr(lineStart, lineEnd - lineStart) + ": " + text.substr(columnEnd + 2);
	}
	return text;
}

gemmi::Structure Parse(const std::string& path)
{
	std::string text = ReadFileText(path);
	RequireAscii(path, text.data(), text.size());
	gemmi::cif::Document doc;
	try
	{
		doc = gemmi::cif::read_memory(text.data(), text.size(), path.c_str());
	}
	catch (const std::exception& e)
	{
		throw ReadError(path + ": " + ParseProblem(path, e.what()));
	}
	text.clear();
	text.shrink_to_fit();
	if (doc.blocks.empty())
		throw ReadError(path + ": no data block (not a CIF file?)");
	gemmi::cif::Block& block = doc.blocks[0];
	if (!block.has_tag("_atom_site.Cartn_x"))
	{
		if (block.has_tag("_atom_site_fract_x") || block.has_tag("_atom_site.fract_x"))
			throw ReadError(path + ": a small-molecule crystal CIF with fractional coordinates, which is not read; "
								   "write the molecule with Cartesian coordinates (PDB, mmCIF, SDF or XYZ) with a crystallographic program first");
		throw ReadError(path + ": no _atom_site.Cartn_x coordinates (not an mmCIF coordinate file?)");
	}
	try
	{
		return gemmi::make_structure(doc);
	}
	catch (const std::exception& e)
	{
		throw ReadError(path + ": " + OneLine(e.what()));
	}
}
} // namespace

std::vector<Record> ReadMmcif(const std::string& path, const RadiusTable& radii)
{
	gemmi::Structure st = Parse(path);
	std::vector<Record> records;
	for (gemmi::Model& model : st.models)
	{
		KeepFirstConformer(model);
		Record record = ModelRecord(st, model, path, nullptr);
		model.chains.clear();
		model.chains.shrink_to_fit();
		if (record.atoms.empty())
			continue;
		PerceiveBonds(record, radii);
		records.push_back(std::move(record));
	}
	if (records.empty())
		throw ReadError(path + ": no atoms in _atom_site");
	return records;
}
} // namespace structure
