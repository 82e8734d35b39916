#!/usr/bin/env bash
# Instructions per instance-load of every model, full and right-hand-side,
# counted by callgrind over the loads alone (load_bench's loadEach), 1,000
# instances (or 100000). Unlike timings these counts repeat whatever else the
# machine runs, so they are the figure to tune with. Needs valgrind.
#   bench/instructions.sh [build-dir] [model-regex] [1000|100000]
set -euo pipefail
build="${1:-build}"
only="${2:-.}"
instances="${3:-1000}"
bench="$build/bench/load_bench"
[[ -x "$bench" ]] || { echo "no $bench: build the load_bench target first" >&2; exit 1; }
command -v valgrind >/dev/null || { echo "valgrind is needed" >&2; exit 1; }
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
printf '%-8s %14s %14s\n' model full rhs
for model in alder_a alder_b alder_c birch_a birch_c cedar_a cedar_b larch_a cedar_c; do
    [[ "$model" =~ $only ]] || continue
    row="$model"
    for kind in full rhs; do
        log="$out/$model.$kind.log"
        valgrind --tool=callgrind --callgrind-out-file="$out/cg" --toggle-collect='*loadEach*' \
            "$bench" --benchmark_filter="^load/$model/$kind/$instances\$" --benchmark_min_time=0.001 >"$log" 2>&1
        iters="$(awk -v n="load/$model/$kind/$instances" '$1 == n { print $6 }' "$log")"
        refs="$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$log")"
        row="$row $(awk -v r="$refs" -v i="$iters" -v n="$instances" 'BEGIN { printf "%14.0f", r / (i * n) }')"
    done
    echo "$row" | awk '{ printf "%-8s %14s %14s\n", $1, $2, $3 }'
done
