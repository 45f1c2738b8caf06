# shellcheck shell=bash
# Small readings shared by the benchmarks and the tests that count a
# process's work.
#
#   cpu_ticks PID   the processor time PID has used so far, user and system,
#                   in clock ticks (getconf CLK_TCK a second)
#   median          the median of the numbers on standard input, one a line

cpu_ticks() {
    local stat
    stat="$(cat "/proc/$1/stat")"
    # The command name may hold spaces and parentheses: count the fields
    # from the last ") ".
    stat="${stat##*) }"
    # shellcheck disable=SC2086 # the fields, split
    set -- $stat
    echo $((${12} + ${13}))
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
