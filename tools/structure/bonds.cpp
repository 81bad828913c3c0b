// Covalent radii from the element table and bonds perceived from distances on a grid of cells.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "structure.h"

namespace structure
{
RadiusTable RadiusTable::Load(const std::string& csvPath)
{
	std::ifstream in(csvPath);
	if (!in)
		throw ReadError(csvPath + ": the element table cannot be read");
	RadiusTable table;
	std::string line;
	while (std::getline(in, line))
	{
		if (line.empty() || line[0] == '#')
			continue;
		std::istringstream fields(line);
		std::string symbol, colour, covalent;
		if (!std::getline(fields, symbol, ',') || !std::getline(fields, colour, ',') || !std::getline(fields, covalent, ','))
			continue;
		char* end = nullptr;
		const double pm = std::strtod(covalent.c_str(), &end);
		if (end != covalent.c_str() && std::isfinite(pm) && pm > 0)
			table.Set(symbol, pm / 100.0);
	}
	if (table.Empty())
		throw ReadError(csvPath + ": the element table holds no covalent radii");
	return table;
}

void RadiusTable::Set(const std::string& symbol, double angstrom)
{
	radii_[symbol] = angstrom;
}

double RadiusTable::Covalent(const char* symbol) const
{
	const auto it = radii_.find(symbol);
	return it == radii_.end() ? -1.0 : it->second;
}

namespace
{
uint64_t PairKey(int32_t a, int32_t b)
{
	return (uint64_t(uint32_t(std::min(a, b))) << 32) | uint32_t(std::max(a, b));
}
} // namespace

void PerceiveBonds(Record& record, const RadiusTable& radii, const BondRule& rule)
{
	const std::vector<Atom>& atoms = record.atoms;
	const size_t n = atoms.size();
	std::vector<double> radius(n);
	std::vector<int32_t> members; // atoms with a radius
	members.reserve(n);
	double largest = 0;
	double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
	for (size_t i = 0; i < n; ++i)
	{
		radius[i] = radii.Covalent(atoms[i].symbol);
		const double p[3] = {atoms[i].x, atoms[i].y, atoms[i].z};
		if (radius[i] < 0 || !std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
			continue;
		for (int k = 0; k < 3; ++k)
		{
			lo[k] = members.empty() ? p[k] : std::min(lo[k], p[k]);
			hi[k] = members.empty() ? p[k] : std::max(hi[k], p[k]);
		}
		members.push_back(int32_t(i));
		largest = std::max(largest, radius[i]);
	}
	if (members.size() < 2)
		return;

	// Cells at least as wide as the longest possible bond, so that a partner lies in one of the 27
	// cells around an atom; wider when the box is sparse, so that the cells stay few.
	double cell = std::max(2 * largest + rule.tolerance, 1e-3);
	int64_t dims[3];
	const auto fit = [&]() {
		int64_t count = 1;
		for (int k = 0; k < 3; ++k)
		{
			const double extent = (hi[k] - lo[k]) / cell;
			dims[k] = extent < 1e6 ? int64_t(extent) + 1 : std::isfinite(extent) ? int64_t(1e6) : 1;
			count = count > INT64_MAX / dims[k] ? INT64_MAX : count * dims[k];
		}
		return count;
	};
	const int64_t limit = int64_t(members.size()) * 2 + 8;
	while (fit() > limit && std::isfinite(cell))
		cell *= 1.5;
	const auto cellOf = [&](int32_t i, int k) {
		const double p = k == 0 ? atoms[size_t(i)].x : k == 1 ? atoms[size_t(i)].y : atoms[size_t(i)].z;
		return std::min(dims[k] - 1, int64_t((p - lo[k]) / cell));
	};
	const auto index = [&](int64_t x, int64_t y, int64_t z) { return size_t((z * dims[1] + y) * dims[0] + x); };

	// Atoms sorted by cell: start[c]..start[c+1] in `order` are the atoms of cell c.
	const size_t cells = size_t(dims[0] * dims[1] * dims[2]);
	std::vector<int32_t> start(cells + 1, 0);
	std::vector<uint32_t> cellIndex(members.size());
	for (size_t m = 0; m < members.size(); ++m)
	{
		cellIndex[m] = uint32_t(index(cellOf(members[m], 0), cellOf(members[m], 1), cellOf(members[m], 2)));
		++start[cellIndex[m] + 1];
	}
	for (size_t c = 0; c < cells; ++c)
		start[c + 1] += start[c];
	std::vector<int32_t> order(members.size());
	{
		std::vector<int32_t> fill(start.begin(), start.end() - 1);
		for (size_t m = 0; m < members.size(); ++m)
			order[size_t(fill[cellIndex[m]]++)] = members[m];
	}

	std::unordered_set<uint64_t> existing;
	existing.reserve(record.bonds.size() * 2);
	for (const Bond& b : record.bonds)
		existing.insert(PairKey(b.a, b.b));

	const double minimum2 = rule.minimum * rule.minimum;
	std::vector<Bond> found;
	found.reserve(n + n / 8);
	for (size_t m = 0; m < members.size(); ++m)
	{
		const int32_t i = members[m];
		const Atom& ai = atoms[size_t(i)];
		const int64_t cx = cellOf(i, 0), cy = cellOf(i, 1), cz = cellOf(i, 2);
		for (int64_t z = std::max<int64_t>(0, cz - 1); z <= std::min(dims[2] - 1, cz + 1); ++z)
			for (int64_t y = std::max<int64_t>(0, cy - 1); y <= std::min(dims[1] - 1, cy + 1); ++y)
				for (int64_t x = std::max<int64_t>(0, cx - 1); x <= std::min(dims[0] - 1, cx + 1); ++x)
				{
					const size_t c = index(x, y, z);
					for (int32_t k = start[c]; k < start[c + 1]; ++k)
					{
						const int32_t j = order[size_t(k)];
						if (j <= i)
							continue;
						const Atom& aj = atoms[size_t(j)];
						const double dx = ai.x - aj.x, dy = ai.y - aj.y, dz = ai.z - aj.z;
						const double d2 = dx * dx + dy * dy + dz * dz;
						const double reach = radius[size_t(i)] + radius[size_t(j)] + rule.tolerance;
						if (d2 > minimum2 && d2 <= reach * reach)
							found.push_back(Bond{i, j, 1});
					}
				}
	}
	std::sort(found.begin(), found.end(), [](const Bond& p, const Bond& q) { return p.a != q.a ? p.a < q.a : p.b < q.b; });
	record.bonds.reserve(record.bonds.size() + found.size());
	for (const Bond& b : found)
		if (existing.empty() || existing.count(PairKey(b.a, b.b)) == 0)
			record.bonds.push_back(b);
}
} // namespace structure
