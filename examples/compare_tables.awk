# Compares the example host's table (second file) with a reference build's
# (first file): comment and blank lines alike, every row's model, bias,
# Newton iterations and status alike, and the currents into d, g and s within
# 1e-12 of the point's largest terminal current (two C libraries' exp and pow
# may differ in the last bit; a current that cancels to nearly nothing, such
# as the drain current at Vd 0, has no relative digits of its own).
# A Windows host writes its lines with CR LF.
{ sub(/\r$/, "") }
function abs(x) { return x < 0 ? -x : x }
NR == FNR { reference[FNR] = $0; lines = FNR; next }
{
    if (!(FNR in reference)) { print "extra line " FNR ": " $0; bad++; next }
    if ($1 ~ /^#/ || NF != 8) {
        if ($0 != reference[FNR]) { print "line " FNR ": " $0 "\n  reference: " reference[FNR]; bad++ }
        next
    }
    split(reference[FNR], r)
    if ($1 != r[1] || $2 != r[2] || $3 != r[3] || $7 != r[7] || $8 != r[8]) {
        print "row " FNR ": " $0 "\n  reference: " reference[FNR]; bad++; next
    }
    rows++
    scale = 0
    for (i = 4; i <= 6; i++) {
        if (abs(r[i]) > scale) scale = abs(r[i])
        if (abs($i) > scale) scale = abs($i)
    }
    for (i = 4; i <= 6; i++) {
        diff = abs($i - r[i])
        if (diff > 1e-12 * scale) { print "row " FNR " current " i - 3 ": " $i " against " r[i]; bad++ }
        if (scale > 0 && diff / scale > largest) largest = diff / scale
    }
}
END {
    if (FNR < lines) { print "table ends at line " FNR " of " lines; bad++ }
    printf "%d rows match the reference within 1e-12 (largest relative difference %.3g), %d faults\n", rows, largest, bad
    exit bad > 0
}
