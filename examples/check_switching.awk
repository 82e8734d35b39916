# Checks the transient example's table: four models, each with 1001 time
# points from 0 to 50 ns, every one converged; the drain high (off) at the
# start, low (on) while the gate is high, high again at the end; and the run
# restored at mid-run bit-identical to the original for all its steps.
# A Windows host writes its lines with CR LF.
{ sub(/\r$/, "") }
/restored at .* steps bit-identical$/ {
    if ($(NF - 4) == $(NF - 2)) restored++
    else { print "restored run differs: " $0; bad++ }
}
/^#/ || NF == 0 { next }
{
    m = $1
    points[m]++
    if ($7 != "converged") { print "not converged: " $0; bad++ }
    if ($2 == 0) first[m] = $4
    if ($2 == 25) on[m] = $4
    last[m] = $4
}
END {
    for (m in points) {
        n++
        if (points[m] != 1001) { print m ": " points[m] " points, not 1001"; bad++ }
        if (!(first[m] > 9.5 && on[m] < 5 && last[m] > 9.5)) {
            print m ": the drain does not switch high-low-high: " first[m] " V, " on[m] " V, " last[m] " V"; bad++
        }
        printf "%s: drain %.3g V at 0 ns, %.3g V at 25 ns, %.3g V at 50 ns\n", m, first[m], on[m], last[m]
    }
    if (n != 4) { print n " models, not 4"; bad++ }
    if (restored != 4) { print restored + 0 " bit-identical restored runs, not 4"; bad++ }
    print n + 0 " models checked, " bad + 0 " faults"
    exit bad > 0
}
