// A gemmi model as a record: first conformer, element symbols, covalent links.
#include "gemmimodel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace structure
{
namespace
{
uint64_t PairKey(int32_t a, int32_t b)
{
	return (uint64_t(uint32_t(std::min(a, b))) << 32) | uint32_t(std::max(a, b));
}

// The element table's symbol; deuterium and tritium are hydrogen there, unknown elements "*".
void SetSymbol(Atom& atom, gemmi::El el)
{
	const char* name = (el == gemmi::El::D) ? "H" : (el == gemmi::El::X) ? "*" : gemmi::element_name(el);
	std::strncpy(atom.symbol, name, sizeof atom.symbol - 1);
	atom.symbol[sizeof atom.symbol - 1] = '\0';
}
} // namespace

void KeepFirstConformer(gemmi::Model& model)
{
	for (gemmi::Chain& chain : model.chains)
	{
		std::map<gemmi::SeqId, char> first;
		for (gemmi::Residue& residue : chain.residues)
		{
			std::vector<gemmi::Atom>& atoms = residue.atoms;
			atoms.erase(std::remove_if(atoms.begin(), atoms.end(),
							[&](const gemmi::Atom& a) {
								if (a.altloc == '\0' || a.altloc == ' ')
									return false;
								const char kept = first.emplace(residue.seqid, a.altloc).first->second;
								return a.altloc != kept;
							}),
				atoms.end());
		}
	}
}

std::string RecordName(const gemmi::Structure& st, const std::string& path)
{
	const auto it = st.info.find("_entry.id");
	if (it != st.info.end())
	{
		const std::string& id = it->second;
		const size_t a = id.find_first_not_of(" \t");
		if (a != std::string::npos)
			return id.substr(a, id.find_last_not_of(" \t") + 1 - a);
	}
	return Stem(path);
}

Record ModelRecord(const gemmi::Structure& st, gemmi::Model& model, const std::string& path, SerialMap* serials)
{
	Record record;
	record.name = RecordName(st, path);
	size_t count = 0;
	for (const gemmi::Chain& chain : model.chains)
		for (const gemmi::Residue& residue : chain.residues)
			count += residue.atoms.size();
	record.atoms.reserve(count);
	// The atoms the covalent links name, resolved first: only their indices are kept.
	std::vector<std::pair<const gemmi::Atom*, const gemmi::Atom*>> links;
	std::unordered_map<const gemmi::Atom*, int32_t> index;
	for (const gemmi::Connection& c : st.connections)
	{
		// Metal coordination and hydrogen bonds are not covalent; a partner in another copy of the
		// asymmetric unit is not an atom of this record.
		if ((c.type != gemmi::Connection::Covale && c.type != gemmi::Connection::Disulf) || c.asu == gemmi::Asu::Different)
			continue;
		const gemmi::Atom* a = model.find_cra(c.partner1, true).atom;
		const gemmi::Atom* b = model.find_cra(c.partner2, true).atom;
		if (!a || !b || a == b)
			continue;
		links.emplace_back(a, b);
		index.emplace(a, -1);
		index.emplace(b, -1);
	}
	if (serials)
		serials->reserve(count);
	for (const gemmi::Chain& chain : model.chains)
		for (const gemmi::Residue& residue : chain.residues)
			for (const gemmi::Atom& a : residue.atoms)
			{
				const double p[3] = {a.pos.x, a.pos.y, a.pos.z};
				for (double v : p)
					if (!std::isfinite(v) || std::abs(v) > 1e7)
						throw ReadError(path + ": atom " + a.name + " of residue " + residue.name + " " +
							residue.seqid.str() + " in chain " + chain.name + " has a coordinate that is not a number or beyond 10^7 Å");
				Atom atom;
				SetSymbol(atom, a.element.elem);
				atom.x = p[0];
				atom.y = p[1];
				atom.z = p[2];
				const int32_t i = int32_t(record.atoms.size());
				record.atoms.push_back(atom);
				if (!index.empty())
				{
					const auto found = index.find(&a);
					if (found != index.end())
						found->second = i;
				}
				if (serials)
					serials->emplace(a.serial, i);
			}

	std::unordered_map<uint64_t, bool> seen;
	for (const auto& link : links)
	{
		const int32_t a = index[link.first], b = index[link.second];
		if (a < 0 || b < 0 || !seen.emplace(PairKey(a, b), true).second)
			continue;
		record.bonds.push_back(Bond{std::min(a, b), std::max(a, b), 1});
	}
	return record;
}
} // namespace structure
