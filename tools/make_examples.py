#!/usr/bin/python3
"""Write the example molecules (examples/) and the reader test data
(tests/data/rdkit/) as MDL V2000 SD files, with RDKit.

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
     True, "a 56-residue protein chain, embedded unfolded; the largest example (close to "
           "the 999 atoms a V2000 counts line can hold)"),
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


def intro():
    return ("Generated by `tools/make_examples.py` with RDKit %s (ETKDGv3 embedding,\n"
            "random seed %d, explicit hydrogens, then force-field optimisation).\n"
            "Do not edit by hand: run `/usr/bin/python3 tools/make_examples.py` again.\n"
            "All files are MDL V2000 SD files; each record's first line is the\n"
            "molecule's name and each record ends with a `$$$$` line.\n"
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
    rows += ["", "Atom and bond counts include the hydrogens. Bond types are MDL codes:",
             "1 single, 2 double, 3 triple, 4 aromatic.", "",
             "Sources: `caffeine`, `benzene`, `acetonitrile` and `beta-cyclodextrin` are",
             "built from SMILES, the Trp-cage peptide and the protein G B1 domain from",
             "their one-letter sequences NLYIQWLKDGGPSSGRPPPS and",
             GB1 + ". See `docs/data.md`.", ""]
    with open(os.path.join(EXAMPLES, "README.md"), "w", newline="\n") as fh:
        fh.write("\n".join(rows))


def write_tests_readme(made):
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
    with open(os.path.join(TESTDATA, "README.md"), "w", newline="\n") as fh:
        fh.write("\n".join(rows))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--examples", action="store_true", help="write examples/ only")
    ap.add_argument("--tests", action="store_true", help="write tests/data/rdkit/ only")
    args = ap.parse_args()
    both = not args.examples and not args.tests
    if args.examples or both:
        write_examples_readme(make(EXAMPLE_FILES, EXAMPLES))
    if args.tests or both:
        write_tests_readme(make(TEST_FILES, TESTDATA))
    return 0


if __name__ == "__main__":
    sys.exit(main())
