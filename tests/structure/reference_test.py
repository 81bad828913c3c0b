#!/usr/bin/python3
"""vireltan-host convert against an independent reader: RDKit's PDB reader (proximity bonding) reads
the demo entries of Debian's pymol-data, RDKit's MDL reader reads back what convert wrote of them and of
their mmCIF twins, and both must give the same atoms, coordinates and bonds.

Usage: reference_test.py VIRELTAN_HOST PLUGINS_FOLDER STRUCTURE_DATA_FOLDER
"""
import os
import subprocess
import sys
import tempfile
import unittest

from rdkit import Chem, RDLogger

RDLogger.DisableLog("rdApp.*")
TOOL, PLUGINS, DATA = sys.argv[1:4]
DEMO = "/usr/share/pymol/data/demo/"


def from_pdb(path):
    """Every model of a PDB file as RDKit reads it: one molecule, a conformer per model."""
    mol = Chem.MolFromPDBFile(path, removeHs=False, sanitize=False, proximityBonding=True)
    assert mol is not None, "RDKit cannot read " + path
    return mol


def converted(source, folder):
    """The records convert writes of `source`, as RDKit reads them back, and the file's text."""
    out = os.path.join(folder, os.path.basename(source) + ".sdf")
    run = subprocess.run([TOOL, "--plugins", PLUGINS, "convert", source, "-o", out], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    records = [m for m in Chem.SDMolSupplier(out, removeHs=False, sanitize=False)]
    assert all(m is not None for m in records), "RDKit could not read a record of " + out
    with open(out) as f:
        return records, f.read()


def bond_pairs(mol):
    return {tuple(sorted((b.GetBeginAtomIdx(), b.GetEndAtomIdx()))) for b in mol.GetBonds()}


class ConvertAgainstRdkit(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.folder.cleanup()

    def assertSameMolecule(self, record, reference, conformer=0):
        self.assertEqual(record.GetNumAtoms(), reference.GetNumAtoms())
        self.assertEqual([a.GetSymbol() for a in record.GetAtoms()], [a.GetSymbol() for a in reference.GetAtoms()])
        ours, theirs = record.GetConformer().GetPositions(), reference.GetConformer(conformer).GetPositions()
        self.assertLess(abs(ours - theirs).max(), 1e-4)
        self.assertEqual(bond_pairs(record), bond_pairs(reference))

    def test_demo_entries_and_their_mmcif_twins(self):
        cases = [("pept.pdb", DEMO + "pept.pdb", "V2000"), ("pept.pdb", os.path.join(DATA, "pept.cif"), "V2000"),
                 ("il2.pdb", DEMO + "il2.pdb", "V3000"), ("1tii.pdb", DEMO + "1tii.pdb", "V3000"),
                 ("1tii.pdb", os.path.join(DATA, "1tii.cif.gz"), "V3000")]
        for name, source, version in cases:
            with self.subTest(source=source):
                reference = from_pdb(DEMO + name)
                records, text = converted(source, self.folder.name)
                self.assertEqual(len(records), 1)
                self.assertIn(version, text.splitlines()[3])
                self.assertSameMolecule(records[0], reference)
                print("%s: %d atoms, %d bonds; RDKit's PDB reader: %d atoms, %d bonds" % (os.path.basename(source),
                      records[0].GetNumAtoms(), records[0].GetNumBonds(), reference.GetNumAtoms(), reference.GetNumBonds()))

    def test_every_model_is_a_record(self):
        reference = from_pdb(os.path.join(DATA, "pept_models.pdb"))
        self.assertEqual(reference.GetNumConformers(), 3)
        for source in ("pept_models.pdb", "pept_models.cif"):
            with self.subTest(source=source):
                records, _ = converted(os.path.join(DATA, source), self.folder.name)
                self.assertEqual(len(records), 3)
                for k, record in enumerate(records):
                    self.assertEqual(record.GetProp("_Name"), "PEPM")
                    self.assertSameMolecule(record, reference, conformer=k)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
