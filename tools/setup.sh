#!/usr/bin/env bash
# Installs the Debian packages a make target needs that this machine lacks, then the npm packages
# of tools/package.json. Fails loudly; without root and without sudo it prints the apt-get line to
# run as root and exits 1.
#   tools/setup.sh           deps/debian-packages.txt: what make test (and make build) uses
#   tools/setup.sh demo      the same without the packages marked [test] (the browser)
#   tools/setup.sh bench     also deps/bench-packages.txt, the benchmarks' peers
#   tools/setup.sh fuzz      also deps/fuzz-packages.txt, clang and its fuzzer and sanitizer runtimes
#   tools/setup.sh memcheck  also deps/memcheck-packages.txt, valgrind
#   tools/setup.sh windows   only deps/windows-packages.txt, the Windows cross compiler (no npm)
#   tools/setup.sh blender   only deps/blender-packages.txt, Blender for its glTF importer (no npm)
# A Node.js that did not come from Debian's packages is left alone: nodejs and npm are
# installed only when the `node` or `npm` command is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

lists=(deps/debian-packages.txt)
demo=false
npm=true
case "${1:-}" in
	"") ;;
	demo) demo=true ;;
	bench | fuzz | memcheck) lists+=("deps/$1-packages.txt") ;;
	windows | blender) lists=("deps/$1-packages.txt"); npm=false ;;
	*) echo "setup: unknown argument '$1' (use none, demo, bench, fuzz, memcheck, windows or blender)" >&2; exit 2 ;;
esac

missing=()
while IFS= read -r line; do
	p=$(sed -e 's/#.*//' -e 's/[[:space:]]*$//' <<<"$line")
	[ -n "$p" ] || continue
	if $demo && [[ "$line" == *"[test]"* ]]; then
		continue
	fi
	case "$p" in
		nodejs) command -v node >/dev/null && continue ;;
		npm) command -v npm >/dev/null && continue ;;
	esac
	dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done < <(cat "${lists[@]}")

if [ ${#missing[@]} -gt 0 ]; then
	line="apt-get install --no-install-recommends ${missing[*]}"
	as_root()
	{
		echo "setup: as root, run:" >&2
		echo "    apt-get update && $line" >&2
		echo "setup: then run this command again" >&2
		exit 1
	}
	sudo=()
	if [ "$(id -u)" -ne 0 ]; then
		if ! command -v sudo >/dev/null; then
			echo "setup: missing Debian packages: ${missing[*]}; this user is not root and there is no sudo" >&2
			as_root
		fi
		sudo=(sudo)
	fi
	echo "setup: installing ${missing[*]}"
	if ! "${sudo[@]}" apt-get update -qq ||
		! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
		echo "setup: could not install ${missing[*]}" >&2
		as_root
	fi
fi

# npm ci again whenever the lock file changed since the last install.
stamp=tools/node_modules/.installed-lock.json
if $npm && ! cmp -s tools/package-lock.json "$stamp"; then
	echo "setup: installing the npm packages of tools/package.json"
	if ! (cd tools && npm ci --no-audit --no-fund --loglevel=error); then
		echo "setup: npm ci failed in tools/; without the npm registry see \"npm packages without the registry\" in README.md" >&2
		exit 1
	fi
	cp tools/package-lock.json "$stamp"
fi
