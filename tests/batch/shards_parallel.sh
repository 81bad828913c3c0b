#!/bin/sh
# The GNU parallel recipe of docs/usage.md on one machine: three shards through parallel, writing
# into one folder, leave the folder one `export --all` run leaves, byte for byte.
# Usage: shards_parallel.sh VIRELTAN_HOST PLUGINS_FOLDER SOURCE_FOLDER
set -eu
tool="$1" plugins="$2" source="$3"
if ! command -v parallel >/dev/null 2>&1; then
	echo "SKIPPED: GNU parallel is not installed (Debian package parallel, listed in deps/debian-packages.txt)"
	exit 77
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT INT TERM
# Ten copies of the amino acids: 200 records, so file names are padded to three digits.
for i in 1 2 3 4 5 6 7 8 9 10; do cat "$source/examples/amino_acids.sdf"; done >"$work/library.sdf"

"$tool" --plugins "$plugins" export "$work/library.sdf" --all -o "$work/one/" >"$work/one.txt"
parallel --will-cite --halt now,fail=1 "'$tool'" --plugins "'$plugins'" export "'$work/library.sdf'" --all \
	-o "'$work/three/'" -j 1 --shard {}/3 ::: 1 2 3 >"$work/three.txt"

cat "$work/one.txt" "$work/three.txt"
written=$(ls "$work/one" | wc -l)
[ "$written" -eq 200 ] || { echo "FAILED: the single run wrote $written files, not 200"; exit 1; }
grep -q "shard 1/3, 67 of 200 records, 67 written" "$work/three.txt" || { echo "FAILED: shard 1 line"; exit 1; }
grep -q "shard 3/3, 66 of 200 records, 66 written" "$work/three.txt" || { echo "FAILED: shard 3 line"; exit 1; }
if ! diff -r "$work/one" "$work/three"; then
	echo "FAILED: the shards' folder differs from the single run's"
	exit 1
fi
echo "the shards' folder equals the single run's: $written files, byte for byte"
