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
	size_t members = 0; // atoms with a radius
	double largest = 0;
	double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
	for (size_t i = 0; i < n; ++i)
	{
		radius[i] = radii.Covalent(atoms[i].symbol);
		const double p[3] = {atoms[i].x, atoms[i].y, atoms[i].z};
		if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
			radius[i] = -1;
		if (radius[i] < 0)
			continue;
		for (int k = 0; k < 3; ++k)
		{
			lo[k] = members == 0 ? p[k] : std::min(lo[k], p[k]);
			hi[k] = members == 0 ? p[k] : std::max(hi[k], p[k]);
		}
		++members;
		largest = std::max(largest, radius[i]);
	}
	if (members < 2)
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
	const int64_t limit = int64_t(members) * 8 + 64;
	while (fit() > limit && std::isfinite(cell))
		cell *= 1.25;
	const auto axis = [&](double p, int k) { return std::min(dims[k] - 1, int64_t((p - lo[k]) / cell)); };

	// The atoms sorted by cell, their positions and radii side by side: start[c]..start[c+1] are
	// those of cell c, so that the atoms of a cell are read from memory in one run.
	struct Placed
	{
		double x, y, z, r;
		int32_t index;
	};
	const size_t cells = size_t(dims[0] * dims[1] * dims[2]);
	std::vector<int32_t> start(cells + 1, 0);
	std::vector<uint32_t> cellOf(n, 0);
	for (size_t i = 0; i < n; ++i)
	{
		if (radius[i] < 0)
			continue;
		cellOf[i] = uint32_t((axis(atoms[i].z, 2) * dims[1] + axis(atoms[i].y, 1)) * dims[0] + axis(atoms[i].x, 0));
		++start[cellOf[i] + 1];
	}
	for (size_t c = 0; c < cells; ++c)
		start[c + 1] += start[c];
	std::vector<Placed> placed(members);
	{
		std::vector<int32_t> fill(start.begin(), start.end() - 1);
		for (size_t i = 0; i < n; ++i)
			if (radius[i] >= 0)
				placed[size_t(fill[cellOf[i]]++)] = Placed{atoms[i].x, atoms[i].y, atoms[i].z, radius[i], int32_t(i)};
	}

	std::unordered_set<uint64_t> existing;
	existing.reserve(record.bonds.size() * 2);
	for (const Bond& b : record.bonds)
		existing.insert(PairKey(b.a, b.b));

	const double minimum2 = rule.minimum * rule.minimum;
	record.bonds.reserve(record.bonds.size() + n + n / 4);
	std::vector<int32_t> partners;
	for (size_t i = 0; i < n; ++i)
	{
		if (radius[i] < 0)
			continue;
		const double x = atoms[i].x, y = atoms[i].y, z = atoms[i].z, r = radius[i] + rule.tolerance;
		const int64_t c = int64_t(cellOf[i]);
		const int64_t cx = c % dims[0], cy = (c / dims[0]) % dims[1], cz = c / (dims[0] * dims[1]);
		partners.clear();
		for (int64_t gz = std::max<int64_t>(0, cz - 1); gz <= std::min(dims[2] - 1, cz + 1); ++gz)
			for (int64_t gy = std::max<int64_t>(0, cy - 1); gy <= std::min(dims[1] - 1, cy + 1); ++gy)
			{
				// The three cells of a row are one run of the sorted atoms.
				const int64_t row = (gz * dims[1] + gy) * dims[0];
				const int32_t from = start[size_t(row + std::max<int64_t>(0, cx - 1))];
				const int32_t to = start[size_t(row + std::min(dims[0] - 1, cx + 1) + 1)];
				for (int32_t k = from; k < to; ++k)
				{
					const Placed& q = placed[size_t(k)];
					if (q.index <= int32_t(i))
						continue;
					const double dx = x - q.x, dy = y - q.y, dz = z - q.z;
					const double d2 = dx * dx + dy * dy + dz * dz;
					const double reach = r + q.r;
					if (d2 > minimum2 && d2 <= reach * reach)
						partners.push_back(q.index);
				}
			}
		std::sort(partners.begin(), partners.end());
		for (int32_t j : partners)
			if (existing.empty() || existing.count(PairKey(int32_t(i), j)) == 0)
				record.bonds.push_back(Bond{int32_t(i), j, 1});
	}
}
} // namespace structure
