#!/usr/bin/env bash
# Installs the Debian packages listed in deps/debian-packages.txt that this machine lacks,
# and the npm packages of tools/package.json. Fails loudly.
# `tools/setup.sh demo` leaves out the packages marked [test] (the browser), which only the tests need.
# `tools/setup.sh bench` also installs deps/bench-packages.txt, the benchmarks' peers.
# A Node.js that did not come from Debian's packages is left alone: nodejs and npm are
# installed only when the `node` or `npm` command is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

lists=(deps/debian-packages.txt)
demo=false
case "${1:-}" in
	"") ;;
	demo) demo=true ;;
	bench) lists+=(deps/bench-packages.txt) ;;
	*) echo "setup: unknown argument '$1' (use no argument, 'demo' or 'bench')" >&2; exit 2 ;;
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
	echo "setup: installing ${missing[*]}"
	SUDO=""
	[ "$(id -u)" -eq 0 ] || SUDO="sudo"
	$SUDO apt-get update -qq
	DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# npm ci again whenever the lock file changed since the last install.
stamp=tools/node_modules/.installed-lock.json
if [ -f tools/package.json ] && ! cmp -s tools/package-lock.json "$stamp"; then
	echo "setup: installing the npm packages of tools/package.json"
	(cd tools && npm ci --no-audit --no-fund --loglevel=error)
	cp tools/package-lock.json "$stamp"
fi
