# Compares an example host's table (second file) with a reference build's
# (first file): comment and blank lines alike, and in every row the columns
# named by `columns` (default "4 5 6", the DC table's currents into d, g and s)
# within 1e-12 of the largest magnitude among them in the row, every other
# column alike (two C libraries' exp and pow may differ in the last bit; a
# value that cancels to nearly nothing, such as the drain current at Vd 0,
# has no relative digits of its own).
# A Windows host writes its lines with CR LF.
{ sub(/\r$/, "") }
function abs(x) { return x < 0 ? -x : x }
BEGIN {
    if (columns == "") columns = "4 5 6"
    ncolumns = split(columns, col, " ")
    for (k = 1; k <= ncolumns; k++) nearOnly[col[k]] = 1
}
NR == FNR { reference[FNR] = $0; lines = FNR; next }
{
    if (!(FNR in reference)) { print "extra line " FNR ": " $0; bad++; next }
    n = split(reference[FNR], r)
    if ($1 ~ /^#/ || NF == 0 || NF != n) {
        if ($0 != reference[FNR]) { print "line " FNR ": " $0 "\n  reference: " reference[FNR]; bad++ }
        next
    }
    differs = 0
    for (i = 1; i <= NF; i++) if (!(i in nearOnly) && $i != r[i]) differs = 1
    if (differs) { print "row " FNR ": " $0 "\n  reference: " reference[FNR]; bad++; next }
    rows++
    scale = 0
    for (k = 1; k <= ncolumns; k++) {
        i = col[k]
        if (abs(r[i]) > scale) scale = abs(r[i])
        if (abs($i) > scale) scale = abs($i)
    }
    for (k = 1; k <= ncolumns; k++) {
        i = col[k]
        diff = abs($i - r[i])
        if (diff > 1e-12 * scale) { print "row " FNR " column " i ": " $i " against " r[i]; bad++ }
        if (scale > 0 && diff / scale > largest) largest = diff / scale
    }
}
END {
    if (FNR < lines) { print "table ends at line " FNR " of " lines; bad++ }
    printf "%d rows match the reference within 1e-12 (largest relative difference %.3g), %d faults\n", rows, largest, bad
    exit bad > 0
}
