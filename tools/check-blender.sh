#!/usr/bin/env bash
# Blender's own glTF importer on what vireltan-host writes: the object tree and the merged form
# (--merge) of a small molecule, of X-ray atoms with nuclei and of a protein, each imported into
# an empty scene and checked against the file (tools/blender_import.py). Any failure fails.
#   tools/check-blender.sh [BUILD_DIR]    (default build/default, which holds vireltan-host)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/default}
host="$build/vireltan-host"
if ! command -v blender >/dev/null; then
	echo "check-blender: no blender; install Debian's blender (make check-blender does)" >&2
	exit 1
fi
if [ ! -x "$host" ]; then
	echo "check-blender: $host is missing; run make demo-build" >&2
	exit 1
fi

out="$build/blender"
rm -rf "$out"
mkdir -p "$out"
files=()
export_both()
{
	local name=$1 molecule=$2
	shift 2
	"$host" export "$molecule" -o "$out/$name.glb" "$@" >/dev/null
	"$host" export "$molecule" -o "$out/$name-merged.glb" --merge "$@" >/dev/null
	files+=("$out/$name.glb" "$out/$name-merged.glb")
}
export_both caffeine examples/caffeine.sdf
export_both benzene-xray examples/benzene.sdf --set MOLOBJ_XRAY=true --set MOLOBJ_SHOW_NUCLEUS=true
export_both protein_g_b1 examples/protein_g_b1.sdf

if ! blender --background --factory-startup --python-exit-code 1 --python tools/blender_import.py -- "${files[@]}" \
	>"$out/blender.log" 2>&1; then
	cat "$out/blender.log" >&2
	echo "check-blender: Blender's glTF importer failed on the export (the log is above and in $out/blender.log)" >&2
	exit 1
fi
grep '^blender: ' "$out/blender.log"
echo "check-blender: Blender $(blender --version 2>/dev/null | head -n 1 | cut -d' ' -f2) imports the object tree and the merged form"
