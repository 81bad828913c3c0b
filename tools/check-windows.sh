#!/usr/bin/env bash
# Compiles the plug-in's sources for Windows x86-64 with the mingw-w64 cross compiler, syntax
# only, warnings as errors, against the SDK stand-in's headers: nothing Linux-only in source/.
set -euo pipefail
cd "$(dirname "$0")/.."

cxx=""
for c in x86_64-w64-mingw32-g++-win32 x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++; do
	if command -v "$c" >/dev/null; then
		cxx="$c"
		break
	fi
done
if [ -z "$cxx" ]; then
	echo "check-windows: no mingw-w64 C++ compiler; install g++-mingw-w64-x86-64-win32 (make check-windows does)" >&2
	exit 1
fi

sdk=sdk/frameworks
flags=(-std=c++17 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -Wno-unused-parameter
	-I"$sdk/core.framework/source" -I"$sdk/cinema.framework/source" -Isource -Ires -Ires/description)
status=0
for f in source/*.cpp; do
	"$cxx" "${flags[@]}" "$f" || { echo "check-windows: $f does not compile for Windows x86-64" >&2; status=1; }
done
[ "$status" -eq 0 ] && echo "check-windows: source/*.cpp compile for Windows x86-64 ($cxx)"
exit "$status"
