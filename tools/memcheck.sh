#!/usr/bin/env bash
# Runs the suite of a build once under valgrind memcheck: each test program whole (one process, not
# one per test), the vireltan-host processes the tests start, the process that attaches the module
# and exits without ending it, and the fuzz replays over their inputs. Any memory error, or a definite or
# indirect leak of a process that was not ended by a signal, fails the run.
# Usage: tools/memcheck.sh [BUILD_DIR]   (default build/default; logs go to BUILD_DIR/memcheck/)
set -uo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="$(cd "${1:-build/default}" && pwd)" || { echo "memcheck: build the suite first (make build)" >&2; exit 2; }
logs="$build/memcheck"
rm -rf "$logs"
mkdir -p "$logs"

# Children are checked too (the tests start vireltan-host through sh); programs that are not ours
# are skipped.
valgrind=(valgrind --error-exitcode=86 --leak-check=full --errors-for-leak-kinds=definite,indirect
	--show-leak-kinds=definite,indirect --num-callers=40 --trace-children=yes
	--trace-children-skip='*/node,*/nodejs,*/nm,*/rm,*/cp,*/mkdir,*/dirname,*/chmod'
	--log-file="$logs/%p.log")

failed=()
total=0
run() # NAME DIR COMMAND...
{
	local name="$1" dir="$2"
	shift 2
	echo "memcheck: $name"
	total=$((total + 1))
	if ! (cd "$dir" && "${valgrind[@]}" "$@" >"$logs/$name.out" 2>&1); then
		failed+=("$name")
		tail -30 "$logs/$name.out" >&2
	fi
}

programs=("$build"/tests/*_tests)
[ -x "${programs[0]}" ] || { echo "memcheck: no test programs in $build/tests; build first" >&2; exit 2; }
for program in "${programs[@]}"; do
	run "$(basename "$program")" "$build/tests" "$program"
done
# What runs at exit when the module was never ended (its resource) is checked here.
module="$build/plugins/vireltan/vireltan.xso64"
[ -x "$build/tests/attach_and_exit" ] && [ -f "$module" ] || { echo "memcheck: no $build/tests/attach_and_exit or $module; build first" >&2; exit 2; }
run attach_and_exit "$build/tests" "$build/tests/attach_and_exit" "$module"
for replay in "$build"/fuzz/*_replay; do
	[ -x "$replay" ] || continue
	name="$(basename "$replay" _replay)"
	run "${name}_replay" "$root" "$replay" "fuzz/corpus/$name" "fuzz/regressions/$name"
done

# A tool process whose status a test does not look at still counts. A process ended by a fatal
# signal (a batch worker stopped mid-record, as the interrupt tests do on purpose) cannot free what
# it held, so only its other errors count: each leak record shown is one error of the summary.
programsFailed=${#failed[@]}
dirty=""
for log in "$logs"/*.log; do
	[ -f "$log" ] || continue
	errors=$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' "$log" | tail -1)
	[ -n "$errors" ] || errors=0
	if grep -q 'Process terminating with default action of signal' "$log"; then
		leaks=$(grep -c -E 'are (definitely|indirectly) lost in loss record' "$log")
		errors=$((errors - leaks))
	fi
	[ "$errors" -gt 0 ] && dirty+="$log "
done
[ -n "$dirty" ] && failed+=("processes-they-started")
if [ ${#failed[@]} -gt 0 ]; then
	for log in $dirty; do
		sed -n '/Command:/p;/Invalid\|uninitialised\|definitely lost\|indirectly lost\|Mismatched\|overlap/,+12p' "$log" | head -60 >&2
	done
	echo "memcheck: failed: ${failed[*]:-} ${dirty:+(errors in $(echo $dirty | wc -w) process logs under $logs)}" >&2
	echo "memcheck: $((total - programsFailed)) passed, ${#failed[@]} failed"
	exit 1
fi
echo "memcheck: $(ls "$logs"/*.log | wc -l) processes checked, no memory errors, no leaks"
echo "memcheck: $total passed, 0 failed"
