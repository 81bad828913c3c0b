// What the PDB and mmCIF readers share: a gemmi model turned into a record.
#pragma once

#include <gemmi/model.hpp>

#include "structure.h"

namespace structure
{
// Atom serial numbers of the record's atoms, for the bonds a PDB file lists by serial.
using SerialMap = std::unordered_map<int, int32_t>;

// The first conformer of the model: of the atoms with an alternate location, those of the first
// letter met in their residue (chain and sequence number, so microheterogeneity counts as one
// residue); atoms without one are all kept.
void KeepFirstConformer(gemmi::Model& model);

// The model's atoms in file order, with the element symbols of the element table, and the
// covalent links of `st` (struct_conn, LINK, SSBOND) between them as bonds of order 1. `serials`,
// when given, receives each atom's serial number. Throws ReadError for a coordinate that is not a
// number or beyond 10^7 Å.
Record ModelRecord(const gemmi::Structure& st, gemmi::Model& model, const std::string& path, SerialMap* serials);

// The entry id, else the file's stem.
std::string RecordName(const gemmi::Structure& st, const std::string& path);
} // namespace structure
