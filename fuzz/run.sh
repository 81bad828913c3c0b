#!/usr/bin/env bash
# Runs every harness of the fuzz build for FUZZ_SECONDS seconds each, one after the other.
# New inputs go to build/fuzz/corpus/NAME (the seeds under fuzz/corpus stay as they are); an input
# that crashes, hangs or runs out of memory is kept as build/fuzz/findings/NAME-* and fails the run.
# Usage: fuzz/run.sh [NAME...]   (default: every harness; FUZZ_SECONDS defaults to 60)
set -uo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
build=build/fuzz
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(sdf elements description scene script structure)

failed=()
summary=()
for name in "${names[@]}"; do
	harness="$build/fuzz/${name}_fuzz"
	if [ ! -x "$harness" ]; then
		echo "fuzz: $harness is missing; build it with 'make fuzz'" >&2
		exit 2
	fi
	mkdir -p "$build/corpus/$name" "$build/findings"
	dict=()
	[ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
	log="$build/findings/$name.log"
	echo "fuzz: $name for ${seconds}s"
	# One input may take 10 s and 2 GB at most; more is a finding (hang or unbounded memory).
	"$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
		-artifact_prefix="$build/findings/$name-" "${dict[@]}" "$build/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1
	status=$?
	runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
	rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
	summary+=("$(printf '%-12s %10s runs %6s/s  %s' "$name" "${runs:-?}" "${rate:-?}" "$([ $status -eq 0 ] && echo ok || echo "FINDING (exit $status)")")")
	if [ $status -ne 0 ]; then
		failed+=("$name")
		grep -E '^(==[0-9]+==|SUMMARY|fuzz:|artifact_prefix|Test unit written)' "$log" | head -20 >&2
		echo "fuzz: $name found a fault; the whole log is $log" >&2
	fi
done

echo
echo "harness            executions"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
	echo "fuzz: findings in ${failed[*]}: replay one with $build/fuzz/NAME_fuzz FILE, fix it, and keep the input" \
		"under fuzz/regressions/NAME/ so that the normal tests replay it" >&2
	exit 1
fi
