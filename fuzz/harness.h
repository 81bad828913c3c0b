// What the harnesses share: the plug-in attached as the host attaches it, a molecule object fed
// from memory, and the checks every evaluated document must pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "c4d.h"
#include "datastructs.h"

namespace fuzz
{
// The project's folder (its res/ holds the plug-in's resources, examples/ the molecules).
std::string SourceDir();

// Ends the process with a message when the harness cannot run its inputs (no module, no scratch
// folder, a file it cannot write): a harness that ran nothing must not pass as one that found
// nothing. The abort is what libFuzzer and the replay test report.
[[noreturn]] void SetupFailed(const std::string& what);

// Attaches the statically linked plug-in once per process with its module file inside folder
// (whose res/ it reads) and, with start, registers it; ends it when the process exits. Later
// calls do nothing. A failed attach is a set-up failure.
void AttachPlugin(const std::string& folder, Bool start);

// A folder of this process under TMPDIR (or /tmp), made on first use and removed at exit; one
// that cannot be made is a set-up failure.
const std::string& ScratchFolder();
// Replaces a file of the scratch folder; a file that cannot be written is a set-up failure.
void WriteScratchFile(const std::string& name, const uint8_t* data, size_t size);

// The coarsest spheres and bond profiles, so that an input costs milliseconds; the paths the
// fuzzer explores do not depend on how fine the geometry is.
void CoarseGeometry(BaseObject* op);
// CoarseGeometry on every molecule object of the tree under op and its followers.
void CoarseGeometryAll(BaseObject* op);

// The atom numbers a bond of the read model may hold, told from the input's header as the reader
// reads it. Every bond may name stored atoms (1 to the atom count). A V2000 bond also keeps, as
// read, a number that names no atom line (0 or less, or past the atom block the counts line
// declares) for the builder to skip; a V3000 bond names stored atoms only.
struct BondNumbers
{
	Bool known = true; // false when a header line is longer than the reader's buffer: not checked
	Bool v2000 = true; // the V2000 rule applies
	Int32 atomLines = 0; // the V2000 atom block's lines as the counts line declares them, at most 999
};
BondNumbers ExpectedBondNumbers(const uint8_t* data, size_t size);

// Aborts when the model read holds a non-finite coordinate, an element index outside the element
// table or a bond atom number outside what numbers allows: faults the builder would hide by
// skipping the atom or bond.
void CheckReadModel(const maxon::BaseArray<ElementRecord>& elements, const maxon::BaseArray<AtomRecord>& atoms,
	const maxon::BaseArray<BondRecord>& bonds, const BondNumbers& numbers);

// A new document with one molecule object of coarse geometry that reads the connection table of
// bytes through the reader's stream interface (atoms, bonds, and the first line as its name, as a
// load names it), checks the model read against numbers, then is evaluated, checked and exported
// (EvaluateCheckExport). then, when given, takes the document and the object further; both are
// freed after it, and the host's console and dialogs emptied.
void RunMolecule(const std::string& bytes, const BondNumbers& numbers,
	const std::function<void(BaseDocument*, BaseObject*)>& then = nullptr);

// Evaluates the document, checks that no generated position, point, radius or sweep point is
// non-finite (aborts, which the fuzzer reports, when one is) and serialises it as binary glTF.
void EvaluateCheckExport(BaseDocument* doc);
} // namespace fuzz
