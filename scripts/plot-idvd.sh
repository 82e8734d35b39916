#!/usr/bin/env bash
# Draws the Id-Vd families of the nine models, as the example host computes
# them, into docs/idvd.png. Run it on purpose after a change to the models;
# it is not part of the build or the tests. Needs gnuplot (Debian: gnuplot-nox)
# and a build: the table is the one the test host_example leaves in
# build/examples/idvd.txt, or the file given as the first argument.
set -euo pipefail
cd "$(dirname "$0")/.."
table="${1:-build/examples/idvd.txt}"
[ -f "$table" ] || { echo "no table $table: run ./test.sh (or ctest -R host_example) first" >&2; exit 1; }

gnuplot <<GNUPLOT
set terminal pngcairo size 960,720 font "sans,8" noenhanced
set output "docs/idvd.png"
set multiplot layout 3,3 title "Id-Vd families: Vg from -2.5 V to 0.5 V in steps of 0.5 V, Vs = 0"
set xlabel "Vd (V)"
set ylabel "Id (A)"
set xrange [0:20]
set yrange [0:*]
set key off
models = "alder_a alder_b alder_c birch_a birch_c cedar_a cedar_b larch_a cedar_c"
do for [i = 1:9] {
    m = word(models, i)
    set title m
    plot for [g = 0:6] "$table" index (i - 1) every :::g::g using 3:4 with lines lw 1.5 lc g + 1
}
unset multiplot
GNUPLOT
echo "wrote docs/idvd.png from $table"
