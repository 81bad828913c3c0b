#!/usr/bin/python3
"""Writes the protein example examples/1tii.pdb.gz and the structure test files under
tests/data/structures/ from the demo PDB files of Debian's pymol-data (/usr/share/pymol/data/demo),
with gemmi's Python module (python3-gemmi):

- examples/1tii.pdb.gz: 1tii.pdb as it is, gzip-compressed;

- pept.cif, 1tii.cif.gz: mmCIF twins of pept.pdb and 1tii.pdb, written by gemmi;
- pept_models.pdb, pept_models.cif: three models of pept.pdb, each moved by a different offset;
- pept_altloc.pdb: pept.pdb where residue 2 has conformers A and B, and residue 3 conformers B and C
  (a first letter other than A), the later conformer moved by 0.8 Å;
- pept_old.pdb: pept.pdb as old files are: no element columns, an entry code and serial in columns 73-80.

Run: /usr/bin/python3 tools/make_structures.py
"""
import gzip
import os

import gemmi

DEMO = "/usr/share/pymol/data/demo"
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "tests", "data", "structures")
EXAMPLES = os.path.join(HERE, "..", "examples")


def pdb_lines(name):
    with open(os.path.join(DEMO, name)) as f:
        return f.read().splitlines()


def write(name, lines):
    with open(os.path.join(OUT, name), "w") as f:
        f.write("\n".join(lines) + "\n")


def moved(line, dx, dy, dz):
    x, y, z = float(line[30:38]) + dx, float(line[38:46]) + dy, float(line[46:54]) + dz
    return line[:30] + "%8.3f%8.3f%8.3f" % (x, y, z) + line[54:]


def header(classification, date, code):
    return "HEADER    %-40s%-9s   %-4s" % (classification, date, code)


def is_atom(line):
    return line.startswith("ATOM") or line.startswith("HETATM")


def mmcif_twin(pdb_path, cif_path, gz=False):
    st = gemmi.read_structure(pdb_path)
    st.setup_entities()
    doc = st.make_mmcif_document()
    text = doc.as_string()
    if gz:
        with gzip.GzipFile(cif_path, "wb", mtime=0) as f:
            f.write(text.encode())
    else:
        with open(cif_path, "w") as f:
            f.write(text)


def main():
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(DEMO, "1tii.pdb"), "rb") as f, \
            gzip.GzipFile(os.path.join(EXAMPLES, "1tii.pdb.gz"), "wb", mtime=0) as out:
        out.write(f.read())
    mmcif_twin(os.path.join(DEMO, "pept.pdb"), os.path.join(OUT, "pept.cif"))
    mmcif_twin(os.path.join(DEMO, "1tii.pdb"), os.path.join(OUT, "1tii.cif.gz"), gz=True)

    pept = [l for l in pdb_lines("pept.pdb") if is_atom(l)]
    models = [header("TEST PEPTIDE", "01-JAN-00", "PEPM")]
    for n, offset in enumerate([(0, 0, 0), (1.5, 0, 0), (0, -2.25, 3)], start=1):
        models.append("MODEL     %4d" % n)
        models += [moved(l, *offset) for l in pept]
        models.append("ENDMDL")
    models.append("END")
    write("pept_models.pdb", models)
    mmcif_twin(os.path.join(OUT, "pept_models.pdb"), os.path.join(OUT, "pept_models.cif"))

    altloc = []
    for l in pept:
        residue = int(l[22:26])
        if residue == 2:
            altloc.append(l[:16] + "A" + l[17:])
            altloc.append(moved(l[:16] + "B" + l[17:], 0.8, 0, 0))
        elif residue == 3:
            altloc.append(l[:16] + "B" + l[17:])
            altloc.append(moved(l[:16] + "C" + l[17:], 0, 0.8, 0))
        else:
            altloc.append(l)
    write("pept_altloc.pdb", altloc + ["END"])

    old = [header("TEST PEPTIDE, OLD COLUMNS", "01-JAN-80", "PEPO")]
    for i, l in enumerate(pept, start=1):
        old.append(l[:72].ljust(72) + "PEPO%4d" % i)
    write("pept_old.pdb", old + ["END"])


if __name__ == "__main__":
    main()
