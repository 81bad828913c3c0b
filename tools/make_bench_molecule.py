#!/usr/bin/python3
"""Write bench/data/procaine27.sdf: one MDL V2000 record of exactly 999 atoms and
999 bonds for the benchmarks, with realistic coordinates.

Run with Debian's system Python (package python3-rdkit):

    /usr/bin/python3 tools/make_bench_molecule.py [--check]

The record is 27 molecules of procaine (C13H20N2O2: 37 atoms and, with its
one ring, 37 bonds), as in a loosely packed box: 27 conformers embedded with
ETKDGv3 and a fixed random seed (single thread), optimised with MMFF94, each
turned by a seeded random rotation and centred on a point of a 3 x 3 x 3 grid
18 Angstrom apart (a procaine molecule is about 16 Angstrom long). Bond orders
are Kekule (1 and 2). A single 999-atom chain would take ETKDG many minutes
to embed on a small machine; 27 small molecules take seconds.

--check regenerates the record and exits 1 when it differs from the file.
"""

import argparse
import math
import os
import random
import sys

from rdkit import Chem, rdBase
from rdkit.Chem import AllChem
from rdkit.Geometry import Point3D

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUTPUT = os.path.join(ROOT, "bench", "data", "procaine27.sdf")
SMILES = "CCN(CC)CCOC(=O)c1ccc(N)cc1"
COPIES = 27
SPACING = 18.0
SEED = 20260913


def rotation(rng):
    """A uniformly random rotation matrix (Shoemake's quaternion method)."""
    u1, u2, u3 = rng.random(), rng.random(), rng.random()
    a, b = math.sqrt(1.0 - u1), math.sqrt(u1)
    x, y = a * math.sin(2 * math.pi * u2), a * math.cos(2 * math.pi * u2)
    z, w = b * math.sin(2 * math.pi * u3), b * math.cos(2 * math.pi * u3)
    return [
        [1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
        [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
        [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)],
    ]


def build():
    mol = Chem.AddHs(Chem.MolFromSmiles(SMILES))
    params = AllChem.ETKDGv3()
    params.randomSeed = SEED
    params.numThreads = 1
    ids = list(AllChem.EmbedMultipleConfs(mol, numConfs=COPIES, params=params))
    if len(ids) != COPIES:
        raise RuntimeError("embedding gave %d conformers, not %d" % (len(ids), COPIES))
    for cid, (converged, _) in zip(ids, AllChem.MMFFOptimizeMoleculeConfs(mol, numThreads=1, maxIters=20000)):
        if converged != 0:
            raise RuntimeError("MMFF94 did not converge for conformer %d" % cid)

    rng = random.Random(SEED)
    box = None
    for k, cid in enumerate(ids):
        conf = mol.GetConformer(cid)
        pts = [conf.GetAtomPosition(i) for i in range(mol.GetNumAtoms())]
        cx = sum(p.x for p in pts) / len(pts)
        cy = sum(p.y for p in pts) / len(pts)
        cz = sum(p.z for p in pts) / len(pts)
        r = rotation(rng)
        offset = [SPACING * (k % 3 - 1), SPACING * (k // 3 % 3 - 1), SPACING * (k // 9 - 1)]
        copy = Chem.Mol(mol, confId=cid)
        target = copy.GetConformer()
        for i, p in enumerate(pts):
            v = (p.x - cx, p.y - cy, p.z - cz)
            target.SetAtomPosition(i, Point3D(*(sum(r[a][b] * v[b] for b in range(3)) + offset[a] for a in range(3))))
        box = copy if box is None else Chem.CombineMols(box, copy)
    box.SetProp("_Name", "procaine x27 (999 atoms, 999 bonds)")
    block = Chem.MolToMolBlock(box, kekulize=True)
    counts = block.splitlines()[3]
    if counts[:6] != "999999":
        raise RuntimeError("counts line is not 999 atoms, 999 bonds: " + counts)
    return block + "$$$$\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="exit 1 when the file differs from a fresh build")
    args = parser.parse_args()
    rdBase.DisableLog("rdApp.warning")
    text = build()
    if build() != text:
        raise RuntimeError("two builds of the record differ")
    if args.check:
        with open(OUTPUT) as f:
            same = f.read() == text
        print("%s: %s" % (OUTPUT, "up to date" if same else "differs from a fresh build"))
        return 0 if same else 1
    with open(OUTPUT, "w") as f:
        f.write(text)
    print("wrote %s (RDKit %s)" % (OUTPUT, rdBase.rdkitVersion))
    return 0


if __name__ == "__main__":
    sys.exit(main())
