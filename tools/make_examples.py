#!/usr/bin/python3
"""Write the example molecules (examples/) and the reader test data
(tests/data/rdkit/) as MDL SD and MOL files (V2000, and V3000 where named),
with RDKit.

Run with Debian's system Python (package python3-rdkit):

    /usr/bin/python3 tools/make_examples.py            # examples and test data
    /usr/bin/python3 tools/make_examples.py --examples # examples/ only
    /usr/bin/python3 tools/make_examples.py --tests    # tests/data/rdkit/ only

Every molecule is built from SMILES (or an amino-acid sequence), gets
explicit hydrogens, is embedded in 3D with ETKDGv3 and a fixed random seed
(single thread), then optimised with MMFF94 (UFF if MMFF lacks parameters).
The first line of each record is the molecule's name (_Name).  Files end
with the "$$$$" record separator.  Both README.md files are written from the
same run, so the counts in them are those of the files beside them.

Bond orders: by default RDKit kekulises, so aromatic rings come out as
alternating 1/2.  benzene.sdf is written with kekulize=False, so its ring
bonds have MDL bond type 4 ("aromatic"); the script checks that they do.

V3000 files: the large example is a real folded structure with its
hydrogens, read from Debian's pymol-data demo files (no embedding: the
coordinates are the structure's own) and written with MolToV3KMolBlock.  The
test pairs write one molecule (one set of coordinates) twice, as V2000 with
MolToMolBlock and as V3000 with MolToV3KMolBlock, so a reader must load the
same atoms, bonds and orders from both; V3000 keeps six decimals, V2000 four.

With the same RDKit version the output is byte-identical run to run (the
script checks this by embedding every molecule twice).  Another RDKit
version may move coordinates in the last digits.
"""

import argparse
import io
import os
import sys

from rdkit import Chem, rdBase
from rdkit.Chem import AllChem
from rdkit.Chem.rdMolDescriptors import CalcMolFormula

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXAMPLES = os.path.join(ROOT, "examples")
TESTDATA = os.path.join(ROOT, "tests", "data", "rdkit")
SEED = 20220903

BETA_CYCLODEXTRIN = (
    "OC[C@H]1O[C@@H]2O[C@H]3[C@H](O)[C@@H](O)[C@@H](O[C@H]4[C@H](O)[C@@H](O)"
    "[C@@H](O[C@H]5[C@H](O)[C@@H](O)[C@@H](O[C@H]6[C@H](O)[C@@H](O)[C@@H]"
    "(O[C@H]7[C@H](O)[C@@H](O)[C@@H](O[C@H]8[C@H](O)[C@@H](O)[C@@H](O[C@H]1"
    "[C@H](O)[C@H]2O)O[C@@H]8CO)O[C@@H]7CO)O[C@@H]6CO)O[C@@H]5CO)O[C@@H]4CO)"
    "O[C@@H]3CO")

# A folded protein structure with hydrogens, beyond the 999 atoms of a V2000 counts line
# (Debian package pymol-data).
IL2_PDB = "/usr/share/pymol/data/demo/il2.pdb"

# Immunoglobulin-binding B1 domain of streptococcal protein G (56 residues).
GB1 = "MTYKLILNGKTLKGETTTEAVDAATAEKVFKQYANDNGVDGEWTYDDATKTFTVTE"

# (file name, [records], kekulize, what it is for)
# A record is (name, "smiles:..." or "sequence:...", {SD data fields}).
EXAMPLE_FILES = [
    ("caffeine.sdf",
     [("caffeine", "smiles:CN1C=NC2=C1C(=O)N(C(=O)N2C)C", {})],
     True, "the default example; single and double bonds only (Kekule form)"),
    ("benzene.sdf",
     [("benzene", "smiles:c1ccccc1", {})],
     False, "ring bonds written as MDL bond type 4 (aromatic)"),
    ("acetonitrile.sdf",
     [("acetonitrile", "smiles:CC#N", {})],
     True, "a C#N triple bond (bond type 3)"),
    ("beta_cyclodextrin.sdf",
     [("beta-cyclodextrin", "smiles:" + BETA_CYCLODEXTRIN, {})],
     True, "a large macrocycle of seven glucose units (over 99 atoms)"),
    ("trp_cage.sdf",
     [("Trp-cage miniprotein TC5b", "sequence:NLYIQWLKDGGPSSGRPPPS", {})],
     True, "a 20-residue peptide, neutral termini (over 255 atoms)"),
    ("protein_g_b1.sdf",
     [("protein G B1 domain", "sequence:" + GB1, {})],
     True, "a 56-residue protein chain, embedded unfolded; the largest V2000 example (close to "
           "the 999 atoms a V2000 counts line can hold)"),
]

# A small library in one SD file: the twenty standard amino acids (neutral forms).
AMINO_ACIDS = [
    ("glycine", "NCC(=O)O"), ("alanine", "C[C@H](N)C(=O)O"), ("valine", "CC(C)[C@H](N)C(=O)O"),
    ("leucine", "CC(C)C[C@H](N)C(=O)O"), ("isoleucine", "CC[C@H](C)[C@H](N)C(=O)O"),
    ("proline", "OC(=O)[C@@H]1CCCN1"), ("phenylalanine", "N[C@@H](Cc1ccccc1)C(=O)O"),
    ("tyrosine", "N[C@@H](Cc1ccc(O)cc1)C(=O)O"), ("tryptophan", "N[C@@H](Cc1c[nH]c2ccccc12)C(=O)O"),
    ("serine", "N[C@@H](CO)C(=O)O"), ("threonine", "C[C@@H](O)[C@H](N)C(=O)O"),
    ("cysteine", "N[C@@H](CS)C(=O)O"), ("methionine", "CSCC[C@H](N)C(=O)O"),
    ("asparagine", "NC(=O)C[C@H](N)C(=O)O"), ("glutamine", "NC(=O)CC[C@H](N)C(=O)O"),
    ("aspartic acid", "N[C@@H](CC(=O)O)C(=O)O"), ("glutamic acid", "N[C@@H](CCC(=O)O)C(=O)O"),
    ("lysine", "NCCCC[C@H](N)C(=O)O"), ("arginine", "N[C@@H](CCCNC(=N)N)C(=O)O"),
    ("histidine", "N[C@@H](Cc1c[nH]cn1)C(=O)O"),
]
EXAMPLE_FILES.append(
    ("amino_acids.sdf", [(name, "smiles:" + smiles, {}) for name, smiles in AMINO_ACIDS],
     True, "a small library: 20 records in one SD file; the object shows the first"))

# (file name, molecule name, source, kekulize, what it is for)
V3000_EXAMPLES = [
    ("interleukin2_v3000.mol", "interleukin-2 (pymol-data demo il2.pdb)", "pdb:" + IL2_PDB, True,
     "V3000: a folded protein structure with hydrogens, beyond 999 atoms"),
]

# (base name, molecule name, source, kekulize, substance group atoms, what it is for).
# Each is written as BASE_v2000.mol and BASE_v3000.mol from the same coordinates.
V3000_PAIRS = [
    ("cyanobenzoyl", "4-cyanobenzoyl chloride", "smiles:N#Cc1ccc(cc1)C(=O)Cl", False, 0,
     "bond types 1, 2, 3 and 4 (aromatic, not kekulised) and a two-letter symbol"),
    ("blocks", "aminohydroxy acid with stereo groups",
     "smiles:C[C@H](O)[C@@H](N)CCCCCCCCCC(=O)O |&1:1,3|", True, 40,
     "V3000 blocks a reader passes over: an SGROUP block whose line is continued with -, and "
     "an enhanced-stereo COLLECTION block"),
]

TEST_FILES = [
    ("three_records.sdf",
     [("ethanol", "smiles:CCO", {}),
      ("glycine", "smiles:NCC(=O)O", {}),
      ("chlorobenzene", "smiles:Clc1ccccc1", {})],
     True, "three small molecules; chlorobenzene holds a Cl atom"),
    ("with_properties.sdf",
     [("aspirin", "smiles:CC(=O)Oc1ccccc1C(=O)O",
       {"SMILES": "CC(=O)Oc1ccccc1C(=O)O", "FORMULA": "C9H8O4",
        "NOTE": "data items follow M  END; a reader must skip them"}),
      ("water", "smiles:O", {"SMILES": "O", "FORMULA": "H2O"})],
     True, "SD data items (> <NAME> blocks) between M  END and $$$$"),
    ("charged.sdf",
     [("glycine zwitterion", "smiles:[NH3+]CC(=O)[O-]", {}),
      ("sodium acetate", "smiles:CC(=O)[O-].[Na+]", {})],
     True, "formal charges, given only by M  CHG lines (RDKit writes 0 in the "
           "atom block charge field, and 4 in the valence field of the N+); "
           "the second record has two disconnected fragments, Na+ has no bond"),
]


def build(spec):
    kind, text = spec.split(":", 1)
    if kind == "pdb":
        mol = Chem.MolFromPDBFile(text, removeHs=False)
        if mol is None:
            raise ValueError("RDKit cannot read " + text)
        return mol, "none (structure file coordinates)"
    if kind == "smiles":
        mol = Chem.MolFromSmiles(text)
    elif kind == "sequence":
        mol = Chem.MolFromSequence(text)
    else:
        raise ValueError(spec)
    if mol is None:
        raise ValueError("RDKit cannot parse " + spec)
    mol = Chem.AddHs(mol)
    params = AllChem.ETKDGv3()
    params.randomSeed = SEED
    params.numThreads = 1
    # Random starting coordinates: ETKDG fails on the 300-atom peptide with
    # eigenvector starts; kept for all molecules so they are made alike.
    params.useRandomCoords = True
    if AllChem.EmbedMolecule(mol, params) != 0:
        raise RuntimeError("embedding failed: " + spec)
    if AllChem.MMFFHasAllMoleculeParams(mol):
        field = "MMFF94"
        rc = AllChem.MMFFOptimizeMolecule(mol, maxIters=20000)
    else:
        field = "UFF"
        rc = AllChem.UFFOptimizeMolecule(mol, maxIters=20000)
    if rc != 0:
        raise RuntimeError("%s optimisation did not converge: %s" % (field, spec))
    return mol, field


def sdf_text(records, kekulize):
    """Records as one SD file text, plus facts about each record."""
    buf = io.StringIO()
    writer = Chem.SDWriter(buf)
    writer.SetKekulize(kekulize)
    writer.SetProps(sorted({k for _, _, props in records for k in props}))
    facts = []
    for name, spec, props in records:
        mol, field = build(spec)
        mol.SetProp("_Name", name)
        for key in sorted(props):
            mol.SetProp(key, props[key])
        writer.write(mol)
        facts.append({"name": name, "atoms": mol.GetNumAtoms(),
                      "bonds": mol.GetNumBonds(), "formula": CalcMolFormula(mol),
                      "field": field, "source": spec})
    writer.close()
    return buf.getvalue(), facts


def check_v2000(text, facts, kekulize):
    """Check the text is what a V2000 reader expects; fill in line facts."""
    if not text.endswith("$$$$\n"):
        raise AssertionError("file does not end with $$$$")
    blocks = text.split("$$$$\n")[:-1]
    if len(blocks) != len(facts):
        raise AssertionError("record count")
    for block, f in zip(blocks, facts):
        lines = block.split("\n")
        if lines[0] != f["name"]:
            raise AssertionError("first line %r is not the name %r" % (lines[0], f["name"]))
        counts = lines[3]
        if not counts.endswith("V2000"):
            raise AssertionError("not V2000: %r" % counts)
        n_atoms, n_bonds = int(counts[0:3]), int(counts[3:6])
        if (n_atoms, n_bonds) != (f["atoms"], f["bonds"]) or n_atoms > 999 or n_bonds > 999:
            raise AssertionError("counts line %r" % counts)
        bond_lines = lines[4 + n_atoms:4 + n_atoms + n_bonds]
        orders = sorted({int(b[6:9]) for b in bond_lines})
        if (4 in orders) == kekulize:
            raise AssertionError("bond types %s with kekulize=%s" % (orders, kekulize))
        f["counts_line"] = counts
        f["first_atom_line"] = lines[4]
        f["first_atom_symbol"] = lines[4][31:34].strip()
        f["bond_types"] = orders
        f["charge_lines"] = [l for l in lines if l.startswith("M  CHG")]
        # A second, independent parse: RDKit reads back what it wrote.
        back = Chem.MolFromMolBlock(block, removeHs=False, sanitize=True)
        if back is None or back.GetNumAtoms() != n_atoms or back.GetNumBonds() != n_bonds:
            raise AssertionError("RDKit cannot read back %s" % f["name"])


def make(files, outdir):
    os.makedirs(outdir, exist_ok=True)
    out = []
    for fname, records, kekulize, purpose in files:
        text, facts = sdf_text(records, kekulize)
        again, _ = sdf_text(records, kekulize)
        if again != text:
            raise AssertionError("%s: a second run gives other bytes" % fname)
        check_v2000(text, facts, kekulize)
        text.encode("ascii")
        with open(os.path.join(outdir, fname), "w", newline="\n") as fh:
            fh.write(text)
        print("wrote %s: %s" % (os.path.relpath(os.path.join(outdir, fname), ROOT),
                                ", ".join("%s %d/%d" % (f["name"], f["atoms"], f["bonds"])
                                          for f in facts)))
        out.append((fname, purpose, kekulize, facts))
    return out


def check_v3000(text, mol):
    """Check a V3000 block: counts line, COUNTS line and RDKit reading it back."""
    lines = text.split("\n")
    if not lines[3].endswith("V3000") or lines[4] != "M  V30 BEGIN CTAB":
        raise AssertionError("not a V3000 connection table")
    counts = "M  V30 COUNTS %d %d " % (mol.GetNumAtoms(), mol.GetNumBonds())
    if not lines[5].startswith(counts):
        raise AssertionError("COUNTS line %r" % lines[5])
    back = Chem.MolFromMolBlock(text, removeHs=False, sanitize=False)
    if back is None or back.GetNumAtoms() != mol.GetNumAtoms() or back.GetNumBonds() != mol.GetNumBonds():
        raise AssertionError("RDKit cannot read back the V3000 block")


def write(path, text):
    text.encode("ascii")
    with open(path, "w", newline="\n") as fh:
        fh.write(text)
    print("wrote %s" % os.path.relpath(path, ROOT))


def v3000_molecule(name, spec, sgroup_atoms):
    mol, field = build(spec)
    mol.SetProp("_Name", name)
    if sgroup_atoms:
        group = Chem.CreateMolSubstanceGroup(mol, "SUP")
        for i in range(4, 4 + sgroup_atoms):
            group.AddAtomWithIdx(i)
        group.SetProp("LABEL", "chain")
    return mol, field


def make_v3000_examples():
    made = []
    for fname, name, spec, kekulize, purpose in V3000_EXAMPLES:
        mol, field = v3000_molecule(name, spec, 0)
        text = Chem.MolToV3KMolBlock(mol, kekulize=kekulize)
        if text != Chem.MolToV3KMolBlock(v3000_molecule(name, spec, 0)[0], kekulize=kekulize):
            raise AssertionError("%s: a second run gives other bytes" % fname)
        check_v3000(text, mol)
        if mol.GetNumAtoms() <= 999:
            raise AssertionError("%s: not beyond 999 atoms" % fname)
        write(os.path.join(EXAMPLES, fname), text)
        block = text.split("M  V30 BEGIN BOND\n")[1].split("M  V30 END BOND")[0]
        orders = sorted({int(line.split()[3]) for line in block.splitlines()})
        made.append((fname, purpose, kekulize, [{
            "name": name, "atoms": mol.GetNumAtoms(), "bonds": mol.GetNumBonds(),
            "formula": CalcMolFormula(mol), "field": field, "source": spec, "bond_types": orders}]))
    return made


def make_v3000_pairs():
    rows = []
    for base, name, spec, kekulize, sgroup_atoms, purpose in V3000_PAIRS:
        mol, _ = v3000_molecule(name, spec, sgroup_atoms)
        again, _ = v3000_molecule(name, spec, sgroup_atoms)
        # RDKit writes V3000 for enhanced stereo, which V2000 cannot hold: the V2000 form goes without.
        plain = Chem.RWMol(mol)
        plain.SetStereoGroups([])
        v2000 = Chem.MolToMolBlock(plain, kekulize=kekulize)
        v3000 = Chem.MolToV3KMolBlock(mol, kekulize=kekulize)
        if v3000 != Chem.MolToV3KMolBlock(again, kekulize=kekulize):
            raise AssertionError("%s: a second run gives other bytes" % base)
        if not v2000.split("\n")[3].endswith("V2000"):
            raise AssertionError("%s: V2000 block expected" % base)
        check_v3000(v3000, mol)
        if sgroup_atoms and "-\nM  V30 " not in v3000:
            raise AssertionError("%s: no continued line" % base)
        write(os.path.join(TESTDATA, base + "_v2000.mol"), v2000)
        write(os.path.join(TESTDATA, base + "_v3000.mol"), v3000)
        rows.append((base, name, mol.GetNumAtoms(), mol.GetNumBonds(), purpose))
    return rows


def intro():
    return ("Generated by `tools/make_examples.py` with RDKit %s (ETKDGv3 embedding,\n"
            "random seed %d, explicit hydrogens, then force-field optimisation).\n"
            "Do not edit by hand: run `/usr/bin/python3 tools/make_examples.py` again.\n"
            "The SD files are MDL V2000; each record's first line is the\n"
            "molecule's name and each record ends with a `$$$$` line. Files named\n"
            "`*_v3000.mol` are MOL files with a V3000 connection table.\n"
            % (rdBase.rdkitVersion, SEED))


def write_examples_readme(made):
    rows = ["# Example molecules", "", intro(),
            "| file | molecule | formula | atoms | bonds | bond types | force field | notes |",
            "| --- | --- | --- | --- | --- | --- | --- | --- |"]
    for fname, purpose, kekulize, facts in made:
        for f in facts:
            rows.append("| `%s` | %s | %s | %d | %d | %s | %s | %s |" % (
                fname, f["name"], f["formula"], f["atoms"], f["bonds"],
                ", ".join(map(str, f["bond_types"])), f["field"], purpose))
    rows += ["", "Atom and bond counts include the hydrogens (records of `amino_acids.sdf` are",
             "listed one a row). Bond types are MDL codes:",
             "1 single, 2 double, 3 triple, 4 aromatic.", "",
             "Sources: `caffeine`, `benzene`, `acetonitrile` and `beta-cyclodextrin` are",
             "built from SMILES, the Trp-cage peptide and the protein G B1 domain from",
             "their one-letter sequences NLYIQWLKDGGPSSGRPPPS and",
             GB1 + ". `amino_acids.sdf` is built from SMILES, one record per amino acid.",
             "`interleukin2_v3000.mol` is not embedded: it is the folded structure of the",
             "demo file `il2.pdb` of Debian's `pymol-data` package, hydrogens included,",
             "read and written by RDKit (bond orders from RDKit's residue templates,",
             "kekulised). See `docs/data.md`.", "",
             "`1tii.pdb.gz` is not written by this script: it is the demo entry `1tii.pdb`",
             "of `pymol-data` (heat-labile enterotoxin type IIB, 5684 atoms, no hydrogens) as",
             "it is, gzip-compressed by `tools/make_structures.py`; `vireltan-host` reads it",
             "(see `docs/usage.md`).", ""]
    with open(os.path.join(EXAMPLES, "README.md"), "w", newline="\n") as fh:
        fh.write("\n".join(rows))


def write_tests_readme(made, pairs):
    rows = ["# RDKit-written SD files for the reader tests", "", intro(),
            "Made by `/usr/bin/python3 tools/make_examples.py --tests` (the default run",
            "writes them too). A reader that loads one molecule loads the **first**",
            "record; the facts below are those of the first record unless a table row",
            "says otherwise.", ""]
    for fname, purpose, kekulize, facts in made:
        first = facts[0]
        rows += ["## `%s`" % fname, "",
                 "%s. %d record%s." % (purpose[0].upper() + purpose[1:], len(facts),
                                       "" if len(facts) == 1 else "s"), "",
                 "- first record name (line 1): `%s`" % first["name"],
                 "- first record atoms: %d" % first["atoms"],
                 "- first record bonds: %d" % first["bonds"],
                 "- first atom symbol: `%s`" % first["first_atom_symbol"],
                 "- counts line: `%s`" % first["counts_line"],
                 "- first atom line: `%s`" % first["first_atom_line"]]
        if first["charge_lines"]:
            rows.append("- charge lines: %s" % ", ".join("`%s`" % l for l in first["charge_lines"]))
        rows += ["", "| record | name | formula | atoms | bonds | first atom | bond types |",
                 "| --- | --- | --- | --- | --- | --- | --- |"]
        for i, f in enumerate(facts, 1):
            rows.append("| %d | %s | %s | %d | %d | %s | %s |" % (
                i, f["name"], f["formula"], f["atoms"], f["bonds"],
                f["first_atom_symbol"], ", ".join(map(str, f["bond_types"]))))
        rows.append("")
    rows += ["## V3000 and V2000 pairs", "",
             "`BASE_v2000.mol` and `BASE_v3000.mol` hold the same molecule with the same",
             "coordinates (V2000 rounded to four decimals, V3000 to six) and the same bonds.", "",
             "| base | name | atoms | bonds | what it holds |", "| --- | --- | --- | --- | --- |"]
    for base, name, atoms, bonds, purpose in pairs:
        rows.append("| `%s` | %s | %d | %d | %s |" % (base, name, atoms, bonds, purpose))
    rows.append("")
    with open(os.path.join(TESTDATA, "README.md"), "w", newline="\n") as fh:
        fh.write("\n".join(rows))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--examples", action="store_true", help="write examples/ only")
    ap.add_argument("--tests", action="store_true", help="write tests/data/rdkit/ only")
    args = ap.parse_args()
    both = not args.examples and not args.tests
    if args.examples or both:
        write_examples_readme(make(EXAMPLE_FILES, EXAMPLES) + make_v3000_examples())
    if args.tests or both:
        write_tests_readme(make(TEST_FILES, TESTDATA), make_v3000_pairs())
    return 0


if __name__ == "__main__":
    sys.exit(main())
