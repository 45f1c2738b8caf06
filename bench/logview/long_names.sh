#!/usr/bin/env bash
# Long-name benchmark: how long an ordinary query waits for its answer right
# after queries whose names fill the log view with long lines. Each given
# build of Corvane runs on the real road, inside the private namespaces of
# scripts/lib/netns.sh with dnsmasq standing in for 8.8.8.8 (nothing can
# leave the machine), as on a machine without a display (its window on Qt's
# offscreen platform, the log view getting every line), from a copy in a
# folder of its own.
#
# Per build and round: ORDINARY queries, answered one by one, bring the view
# to its cap; then LONG queries at RATE a second, each for a name of
# NAME-BYTES bytes 0x01 (a line of about four characters a byte in the log);
# then one ordinary query, timed to its answer. Also reported: the
# forwarder's CPU time over the long queries, per query.
#
# Usage: sudo bench/logview/long_names.sh [options] PROGRAM...
#   --rounds N        rounds over all builds, their order reversing every
#                     round (default 3)
#   --ordinary N      ordinary queries first (default 800)
#   --long N          long-name queries (default 100)
#   --name-bytes N    bytes of each long name, at most 2030 (default 2000)
#   --rate N          long-name queries a second (default 100)
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
rounds=3
ordinary=800
long=100
name_bytes=2000
rate=100
while [ $# -gt 0 ]; do
    case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --ordinary) ordinary="$2"; shift 2 ;;
    --long) long="$2"; shift 2 ;;
    --name-bytes) name_bytes="$2"; shift 2 ;;
    --rate) rate="$2"; shift 2 ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "usage: $0 [options] PROGRAM..." >&2; exit 2; }
for n in "$rounds" "$ordinary" "$long" "$name_bytes" "$rate"; do
    [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "not a positive number: $n" >&2; exit 2; }
done
# Bounded: the sender refuses more, and so do the rounds.
[ "$rounds" -le 20 ] || { echo "at most 20 rounds" >&2; exit 2; }
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

# measure INDEX: one run of program INDEX; appends "after-ms baseline-ms
# cpu-ms-per-long-query" to its results.
measure() {
    local index="$1" program="${programs[$1]}" folder="$NETNS_DIR/build-$1"
    mkdir -p "$folder/bin"
    cp "$program" "$folder/bin/corvane"
    rm -f "$folder/log.log"
    NETNS_CWD="$folder" netns_fwd_start_udp 53 "build-$index" \
        env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$folder/bin/corvane" ||
        netns_die "build $index did not bind UDP 53: $(cat "$NETNS_DIR/build-$index.err")"
    local pid="$NETNS_LAST_PID" out ticks_before ticks_after
    out="$NETNS_DIR/run-$index.out"
    # The ordinary queries alone, to find where the long ones start.
    netns_fwd_exec perl "$here/long_names.pl" "$ordinary" 0 "$name_bytes" "$rate" >"$out.fill" || true
    ticks_before="$(cpu_ticks "$pid")"
    netns_fwd_exec perl "$here/long_names.pl" 1 "$long" "$name_bytes" "$rate" >"$out" || true
    ticks_after="$(cpu_ticks "$pid")"
    netns_stop "$pid" 5 >/dev/null || netns_die "build $index did not end in order"
    local after baseline
    after="$(awk '/^ordinary after long/ { print $4 }' "$out")"
    baseline="$(awk '/^baseline/ { print $2 }' "$out.fill")"
    [ "$after" != "none" ] || after=60000
    local cpu
    cpu="$(awk -v t="$((ticks_after - ticks_before))" -v hz="$(getconf CLK_TCK)" -v n="$long" \
        'BEGIN { printf "%.1f", t * 1000 / hz / n }')"
    echo "$after $baseline $cpu" >>"$NETNS_DIR/results-$index"
}

for ((round = 1; round <= rounds; round++)); do
    order=$(seq 0 $((${#programs[@]} - 1)))
    [ $((round % 2)) -eq 1 ] || order=$(seq $((${#programs[@]} - 1)) -1 0)
    for index in $order; do
        measure "$index"
    done
done

echo "$ordinary ordinary queries, then $long of $name_bytes-byte names at $rate a second:"
for index in "${!programs[@]}"; do
    results="$NETNS_DIR/results-$index"
    echo "${programs[$index]}"
    awk '{ printf "  round %d: ordinary query after the long ones answered in %s ms (before them: %s ms); CPU %s ms per long query\n", NR, $1, $2, $3 }' "$results"
    printf '  median: answered in %s ms; CPU %s ms per long query\n' \
        "$(cut -d' ' -f1 "$results" | median)" "$(cut -d' ' -f3 "$results" | median)"
done
