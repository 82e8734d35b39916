# Checks the example host's table: nine models, each with a converged
# operating point and a save and restore that loads the same residuals, and
# 7 gate by 21 drain points, every one converged with the currents into d, g
# and s summing to zero, and the channel conducting at full drive (a
# floating dii would leave only gmin currents).
# A Windows host writes its lines with CR LF.
{ sub(/\r$/, "") }
/operating point/ && $(NF - 1) != "-1" { ops++ }
/save .* restore 1, same residuals$/ { saves++ }
/^#/ || NF == 0 { next }
{
    points++
    models[$1]++
    sum = $4 + $5 + $6
    scale = (($4 < 0) ? -$4 : $4) + (($5 < 0) ? -$5 : $5) + (($6 < 0) ? -$6 : $6)
    if ($8 != "converged") { print "not converged: " $0; bad++ }
    else if ((sum < 0 ? -sum : sum) > 1e-9 + 1e-6 * scale) { print "currents do not sum to zero: " $0; bad++ }
    if ($2 == 0.5 && $3 == 20 && !($4 > 1e-3)) { print "no channel current: " $0; bad++ }
}
END {
    n = 0
    for (m in models) { n++; if (models[m] != 147) { print m ": " models[m] " points, not 147"; bad++ } }
    if (n != 9) { print n " models, not 9"; bad++ }
    if (ops != 9) { print ops " operating points, not 9"; bad++ }
    if (saves != 9) { print saves " restores with the same residuals, not 9"; bad++ }
    print points " points of " n " models checked, " bad + 0 " faults"
    exit bad > 0
}
