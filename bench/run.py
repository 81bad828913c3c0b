#!/usr/bin/python3
"""Runs the benchmarks and their peers in one go, prints one table of ratios and
writes it, with the method and the machine, to bench/README.md.

    /usr/bin/python3 bench/run.py BUILD_DIR [--runs N] [--repetitions N] [--no-write]

BUILD_DIR is a release build holding vireltan-host and bench/vireltan_bench
(`make bench` makes build/bench and runs this). Needs Debian's python3-rdkit
and pymol (deps/bench-packages.txt).
"""

import argparse
import datetime
import json
import os
import platform
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RECORD = os.path.join(ROOT, "bench", "data", "procaine27.sdf")
LARGEST = os.path.join(ROOT, "examples", "protein_g_b1.sdf")
TILE = os.path.join(ROOT, "tools", "tile_molecule.py")
FIRST_FRAME = os.path.join(ROOT, "tools", "preview", "first-frame.js")
BLENDER_IMPORT = os.path.join(ROOT, "tools", "blender_import.py")
README = os.path.join(ROOT, "bench", "README.md")
PYMOL_SCRIPT = "hide everything; show spheres; show sticks; set sphere_scale,0.25; save {out}"
# A real protein from Debian's pymol-data, and PyMOL's commands on it as a user would give them.
PROTEIN = "/usr/share/pymol/data/demo/1tii.pdb"
SMALL_PDB = "/usr/share/pymol/data/demo/pept.pdb"
PYMOL_PROTEIN_SCRIPT = "hide everything; show spheres; show sticks; save {out}"
TILED_COPIES = 18  # copies of the protein side by side: 102,312 atoms
ONE_ATOM = """one carbon atom

  made by bench/run.py
  1  0  0  0  0  0  0  0  0  0999 V2000
    0.0000    0.0000    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0
M  END
$$$$
"""


def fail(message):
    sys.exit("bench: " + message)


# ---- Google Benchmark -------------------------------------------------------------------------

def run_google_benchmark(exe, repetitions, min_time, out_json, reuse, only=None):
    cmd = [exe, "--benchmark_repetitions=%d" % repetitions, "--benchmark_min_time=%g" % min_time,
           "--benchmark_report_aggregates_only=true",
           "--benchmark_out=" + out_json, "--benchmark_out_format=json"]
    if only:
        cmd.append("--benchmark_filter=" + only)
    if not reuse:
        print("$ " + " ".join(cmd), flush=True)
        if subprocess.run(cmd).returncode != 0:
            fail("the benchmark program failed")
    with open(out_json) as f:
        data = json.load(f)
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    medians = {}
    for b in data["benchmarks"]:
        if b.get("error_occurred"):
            fail("benchmark %s: %s" % (b["name"], b.get("error_message", "error")))
        # One repetition has no aggregates: its single run is the median.
        if b.get("aggregate_name", "median" if repetitions == 1 else None) != "median":
            continue
        name = b["run_name"]
        unit = scale[b["time_unit"]]
        medians[name] = {"cpu": b["cpu_time"] * unit, "wall": b["real_time"] * unit, "counters": b}
    return data["context"], medians


# ---- RDKit in process -------------------------------------------------------------------------

def time_rdkit(path, batches=7, min_batch_seconds=0.3):
    """Median CPU and wall seconds per MolFromMolBlock call on the file's bytes."""
    from rdkit import Chem
    with open(path) as f:
        block = f.read()
    mol = Chem.MolFromMolBlock(block, sanitize=False, removeHs=False)
    if mol is None:
        fail("RDKit could not read " + path)
    reps = 1
    while True:
        start = time.process_time()
        for _ in range(reps):
            Chem.MolFromMolBlock(block, sanitize=False, removeHs=False)
        if time.process_time() - start >= min_batch_seconds:
            break
        reps *= 2
    cpu, wall = [], []
    for _ in range(batches):
        c0, w0 = time.process_time(), time.perf_counter()
        for _ in range(reps):
            Chem.MolFromMolBlock(block, sanitize=False, removeHs=False)
        cpu.append((time.process_time() - c0) / reps)
        wall.append((time.perf_counter() - w0) / reps)
    return {"cpu": statistics.median(cpu), "wall": statistics.median(wall), "atoms": mol.GetNumAtoms(),
            "bonds": mol.GetNumBonds(), "calls": reps * batches}


# ---- whole processes --------------------------------------------------------------------------

def run_process(measure, cmd, output, env, report):
    """Runs cmd once; wall seconds, CPU seconds (user + system) and peak resident kB."""
    if os.path.exists(output):
        os.remove(output)
    proc = subprocess.run([measure, report] + cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    # PyMOL exits 0 even when it refuses to write a format: the file is what counts.
    if proc.returncode != 0 or not os.path.exists(output) or os.path.getsize(output) == 0:
        fail("%s wrote no %s (exit %d): %s" % (cmd[0], output, proc.returncode,
                                               proc.stderr.decode(errors="replace").strip()[-500:]))
    with open(report) as f:
        wall, user, system, rss_kb, _ = f.read().split()
    return {"wall": float(wall), "cpu": float(user) + float(system), "rss_kb": int(rss_kb)}


def glb_triangles(path):
    """Triangles of every node's mesh, counting a shared mesh once per node that shows it."""
    with open(path, "rb") as f:
        data = f.read()
    magic, version, _ = struct.unpack_from("<4sII", data, 0)
    if magic != b"glTF" or version != 2:
        fail(path + " is no binary glTF 2.0 file")
    length, kind = struct.unpack_from("<II", data, 12)
    if kind != 0x4E4F534A:
        fail(path + " does not start with a JSON chunk")
    gltf = json.loads(data[20:20 + length])
    accessors, meshes = gltf.get("accessors", []), gltf.get("meshes", [])
    per_mesh = [sum(accessors[p["indices"]]["count"] // 3 for p in m["primitives"]) for m in meshes]
    return sum(per_mesh[n["mesh"]] for n in gltf.get("nodes", []) if "mesh" in n)


def dae_triangles(path):
    """Triangles of a COLLADA file: each polygon of n corners is n - 2, per instance of its geometry."""
    ns = "{http://www.collada.org/2005/11/COLLADASchema}"
    per_geometry, instances = {}, {}
    current = None
    for event, el in ET.iterparse(path, events=("start", "end")):
        tag = el.tag.replace(ns, "")
        if event == "start" and tag == "geometry":
            current = el.get("id")
            per_geometry[current] = 0
        elif event == "end" and tag == "polylist":
            vcount = el.find(ns + "vcount")
            counts = [int(v) for v in vcount.text.split()] if vcount is not None and vcount.text else []
            per_geometry[current] += sum(max(v - 2, 0) for v in counts)
            el.clear()
        elif event == "end" and tag == "triangles":
            per_geometry[current] += int(el.get("count", "0"))
            el.clear()
        elif event == "end" and tag == "instance_geometry":
            url = el.get("url", "").lstrip("#")
            instances[url] = instances.get(url, 0) + 1
        elif event == "end" and tag in ("float_array", "p"):
            el.clear()
    return sum(per_geometry.get(g, 0) * n for g, n in instances.items())


def compare_processes(host, measure, runs, workdir):
    out_glb = os.path.join(workdir, "out.glb")
    out_dae = os.path.join(workdir, "out.dae")
    # The one-atom runs write files of their own: the record's outputs are counted afterwards.
    one_glb = os.path.join(workdir, "one-atom.glb")
    one_dae = os.path.join(workdir, "one-atom.dae")
    one_atom = os.path.join(workdir, "one_atom.sdf")
    report = os.path.join(workdir, "measured.txt")
    with open(one_atom, "w") as f:
        f.write(ONE_ATOM)
    ours = [host, "export", RECORD, "-o", out_glb]
    baseline = [host, "export", one_atom, "-o", one_glb]
    theirs = ["pymol", "-cq", RECORD, "-d", PYMOL_SCRIPT.format(out=out_dae)]
    their_baseline = ["pymol", "-cq", one_atom, "-d", PYMOL_SCRIPT.format(out=one_dae)]
    # Debian's pymol wrapper runs the first python3 on the PATH; it must be Debian's own.
    env = dict(os.environ, PATH="/usr/bin:/bin:" + os.environ.get("PATH", ""))

    # One run of each first, unmeasured: it fills the page cache.
    for cmd, out in ((ours, out_glb), (theirs, out_dae), (baseline, one_glb), (their_baseline, one_dae)):
        run_process(measure, cmd, out, env, report)
    results = {"vireltan": [], "pymol": [], "baseline": [], "pymol_baseline": []}
    for i in range(runs):
        print("  whole-process run %d of %d" % (i + 1, runs), flush=True)
        results["vireltan"].append(run_process(measure, ours, out_glb, env, report))
        results["pymol"].append(run_process(measure, theirs, out_dae, env, report))
        results["baseline"].append(run_process(measure, baseline, one_glb, env, report))
        results["pymol_baseline"].append(run_process(measure, their_baseline, one_dae, env, report))
    run_process(measure, ours, out_glb, env, report)
    summary = {name: {key: statistics.median(r[key] for r in rs) for key in ("wall", "cpu", "rss_kb")}
               for name, rs in results.items()}
    for name, rs in results.items():
        summary[name]["rss_kb_max"] = max(r["rss_kb"] for r in rs)
        summary[name]["runs"] = len(rs)
    summary["vireltan"]["triangles"] = glb_triangles(out_glb)
    summary["vireltan"]["bytes"] = os.path.getsize(out_glb)
    summary["pymol"]["triangles"] = dae_triangles(out_dae)
    summary["pymol"]["bytes"] = os.path.getsize(out_dae)
    return summary


# ---- large molecules ----------------------------------------------------------------------------

SCALE_ATOMS = (10000, 100000, 1000000)


def glb_counts(path):
    """Meshes and nodes of a .glb file."""
    with open(path, "rb") as f:
        head = f.read(20)
        length = struct.unpack_from("<I", head, 12)[0]
        gltf = json.loads(f.read(length))
    return len(gltf.get("meshes", [])), len(gltf.get("nodes", []))


# Whole-process runs of the 10k and 100k-atom exports and of PyMOL on 10k atoms: one run's CPU
# swings by half with the kernel's cost of first touches (zeroed pages), so medians of these.
SCALE_RUNS = 3


def median_run(runs):
    """The run of median CPU, with the highest peak memory of all."""
    ordered = sorted(runs, key=lambda r: r["cpu"])
    median = dict(ordered[len(ordered) // 2])
    median["rss_kb"] = max(r["rss_kb"] for r in runs)
    return median


def scale_runs(host, measure, workdir, env, sizes=SCALE_ATOMS):
    """Each tiled molecule exported as a whole process (the median of SCALE_RUNS up to 10^5 atoms,
    once at 10^6), and PyMOL on the 10k-atom one (the median of SCALE_RUNS)."""
    report = os.path.join(workdir, "measured.txt")
    results = {}
    for atoms in sizes:
        sdf = os.path.join(workdir, "tiled_%d.sdf" % atoms)
        if not os.path.exists(sdf):
            subprocess.run([sys.executable, TILE, str(atoms), sdf], check=True)
        out = os.path.join(workdir, "tiled_%d.glb" % atoms)
        print("  %d atoms ..." % atoms, flush=True)
        runs = SCALE_RUNS if atoms <= 100000 else 1
        r = median_run([run_process(measure, [host, "export", sdf, "-o", out], out, env, report) for _ in range(runs)])
        r["bytes"] = os.path.getsize(out)
        r["meshes"], r["nodes"] = glb_counts(out)
        results[atoms] = r
        if atoms <= 100000:
            r["page"] = first_frame(host, sdf, out)
        if atoms == 10000:
            results["blender"] = blender_imports(host, sdf, out, env)
        os.remove(out)
    if 10000 in sizes:
        sdf = os.path.join(workdir, "tiled_10000.sdf")
        dae = os.path.join(workdir, "tiled_10000.dae")
        print("  PyMOL on 10000 atoms ...", flush=True)
        try:
            results["pymol"] = median_run([run_process(measure, ["pymol", "-cq", sdf, "-d", PYMOL_SCRIPT.format(out=dae)],
                                                       dae, env, report) for _ in range(SCALE_RUNS)])
        except SystemExit:
            results["pymol"] = None
    return results


def first_frame(host, sdf, out):
    """The preview page of the molecule (written unmeasured): seconds to its first frame in headless
    Chromium, and its size."""
    subprocess.run([host, "export", sdf, "-o", out, "--html"], check=True, stdout=subprocess.DEVNULL)
    page = os.path.splitext(out)[0] + ".html"
    print("  its preview page in headless Chromium ...", flush=True)
    proc = subprocess.run(["node", FIRST_FRAME, page], stdout=subprocess.PIPE, text=True)
    if proc.returncode != 0:
        fail("the preview page %s showed no first frame" % page)
    shown = json.loads(proc.stdout.splitlines()[-1])
    shown["bytes"] = os.path.getsize(page)
    os.remove(page)
    return shown


# The object's sphere segments, which the merged form (16 by default) is also timed with.
OBJECT_SEGMENTS = 24


def blender_imports(host, sdf, out, env):
    """Seconds Blender's glTF importer takes on the object tree, on the merged form, and on the merged
    form with the object's finer spheres."""
    merged = os.path.splitext(out)[0] + "_merged.glb"
    fine = os.path.splitext(out)[0] + "_merged_fine.glb"
    subprocess.run([host, "export", sdf, "-o", out], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([host, "export", sdf, "-o", merged, "--merge"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([host, "export", sdf, "-o", fine, "--merge", "--set", "MOLOBJ_ATOM_SEGMENTS=%d" % OBJECT_SEGMENTS],
                   check=True, stdout=subprocess.DEVNULL)
    print("  Blender imports the three files ...", flush=True)
    cmd = ["blender", "--background", "--factory-startup", "--python-exit-code", "1", "--python", BLENDER_IMPORT,
           "--", out, merged, fine]
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env)
    triangles = {"merged": glb_triangles(merged), "fine": glb_triangles(fine)}
    os.remove(merged)
    os.remove(fine)
    times = re.findall(r"^blender: .*imported in ([0-9.]+) s$", proc.stdout, re.M)
    if proc.returncode != 0 or len(times) != 3:
        fail("Blender could not import the tiled molecule:\n" + proc.stdout[-2000:])
    return {"tree": float(times[0]), "merged": float(times[1]), "fine": float(times[2]),
            "triangles": triangles}


def scale_table(results):
    pymol = results.get("pymol")
    lines = ["| atoms | CPU | wall | peak memory | .glb | meshes / nodes | targets | hold |",
             "|---|---|---|---|---|---|---|---|"]
    for atoms in SCALE_ATOMS:
        r = results.get(atoms)
        if not r:
            continue
        target, holds = "", "-"
        mb = r["rss_kb"] / 1024.0
        if atoms == 100000:
            limit = 3.0 if not pymol else min(3.0, pymol["cpu"] / 10.0)
            target = "CPU <= %.2f s (3 s, PyMOL 10k / 10), <= 400 MB, file <= 40 MB" % limit
            holds = "yes" if r["cpu"] <= limit and mb <= 400 and r["bytes"] <= 40e6 else "no"
        elif atoms == 1000000:
            target = "completes, <= 4 GB"
            holds = "yes" if mb <= 4096 else "no"
        lines.append("| %d | %.2f s | %.2f s | %.0f MiB | %.1f MB | %d / %d | %s | %s |" % (
            atoms, r["cpu"], r["wall"], mb, r["bytes"] / 1e6, r["meshes"], r["nodes"], target, holds))
    if pymol:
        lines.append("| 10000, PyMOL to .dae | %.2f s | %.2f s | %.0f MiB | | | | - |" % (
            pymol["cpu"], pymol["wall"], pymol["rss_kb"] / 1024.0))
    for atoms in SCALE_ATOMS:
        page = (results.get(atoms) or {}).get("page")
        if page:
            holds = ("yes" if page["seconds"] <= 30 else "no") if atoms == 100000 else "-"
            lines.append("| %d, preview page to its first frame (Chromium, software GL) | | %.1f s | | "
                         "%.1f MB (page) | %d draws | %s | %s |" % (atoms, page["seconds"], page["bytes"] / 1e6,
                                                                   page["drawn"], "<= 30 s" if atoms == 100000 else "",
                                                                   holds))
    blender = results.get("blender")
    if blender:
        lines.append("| 10000, Blender 3.4 imports the object tree | | %.1f s | | | | | - |" % blender["tree"])
        tri = blender["triangles"]
        lines.append("| 10000, Blender 3.4 imports the merged form (--merge, 16-segment spheres; %.1f M triangles) "
                     "| | %.1f s | | | | < 10 s | %s |" % (tri["merged"] / 1e6, blender["merged"],
                                                          "yes" if blender["merged"] < 10 else "no"))
        lines.append("| 10000, Blender 3.4 imports the merged form with the object's %d-segment spheres (--merge --set "
                     "MOLOBJ_ATOM_SEGMENTS=%d; %.1f M triangles) | | %.1f s | | | | | - |" % (
                         OBJECT_SEGMENTS, OBJECT_SEGMENTS, tri["fine"] / 1e6, blender["fine"]))
    return "\n".join(lines)


# ---- libraries: export --all --------------------------------------------------------------------

AMINO_ACIDS = os.path.join(ROOT, "examples", "amino_acids.sdf")
BATCH_BEFORE = 420.0  # records per second of the batch that synced every file (2,000 small records, 2 cores)


def peak_rss_kb(cmd):
    """Runs cmd; its exit status and the peak resident kB of that process alone (not its workers)."""
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    peak = 0
    while proc.poll() is None:
        try:
            # Until the exec, the child is a copy of this driver and its peak is the driver's.
            if os.readlink("/proc/%d/exe" % proc.pid) != os.path.realpath(cmd[0]):
                continue
            with open("/proc/%d/status" % proc.pid) as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        peak = max(peak, int(line.split()[1]))
        except OSError:
            pass
        finally:
            time.sleep(0.005)
    return proc.returncode, peak, proc.stderr.read().decode(errors="replace")


def measure_batch(host, workdir, runs=3):
    """Records per second of export --all on the amino acids x 100, and the parent's peak memory on
    one shard of 1,000 of a 200,000-record library."""
    with open(AMINO_ACIDS) as f:
        amino = f.read()
    small = os.path.join(workdir, "amino_x100.sdf")
    with open(small, "w") as f:
        f.write(amino * 100)
    records = amino.count("$$$$\n") * 100
    out = os.path.join(workdir, "amino_x100")
    walls = []
    for i in range(runs + 1):
        shutil.rmtree(out, ignore_errors=True)
        started = time.monotonic()
        proc = subprocess.run([host, "export", small, "--all", "-o", out], stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
        wall = time.monotonic() - started
        if proc.returncode != 0:
            fail("export --all failed: " + proc.stderr.decode(errors="replace")[-500:])
        if i > 0:  # the first run fills the page cache
            walls.append(wall)
    shutil.rmtree(out, ignore_errors=True)
    large = os.path.join(workdir, "library_200000.sdf")
    with open(large, "w") as f:
        copies = 200000 // amino.count("$$$$\n")
        for _ in range(copies):
            f.write(amino)
    code, rss_kb, err = peak_rss_kb([host, "export", large, "--all", "-o", out, "--shard", "1/1000"])
    if code != 0:
        fail("export --all --shard 1/1000 failed: " + err[-500:])
    shutil.rmtree(out, ignore_errors=True)
    os.remove(large)
    return {"records": records, "wall": statistics.median(walls), "rss_kb": rss_kb,
            "large_records": copies * amino.count("$$$$\n")}
# ---- structure files: PDB read through gemmi, bonds perceived --------------------------------

def write_tiled(path, copies=TILED_COPIES):
    """Copies of PROTEIN side by side, 100 Å apart, as one model: a 100k-atom PDB file."""
    with open(PROTEIN) as f:
        atoms = [l.rstrip("\n") for l in f if l.startswith(("ATOM  ", "HETATM"))]
    serial = 0
    with open(path, "w") as out:
        out.write("HEADER    BENCHMARK                               01-JAN-00   TILE\n")
        for c in range(copies):
            for l in atoms:
                serial += 1
                x = float(l[30:38]) + 100.0 * (c % 6)
                y = float(l[38:46]) + 100.0 * (c // 6)
                out.write("%s%5d%s%8.3f%8.3f%s\n" % (l[:6], serial % 100000, l[11:30], x, y, l[46:]))
        out.write("END\n")
    return serial


def compare_structures(host, measure, runs, workdir, tiled):
    """1tii.pdb to .glb against PyMOL to .dae; the peak memory of converting the tiled file."""
    out_glb = os.path.join(workdir, "protein.glb")
    out_dae = os.path.join(workdir, "protein.dae")
    out_sdf = os.path.join(workdir, "tiled.sdf")
    report = os.path.join(workdir, "measured.txt")
    ours = [host, "export", PROTEIN, "-o", out_glb]
    theirs = ["pymol", "-cq", PROTEIN, "-d", PYMOL_PROTEIN_SCRIPT.format(out=out_dae)]
    convert = [host, "convert", tiled, "-o", out_sdf]
    small = [host, "convert", SMALL_PDB, "-o", out_sdf]
    env = dict(os.environ, PATH="/usr/bin:/bin:" + os.environ.get("PATH", ""))
    for cmd, out in ((ours, out_glb), (theirs, out_dae), (convert, out_sdf), (small, out_sdf)):
        run_process(measure, cmd, out, env, report)
    results = {"vireltan": [], "pymol": [], "convert": [], "small": []}
    for i in range(runs):
        print("  structure run %d of %d" % (i + 1, runs), flush=True)
        results["vireltan"].append(run_process(measure, ours, out_glb, env, report))
        results["pymol"].append(run_process(measure, theirs, out_dae, env, report))
        results["convert"].append(run_process(measure, convert, out_sdf, env, report))
        results["small"].append(run_process(measure, small, out_sdf, env, report))
    summary = {name: {key: statistics.median(r[key] for r in rs) for key in ("wall", "cpu", "rss_kb")}
               for name, rs in results.items()}
    summary["convert"]["rss_kb_max"] = max(r["rss_kb"] for r in results["convert"])
    summary["tiled_bytes"] = os.path.getsize(tiled)
    summary["runs"] = runs
    return summary


def structure_rows(gb, st):
    rows = []

    def row(what, ours, other, ratio, target, holds):
        rows.append((what, ours, other, "%.3g" % ratio, target, "yes" if holds else "no" if holds is not None else "-"))

    v, p = st["vireltan"], st["pymol"]
    r = p["cpu"] / v["cpu"]
    row("whole process, protein 1tii.pdb (5684 atoms) to .glb (vireltan-host) vs to .dae (PyMOL), CPU", ms(v["cpu"]),
        ms(p["cpu"]), r, "PyMOL / ours >= 20 (aim 50)", r >= 20)
    r = p["wall"] / v["wall"]
    row("the same, wall clock", ms(v["wall"]), ms(p["wall"]), r, "PyMOL / ours >= 20 (aim 50)", r >= 20)
    read = gb.get("BM_ReadStructure")
    if read:
        atoms = int(read["counters"].get("atoms", 0))
        row("reading a %d-atom PDB file and perceiving its bonds (%d), CPU" % (atoms, int(read["counters"].get("bonds", 0))),
            ms(read["cpu"]), "100 ms", read["cpu"] / 0.1, "ours / 100 ms <= 1", read["cpu"] <= 0.1)
        perceive = gb["BM_PerceiveBonds"]
        rows.append(("of which perceiving the bonds, CPU", ms(perceive["cpu"]), "", "", "", "-"))
    grown_kb = st["convert"]["rss_kb_max"] - st["small"]["rss_kb"]
    limit_kb = 3 * st["tiled_bytes"] / 1024
    r = grown_kb / limit_kb
    row("peak memory of reading it (convert, highest of %d runs, less a 107-atom file's %s) vs 3 x the file (%.1f MB)" %
        (st["runs"], mib(st["small"]["rss_kb"]), st["tiled_bytes"] / 1e6), mib(grown_kb), mib(limit_kb), r, "< 1", r < 1)
    return rows


# ---- the machine ------------------------------------------------------------------------------

def first_line(cmd):
    try:
        out = subprocess.run(cmd, capture_output=True, text=True).stdout.strip().splitlines()
        return out[0] if out else "unknown"
    except OSError:
        return "unknown"


def machine(context):
    cpu = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    mem_kb = 0
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal"):
                mem_kb = int(line.split()[1])
    debian = open("/etc/debian_version").read().strip() if os.path.exists("/etc/debian_version") else "unknown"
    from rdkit import rdBase
    pymol = first_line(["dpkg-query", "-W", "-f", "${Version}", "pymol"])
    return [
        ("processor", "%s, %d cores" % (cpu, os.cpu_count())),
        ("memory", "%.1f GiB" % (mem_kb / 1024 / 1024)),
        ("system", "Debian %s, Linux %s" % (debian, platform.release())),
        ("compiler", first_line(["c++", "--version"])),
        ("Google Benchmark", "library %s" % context.get("library_version", "unknown")
         if context.get("library_version") else "Debian's libbenchmark-dev"),
        ("peers", "RDKit %s (python3-rdkit), PyMOL %s (pymol)" % (rdBase.rdkitVersion, pymol)),
        ("load average", "%.2f at the start of the benchmark program" % context.get("load_avg", [0.0])[0]
         if context.get("load_avg") else "unknown"),
    ]


# ---- the table --------------------------------------------------------------------------------

def ms(seconds):
    return "%.3g ms" % (seconds * 1e3) if seconds < 0.1 else "%.0f ms" % (seconds * 1e3)


def us(seconds):
    return "%.3g µs" % (seconds * 1e6)


def mib(kb):
    return "%.1f MiB" % (kb / 1024)


def build_rows(gb, rd_record, rd_largest, proc, batch):
    rows = []

    def row(what, ours, other, ratio, target, holds):
        rows.append((what, ours, other, "%.3g" % ratio, target, "yes" if holds else "no" if holds is not None else "-"))

    rate = batch["records"] / batch["wall"]
    r = rate / BATCH_BEFORE
    row("export --all, amino acids x 100 (%d small records), records per second" % batch["records"], "%.0f/s" % rate,
        "%.0f/s (one fsync per file)" % BATCH_BEFORE, r, "ours / before >= 2", r >= 2)
    r = batch["rss_kb"] / (64 * 1024)
    row("export --all --shard 1/1000 of %d records, the parent's peak memory" % batch["large_records"],
        mib(batch["rss_kb"]), "64 MiB", r, "< 1", r < 1)

    v, p, b = proc["vireltan"], proc["pymol"], proc["baseline"]
    r = p["cpu"] / v["cpu"]
    row("whole process, 999-atom record to .glb (vireltan-host) vs to .dae (PyMOL), CPU", ms(v["cpu"]), ms(p["cpu"]),
        r, "PyMOL / ours >= 20", r >= 20)
    r = p["wall"] / v["wall"]
    row("the same, wall clock", ms(v["wall"]), ms(p["wall"]), r, "PyMOL / ours >= 20", r >= 20)
    tv, tp = v["triangles"] / v["cpu"], p["triangles"] / p["cpu"]
    rows.append(("triangles written per CPU second (%d vs %d triangles)" % (v["triangles"], p["triangles"]),
                 "%.3g M/s" % (tv / 1e6), "%.3g M/s" % (tp / 1e6), "%.3g" % (tv / tp), "", "-"))
    for name, rd in (("procaine27", rd_record), ("protein_g_b1", rd_largest)):
        ours = gb["BM_Read/" + name]["cpu"]
        r = rd["cpu"] / ours
        label = "999-atom record" if name == "procaine27" else "largest example (%d atoms)" % rd["atoms"]
        row("reading the %s vs RDKit MolFromMolBlock, CPU per read" % label, us(ours), us(rd["cpu"]), r,
            "RDKit / ours >= 20" if name == "procaine27" else "", (r >= 20) if name == "procaine27" else None)
    for name, label in (("procaine27_defaults", "999-atom record, defaults"),
                        ("procaine27_nuclei", "999-atom record, with nuclei"),
                        ("procaine27_materials10", "999-atom record, ten material groups"),
                        ("protein_g_b1_defaults", "largest example, defaults")):
        rebuild, copy = gb["BM_Rebuild/" + name], gb["BM_Copy/" + name]
        r = rebuild["cpu"] / copy["cpu"]
        mb = copy["counters"].get("bytes", 0) / 1e6
        defaults = name == "procaine27_defaults"
        row("full rebuild, %s, vs copying its %.1f MB" % (label, mb), ms(rebuild["cpu"]), ms(copy["cpu"]), r,
            "rebuild / copy <= 3" if defaults else "", (r <= 3) if defaults else None)
    one, many = gb["BM_CacheHit/atoms1"]["cpu"], gb["BM_CacheHit/atoms999"]["cpu"]
    r = many / one
    row("cache hit, 999 atoms vs 1 atom", us(many), us(one), r, "the same (0.8 to 1.25)", 0.8 <= r <= 1.25)
    limit_kb = 3 * v["bytes"] / 1024 + b["rss_kb"]
    r = v["rss_kb_max"] / limit_kb
    row("export peak memory (highest of %d runs) vs 3 x .glb (%.2f MB) + baseline %s" %
        (v["runs"], v["bytes"] / 1e6, mib(b["rss_kb"])), mib(v["rss_kb_max"]), mib(limit_kb), r, "< 1", r < 1)
    pb = proc["pymol_baseline"]
    rows.append(("start-up: whole process on a one-atom file (to .glb vs to .dae), CPU (wall)",
                 "%s (%s)" % (ms(b["cpu"]), ms(b["wall"])), "%s (%s)" % (ms(pb["cpu"]), ms(pb["wall"])),
                 "%.3g" % (pb["cpu"] / b["cpu"]), "", "-"))
    exp, write = gb["BM_Export/procaine27"], gb["BM_WriteOnly/procaine27"]
    rows.append(("in process: export of the 999-atom record (load, rebuild, write), CPU", ms(exp["cpu"]), "", "", "", "-"))
    rows.append(("in process: glTF writer alone on it, CPU per triangle (%d triangles)" %
                 write["counters"].get("triangles", 0), "%s (%.3g ns/triangle)" %
                 (ms(write["cpu"]), write["cpu"] / max(write["counters"].get("triangles", 1), 1) * 1e9), "", "", "", "-"))
    return rows


def markdown_table(rows):
    lines = ["| measure | Vireltan | peer or floor | ratio | target | holds |", "|---|---|---|---|---|---|"]
    lines += ["| " + " | ".join(r) + " |" for r in rows]
    return "\n".join(lines)


def raw_table(gb):
    lines = ["| benchmark | CPU | wall |", "|---|---|---|"]
    for name, m in gb.items():
        lines.append("| %s | %s | %s |" % (name, ms(m["cpu"]) if m["cpu"] >= 1e-3 else us(m["cpu"]),
                                           ms(m["wall"]) if m["wall"] >= 1e-3 else us(m["wall"])))
    return "\n".join(lines)


METHOD = """\
- `make bench` installs the peers (`tools/setup.sh bench` reads `deps/bench-packages.txt`), builds
  `build/bench` with `CMAKE_BUILD_TYPE=Release`, then runs `bench/run.py`, which runs everything
  below in one go and writes this file.
- The 999-atom record is `bench/data/procaine27.sdf`: 27 procaine molecules (999 atoms, 999 bonds,
  one V2000 record), embedded with RDKit's ETKDGv3 and optimised with MMFF94 by
  `tools/make_bench_molecule.py`. The largest example is `examples/protein_g_b1.sdf`.
- In process (Google Benchmark, `bench/*.cpp`, {reps} repetitions of at least {min_time} s, medians): reading a file
  into atoms and bonds with the object's reader (from the file, through the page cache); a full
  rebuild (the object marked dirty, the document evaluated) with the defaults, with nuclei and with
  ten material groups (H, C, N, O, S, P and the four bond orders), each against `memcpy` of as many
  bytes as the built hierarchy holds on the heap (`mallinfo2` before and after the first build,
  plus the host's node blocks, which malloc does not see: every node, container, tag and array, an
  array that objects share, such as one element's sphere mesh, allocated and so counted once),
  between two buffers allocated once (the memory floor);
  evaluating an unchanged document holding 1 atom and 999
  atoms; the export (load, rebuild, write a `.glb`) and the writer alone.
- RDKit in the same Python process that drives the run: `Chem.MolFromMolBlock(block,
  sanitize=False, removeHs=False)` on the same file's bytes, read into a string once; calls in
  batches of at least 0.3 s CPU, seven batches, the median per call.
- Whole process: `vireltan-host export FILE -o out.glb` and
  `pymol -cq FILE -d '{pymol}'` (Debian's `pymol`; it exits 0 even when it refuses a format, so a
  run counts only when its file is there), each run once unmeasured, then {runs} times each,
  alternating, with a one-atom export (the start-up and the process's memory baseline) and PyMOL on
  the same one-atom file (its start-up) after each pair. `bench/measure` starts each run and takes
  its wall clock, its CPU (user plus system) and its peak resident memory from `wait4` (a small
  launcher: Linux keeps a process's peak across exec, so a child of the Python driver would report
  the driver's size). Medians, except the peak
  memory, which is the highest. Outputs go to `build/bench/out`.
- Libraries: `vireltan-host export FILE --all -o DIR` on `examples/amino_acids.sdf` written 100
  times into one file (2,000 small records), once unmeasured, then 3 times, the median wall clock,
  against the 420 records per second of the batch that synced every file (measured on this 2-core
  machine before the batch commits files in groups). The parent's peak memory: `--shard 1/1000` of the
  amino acids written 10,000 times (200,000 records), the parent's own `VmHWM` (its workers apart),
  read every 5 ms while it runs.
- Triangles are counted in the written files: in the `.glb` the index count / 3 of each node's mesh,
  in the `.dae` n - 2 for every n-gon of each instanced geometry.
- Ratios use CPU time: the machine is shared, and wall time measures the neighbours too (see the
  load average below); the wall clock of the whole-process comparison is shown beside it.
- Structure files: `vireltan-host export 1tii.pdb` (Debian's `pymol-data`, 5684 atoms) against
  `pymol -cq 1tii.pdb -d '{pymol_protein}'`, measured as the whole processes above. A 100k-atom
  PDB file is written of {copies} copies of that protein side by side (`write_tiled`); Google Benchmark
  times reading it and perceiving its bonds in process (`bench/structure_bench.cpp`,
  `structure::ReadStructure`: gemmi's PDB reader, the first conformer, the bonds), and perceiving
  alone. Its read's peak memory is that of `vireltan-host convert` on it (which reads it whole
  before writing), less that of converting the 107-atom `pept.pdb`, against three times the file's size."""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", help="release build folder (build/bench)")
    parser.add_argument("--runs", type=int, default=11, help="whole-process runs of each tool (at least 10)")
    parser.add_argument("--repetitions", type=int, default=3, help="Google Benchmark repetitions")
    parser.add_argument("--min-time", type=float, default=0.2, help="Google Benchmark seconds per repetition, at least")
    parser.add_argument("--no-write", action="store_true", help="print the table but leave bench/README.md alone")
    parser.add_argument("--scale-only", action="store_true",
                        help="only export the tiled 10k, 100k and 1M-atom molecules and print their table")
    parser.add_argument("--structures-only", action="store_true",
                        help="measure and print only the structure-file rows (implies --no-write)")
    parser.add_argument("--reuse", action="store_true",
                        help="take the Google Benchmark figures of the last run (BUILD_DIR/bench-results.json)")
    args = parser.parse_args()

    build = os.path.abspath(args.build)
    host = os.path.join(build, "vireltan-host")
    exe = os.path.join(build, "bench", "vireltan_bench")
    measure = os.path.join(build, "bench", "vireltan_measure")
    for path in (host, exe, measure, RECORD, LARGEST, PROTEIN):
        if not os.path.exists(path):
            fail("%s is missing; run `make bench`" % path)
    for peer in ("pymol", "blender"):
        if shutil.which(peer) is None:
            fail("%s is not installed; run `tools/setup.sh bench`" % peer)
    workdir = os.path.join(build, "out")
    os.makedirs(workdir, exist_ok=True)

    env = dict(os.environ, PATH="/usr/bin:/bin:" + os.environ.get("PATH", ""))
    if args.scale_only:
        print(scale_table(scale_runs(host, measure, workdir, env)))
        return 0
    tiled = os.path.join(workdir, "tiled.pdb")
    write_tiled(tiled)
    os.environ["VIRELTAN_BENCH_STRUCTURE"] = tiled
    if args.structures_only:
        _, gb = run_google_benchmark(exe, args.repetitions, args.min_time, os.path.join(build, "bench-structures.json"),
                                     False, "Structure|Perceive")
        print("whole processes on structure files ...", flush=True)
        print(markdown_table(structure_rows(gb, compare_structures(host, measure, args.runs, workdir, tiled))))
        return 0
    started = datetime.datetime.now(datetime.timezone.utc)
    context, gb = run_google_benchmark(exe, args.repetitions, args.min_time, os.path.join(build, "bench-results.json"),
                                       args.reuse)
    print("RDKit, in process ...", flush=True)
    rd_record, rd_largest = time_rdkit(RECORD), time_rdkit(LARGEST)
    print("whole processes, alternating ...", flush=True)
    proc = compare_processes(host, measure, args.runs, workdir)
    print("large molecules, once each ...", flush=True)
    scale = scale_table(scale_runs(host, measure, workdir, env))
    print("export --all ...", flush=True)
    batch = measure_batch(host, workdir)
    print("whole processes on structure files ...", flush=True)
    structures = compare_structures(host, measure, args.runs, workdir, tiled)
    load_end = os.getloadavg()[0]

    rows = build_rows(gb, rd_record, rd_largest, proc, batch) + structure_rows(gb, structures)
    table = markdown_table(rows)
    print()
    print(table)

    if args.no_write:
        return 0
    facts = machine(context)
    facts.append(("load average at the end", "%.2f" % load_end))
    text = "\n".join([
        "# Benchmarks",
        "",
        "Written by `make bench` (`bench/run.py`) on %s UTC; every figure below comes from that one run."
        % started.strftime("%Y-%m-%d %H:%M"),
        "Run `make bench` again to measure this machine.",
        "",
        "## Ratios",
        "",
        table,
        "",
        "## Scale",
        "",
        "Copies of `examples/protein_g_b1.sdf` tiled into one V3000 record by `tools/tile_molecule.py`,",
        "each exported as a whole process (`vireltan-host export FILE -o OUT.glb`, measured as below):",
        "the run of median CPU of %d, with the highest peak memory of them, up to 10^5 atoms, one run at" % SCALE_RUNS,
        "10^6; PyMOL on the 10k-atom record likewise, the median of %d. The preview pages of the 10k and" % SCALE_RUNS,
        "100k-atom records (written unmeasured with `--html`) are opened offline by",
        "`tools/preview/first-frame.js` in Debian's Chromium, headless with software GL (SwiftShader): the",
        "wall clock from asking for the page to its first frame drawn (the page reads a pixel back). Blender",
        "(Debian's `blender`) imports the 10k-atom record's object tree, its merged form (`--merge`, spheres of",
        "16 segments) and its merged form with the object's spheres of %d (`--set MOLOBJ_ATOM_SEGMENTS=%d`)" % (OBJECT_SEGMENTS, OBJECT_SEGMENTS),
        "with `tools/blender_import.py`: the importer with its defaults, timed around",
        "`bpy.ops.import_scene.gltf`, each into an empty scene.",
        "",
        scale,
        "",
        "## Method",
        "",
        METHOD.format(reps=args.repetitions, min_time=args.min_time, runs=args.runs, pymol=PYMOL_SCRIPT.format(out="out.dae"),
                      pymol_protein=PYMOL_PROTEIN_SCRIPT.format(out="out.dae"), copies=TILED_COPIES),
        "",
        "## Machine",
        "",
        "\n".join("- %s: %s" % f for f in facts),
        "",
        "## Google Benchmark medians",
        "",
        raw_table(gb),
        "",
    ])
    with open(README, "w") as f:
        f.write(text)
    print("\nwrote " + README)
    return 0


if __name__ == "__main__":
    sys.exit(main())
