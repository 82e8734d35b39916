#!/usr/bin/env bash
# Draws the example hosts' pictures: the Id-Vd families of the nine models
# into docs/idvd.png, and the drain voltage and current of the transient
# example's switches (the first model of every family) into
# docs/switching.png. Run it on purpose after a change to the models; it is
# not part of the build or the tests. Needs gnuplot (Debian: gnuplot-nox) and
# a build: the tables are the ones the tests host_example and
# transient_example leave in build/examples/ (idvd.txt, switching.txt), or in
# the folder given as the first argument.
set -euo pipefail
cd "$(dirname "$0")/.."
tables="${1:-build/examples}"
for table in idvd switching; do
  [ -f "$tables/$table.txt" ] || { echo "no table $tables/$table.txt: run ./test.sh (or ctest -R example) first" >&2; exit 1; }
done

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
    plot for [g = 0:6] "$tables/idvd.txt" index (i - 1) every :::g::g using 3:4 with lines lw 1.5 lc g + 1
}
unset multiplot

reset
set terminal pngcairo size 960,640 font "sans,8" noenhanced
set output "docs/switching.png"
set multiplot layout 2,2 title "Common-source switch: 50 ohm to 10 V, gate pulse -2 V to 0 V with 1 ns edges, trapezoidal steps of 50 ps"
set xlabel "t (ns)"
set ylabel "Vd (V)"
set y2label "Id (mA)"
set xrange [0:50]
set yrange [0:11]
set y2range [0:220]
set ytics nomirror
set y2tics
set key right center
models = "alder_a birch_a cedar_a larch_a"
do for [i = 1:4] {
    set title word(models, i)
    plot "$tables/switching.txt" index (i - 1) using 2:4 with lines lw 1.5 lc 1 title "Vd", \
         "" index (i - 1) using 2:(\$5 * 1e3) axes x1y2 with lines lw 1.5 lc 2 title "Id"
}
unset multiplot
GNUPLOT
echo "wrote docs/idvd.png and docs/switching.png from $tables"
