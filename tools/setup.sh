#!/usr/bin/env bash
# Installs the Debian packages listed in deps/debian-packages.txt that this machine lacks,
# and the npm packages of tools/package.json. Fails loudly.
# `tools/setup.sh bench` also installs deps/bench-packages.txt, the benchmarks' peers.
set -euo pipefail
cd "$(dirname "$0")/.."

lists=(deps/debian-packages.txt)
case "${1:-}" in
	"") ;;
	bench) lists+=(deps/bench-packages.txt) ;;
	*) echo "setup: unknown argument '$1' (use no argument, or 'bench')" >&2; exit 2 ;;
esac
mapfile -t wanted < <(sed -e 's/#.*//' -e 's/[[:space:]]*$//' "${lists[@]}" | grep -v '^$')
missing=()
for p in "${wanted[@]}"; do
	dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
	echo "setup: installing ${missing[*]}"
	SUDO=""
	[ "$(id -u)" -eq 0 ] || SUDO="sudo"
	$SUDO apt-get update -qq
	DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ -f tools/package.json ] && [ ! -d tools/node_modules ]; then
	echo "setup: installing npm packages of tools/package.json"
	(cd tools && npm ci --no-audit --no-fund --loglevel=error)
fi
