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

// The atoms that can bond: each atom's covalent radius (-1 for one without a radius or without a
// finite position), how many have one, the largest, and the box around them.
struct Members
{
	std::vector<double> radius;
	size_t count = 0;
	double largest = 0;
	double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
};

Members FindMembers(const std::vector<Atom>& atoms, const RadiusTable& radii)
{
	Members m;
	m.radius.resize(atoms.size());
	for (size_t i = 0; i < atoms.size(); ++i)
	{
		m.radius[i] = radii.Covalent(atoms[i].symbol);
		const double p[3] = {atoms[i].x, atoms[i].y, atoms[i].z};
		if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
			m.radius[i] = -1;
		if (m.radius[i] < 0)
			continue;
		for (int k = 0; k < 3; ++k)
		{
			m.lo[k] = m.count == 0 ? p[k] : std::min(m.lo[k], p[k]);
			m.hi[k] = m.count == 0 ? p[k] : std::max(m.hi[k], p[k]);
		}
		++m.count;
		m.largest = std::max(m.largest, m.radius[i]);
	}
	return m;
}

// The members' box cut into cells, with the members sorted by cell: start[c]..start[c+1] are those
// of cell c, their positions and radii side by side, so that a cell's atoms are read from memory
// in one run.
class CellGrid
{
public:
	CellGrid(const std::vector<Atom>& atoms, const Members& members, double tolerance)
	{
		Fit(members, tolerance);
		Sort(atoms, members);
	}

	// The members after atom i whose distance to it lies above minimum2 (squared) and within its
	// reach and theirs, in the order of the cells.
	void Partners(size_t i, const Atom& atom, double reach, double minimum2, std::vector<int32_t>& partners) const
	{
		const int64_t c = int64_t(cellOf_[i]);
		const int64_t cx = c % dims_[0], cy = (c / dims_[0]) % dims_[1], cz = c / (dims_[0] * dims_[1]);
		for (int64_t gz = std::max<int64_t>(0, cz - 1); gz <= std::min(dims_[2] - 1, cz + 1); ++gz)
			for (int64_t gy = std::max<int64_t>(0, cy - 1); gy <= std::min(dims_[1] - 1, cy + 1); ++gy)
			{
				// The three cells of a row are one run of the sorted atoms.
				const int64_t row = (gz * dims_[1] + gy) * dims_[0];
				const int32_t from = start_[size_t(row + std::max<int64_t>(0, cx - 1))];
				const int32_t to = start_[size_t(row + std::min(dims_[0] - 1, cx + 1) + 1)];
				for (int32_t k = from; k < to; ++k)
				{
					const Placed& q = placed_[size_t(k)];
					if (q.index <= int32_t(i))
						continue;
					const double dx = atom.x - q.x, dy = atom.y - q.y, dz = atom.z - q.z;
					const double d2 = dx * dx + dy * dy + dz * dz;
					const double both = reach + q.r;
					if (d2 > minimum2 && d2 <= both * both)
						partners.push_back(q.index);
				}
			}
	}

private:
	struct Placed
	{
		double x, y, z, r;
		int32_t index;
	};

	// Cells at least as wide as the longest possible bond, so that a partner lies in one of the 27
	// cells around an atom; wider when the box is sparse, so that the cells stay few.
	void Fit(const Members& members, double tolerance)
	{
		std::copy(members.lo, members.lo + 3, lo_);
		cell_ = std::max(2 * members.largest + tolerance, 1e-3);
		const int64_t limit = int64_t(members.count) * 8 + 64;
		while (Cells(members) > limit && std::isfinite(cell_))
			cell_ *= 1.25;
	}

	// Sets the cells along each axis for the current width; their number.
	int64_t Cells(const Members& members)
	{
		int64_t count = 1;
		for (int k = 0; k < 3; ++k)
		{
			const double extent = (members.hi[k] - members.lo[k]) / cell_;
			dims_[k] = extent < 1e6 ? int64_t(extent) + 1 : std::isfinite(extent) ? int64_t(1e6) : 1;
			count = count > INT64_MAX / dims_[k] ? INT64_MAX : count * dims_[k];
		}
		return count;
	}

	int64_t Axis(double p, int k) const { return std::min(dims_[k] - 1, int64_t((p - lo_[k]) / cell_)); }

	void Sort(const std::vector<Atom>& atoms, const Members& members)
	{
		const size_t n = atoms.size();
		const size_t cells = size_t(dims_[0] * dims_[1] * dims_[2]);
		start_.assign(cells + 1, 0);
		cellOf_.assign(n, 0);
		for (size_t i = 0; i < n; ++i)
		{
			if (members.radius[i] < 0)
				continue;
			cellOf_[i] = uint32_t((Axis(atoms[i].z, 2) * dims_[1] + Axis(atoms[i].y, 1)) * dims_[0] + Axis(atoms[i].x, 0));
			++start_[cellOf_[i] + 1];
		}
		for (size_t c = 0; c < cells; ++c)
			start_[c + 1] += start_[c];
		placed_.resize(members.count);
		std::vector<int32_t> fill(start_.begin(), start_.end() - 1);
		for (size_t i = 0; i < n; ++i)
			if (members.radius[i] >= 0)
				placed_[size_t(fill[cellOf_[i]]++)] = Placed{atoms[i].x, atoms[i].y, atoms[i].z, members.radius[i], int32_t(i)};
	}

	double lo_[3] = {0, 0, 0};
	double cell_ = 0;
	int64_t dims_[3] = {1, 1, 1};
	std::vector<int32_t> start_;
	std::vector<uint32_t> cellOf_;
	std::vector<Placed> placed_;
};
} // namespace

void PerceiveBonds(Record& record, const RadiusTable& radii, const BondRule& rule)
{
	const std::vector<Atom>& atoms = record.atoms;
	const Members members = FindMembers(atoms, radii);
	if (members.count < 2)
		return;
	const CellGrid grid(atoms, members, rule.tolerance);

	std::unordered_set<uint64_t> existing;
	existing.reserve(record.bonds.size() * 2);
	for (const Bond& b : record.bonds)
		existing.insert(PairKey(b.a, b.b));

	const size_t n = atoms.size();
	const double minimum2 = rule.minimum * rule.minimum;
	record.bonds.reserve(record.bonds.size() + n + n / 4);
	std::vector<int32_t> partners;
	for (size_t i = 0; i < n; ++i)
	{
		if (members.radius[i] < 0)
			continue;
		partners.clear();
		grid.Partners(i, atoms[i], members.radius[i] + rule.tolerance, minimum2, partners);
		std::sort(partners.begin(), partners.end());
		for (int32_t j : partners)
			if (existing.empty() || existing.count(PairKey(int32_t(i), j)) == 0)
				record.bonds.push_back(Bond{int32_t(i), j, 1});
	}
}
} // namespace structure
