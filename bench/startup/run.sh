#!/usr/bin/env bash
# Start-up benchmark: how long each given build of Corvane takes from its
# start to its first answer, and its peak resident memory (VmHWM) then and
# after a number of queries. Runs inside the private namespaces of
# scripts/lib/netns.sh, with dnsmasq standing in for 8.8.8.8; nothing can leave
# the machine. The builds take turns, their order reversing every round, so
# that the drift of a shared machine falls on each alike.
#
# Each build runs as on a machine without a display (Qt's offscreen platform,
# chosen by the program itself), from a copy in a folder of its own, with the
# fault report's helpers beside it when they lie beside the given program.
#
# Usage: sudo bench/startup/run.sh [--rounds N] [--queries N] PROGRAM...
# Prints, per program, every round and the medians.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
rounds=7
queries=5000
while [ $# -gt 0 ]; do
    case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --queries) queries="$2"; shift 2 ;;
    *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--rounds N] [--queries N] PROGRAM..." >&2; exit 2; }
programs=()
for program in "$@"; do
    programs+=("$(realpath "$program")")
done

# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$root/scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/measure.sh
source "$root/scripts/lib/measure.sh"
netns_setup
netns_start_upstream

# measure INDEX: one run of program INDEX; appends "ms hwm-start hwm-load" to
# its results.
measure() {
    local index="$1" program="${programs[$1]}" folder="$NETNS_DIR/build-$1"
    mkdir -p "$folder/bin"
    cp "$program" "$folder/bin/corvane"
    for helper in corvane-faultbox corvane-faultline; do
        [ ! -e "$(dirname "$program")/$helper" ] || cp "$(dirname "$program")/$helper" "$folder/bin/"
    done
    rm -f "$folder/log.log"
    local start ms hwm_start hwm_load pid
    start="$(date +%s%N)"
    NETNS_CWD="$folder" netns_fwd_start "build-$index" \
        env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$folder/bin/corvane"
    pid="$NETNS_LAST_PID"
    ms="$(netns_fwd_exec perl "$here/probe.pl" first "$start")" ||
        netns_die "build $index answered no query: $(cat "$NETNS_DIR/build-$index.err")"
    hwm_start="$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")"
    netns_fwd_exec perl "$here/probe.pl" load "$queries" >/dev/null ||
        netns_die "build $index left queries unanswered"
    hwm_load="$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")"
    netns_stop "$pid" 5 >/dev/null || netns_die "build $index did not end in order"
    echo "$ms $hwm_start $hwm_load" >>"$NETNS_DIR/results-$index"
}

for ((round = 1; round <= rounds; round++)); do
    order=$(seq 0 $((${#programs[@]} - 1)))
    [ $((round % 2)) -eq 1 ] || order=$(seq $((${#programs[@]} - 1)) -1 0)
    for index in $order; do
        measure "$index"
    done
done

for index in "${!programs[@]}"; do
    results="$NETNS_DIR/results-$index"
    echo "${programs[$index]}"
    awk '{ printf "  round %d: first answer %s ms, VmHWM %d kB at start, %d kB after the queries\n", NR, $1, $2, $3 }' "$results"
    printf '  median: first answer %s ms, VmHWM %s kB at start, %s kB after %d queries\n' \
        "$(cut -d' ' -f1 "$results" | median)" "$(cut -d' ' -f2 "$results" | median)" \
        "$(cut -d' ' -f3 "$results" | median)" "$queries"
done
