#!/usr/bin/python3
"""Write a large molecule for the scale benchmarks and tests: copies of a real protein laid on a
cubic grid, as one MDL V3000 record (V2000 stops at 999 atoms).

    tools/tile_molecule.py ATOMS OUT.sdf [--source FILE]

The source (default examples/protein_g_b1.sdf, 859 atoms) is read from its V2000 or V3000
connection table; copies of it, each shifted by whole multiples of its extent plus 4 Angstrom,
fill the grid until ATOMS atoms are written (the last copy is cut there, and keeps only the
bonds between the atoms it kept). Standard library only, so that it runs wherever Python does.
"""

import argparse
import math
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE = os.path.join(ROOT, "examples", "protein_g_b1.sdf")
GAP = 4.0


def read_table(path):
    """Atoms (symbol, x, y, z) and bonds (first, second, order; from 1) of the first record."""
    with open(path, encoding="ascii", errors="replace") as f:
        lines = f.read().split("$$$$")[0].splitlines()
    if len(lines) < 4:
        raise ValueError(f"{path}: no connection table")
    if "V3000" in lines[3]:
        return read_v3000(lines[4:])
    atoms_n, bonds_n = int(lines[3][0:3]), int(lines[3][3:6])
    atoms = []
    for line in lines[4:4 + atoms_n]:
        atoms.append((line[31:34].strip(), float(line[0:10]), float(line[10:20]), float(line[20:30])))
    bonds = []
    for line in lines[4 + atoms_n:4 + atoms_n + bonds_n]:
        bonds.append((int(line[0:3]), int(line[3:6]), int(line[6:9])))
    return atoms, bonds


def read_v3000(lines):
    joined, pending = [], ""
    for line in lines:
        if not line.startswith("M  V30 "):
            continue
        text = pending + line[7:]
        if text.endswith("-"):
            pending = text[:-1]
            continue
        pending = ""
        joined.append(text)
    atoms, bonds, block = [], [], None
    for text in joined:
        words = text.split()
        if words[:1] == ["BEGIN"]:
            block = words[1]
        elif words[:1] == ["END"]:
            block = None
        elif block == "ATOM":
            atoms.append((words[1], float(words[2]), float(words[3]), float(words[4])))
        elif block == "BOND":
            bonds.append((int(words[2]), int(words[3]), int(words[1])))
    return atoms, bonds


def tile(atoms, bonds, count):
    """Copies on a grid until `count` atoms; returns the atoms and bonds of the whole."""
    lo = [min(a[k] for a in atoms) for k in (1, 2, 3)]
    hi = [max(a[k] for a in atoms) for k in (1, 2, 3)]
    step = [h - l + GAP for l, h in zip(lo, hi)]
    copies = -(-count // len(atoms))
    side = max(1, math.ceil(copies ** (1.0 / 3.0) - 1e-9))
    out_atoms, out_bonds = [], []
    for c in range(copies):
        shift = (c % side * step[0], c // side % side * step[1], c // (side * side) * step[2])
        base = len(out_atoms)
        keep = min(len(atoms), count - base)
        for symbol, x, y, z in atoms[:keep]:
            out_atoms.append((symbol, x + shift[0], y + shift[1], z + shift[2]))
        for first, second, order in bonds:
            if first <= keep and second <= keep:
                out_bonds.append((base + first, base + second, order))
    return out_atoms, out_bonds


def write_v3000(path, name, atoms, bonds):
    with open(path, "w", encoding="ascii") as f:
        f.write(f"{name}\n  tile_molecule.py\n\n  0  0  0  0  0  0  0  0  0  0999 V3000\n")
        f.write("M  V30 BEGIN CTAB\n")
        f.write(f"M  V30 COUNTS {len(atoms)} {len(bonds)} 0 0 0\n")
        f.write("M  V30 BEGIN ATOM\n")
        for i, (symbol, x, y, z) in enumerate(atoms, 1):
            f.write(f"M  V30 {i} {symbol} {x:.4f} {y:.4f} {z:.4f} 0\n")
        f.write("M  V30 END ATOM\nM  V30 BEGIN BOND\n")
        for i, (first, second, order) in enumerate(bonds, 1):
            f.write(f"M  V30 {i} {order} {first} {second}\n")
        f.write("M  V30 END BOND\nM  V30 END CTAB\nM  END\n$$$$\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("atoms", type=int, help="atoms to write (at least 1)")
    parser.add_argument("output", help="the .sdf file to write")
    parser.add_argument("--source", default=SOURCE, help="the molecule to tile")
    args = parser.parse_args()
    if args.atoms < 1:
        parser.error("ATOMS must be at least 1")
    atoms, bonds = read_table(args.source)
    if not atoms:
        parser.error(f"{args.source} holds no atoms")
    tiled_atoms, tiled_bonds = tile(atoms, bonds, args.atoms)
    name = f"{os.path.basename(args.source).rsplit('.', 1)[0]} x{-(-args.atoms // len(atoms))} ({args.atoms} atoms)"
    write_v3000(args.output, name, tiled_atoms, tiled_bonds)
    return 0


if __name__ == "__main__":
    sys.exit(main())
