#!/usr/bin/env bash
# Where a forwarder's time goes at saturation: the same private namespaces,
# responder and load as bench/forwarder/run.sh, with `perf record` attached
# to the forwarder for the length of one dnsperf run. Prints the flat profile
# (self time by symbol), the time with callees, and the number of malloc and
# free calls during the run; leaves perf.data behind.
#
# Corvane runs as on a machine without a display: its window on Qt's
# offscreen platform, which it picks by itself, the log view getting every
# line.
#
# Usage: sudo bench/forwarder/profile.sh [--variant corvane|dnsmasq]
#                                        [--seconds S] [--build DIR] [--out DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"

variant=corvane
seconds=5
build="$root/build/bench"
out="$PWD/profile-out"
while [ $# -gt 0 ]; do
    case "$1" in
    --variant) variant="$2"; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done
[[ "$seconds" =~ ^[1-9][0-9]?$ ]] || { echo "--seconds: 1 to 99" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "run as root (network namespaces)" >&2; exit 77; }

# shellcheck source=SCRIPTDIR/../../scripts/deps.sh
source "$root/scripts/deps.sh"
corvane_install_missing "${CORVANE_BUILD_DEPS[@]}" "${CORVANE_BENCH_DEPS[@]}" linux-perf
mkdir -p "$build" "$out"
build="$(cd "$build" && pwd)"
out="$(cd "$out" && pwd)"
[ -f "$build/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target corvane fast_responder latency_probe | tail -n 1

# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$root/scripts/lib/netns.sh"
netns_setup
work="$NETNS_DIR/profile"
mkdir -p "$work"
awk 'BEGIN { srand(7); for (i = 0; i < 4000; i++) {
        n = ""; for (j = 0; j < 4 + int(rand() * 9); j++) n = n sprintf("%c", 97 + int(rand() * 26))
        print "www." n ".com", "A" } }' >"$work/queries.txt"

netns_start_upstream_cmd responder taskset -c 0 "$build/bench/fast_responder" 8.8.8.8 53 600

case "$variant" in
dnsmasq)
    netns_fwd_start dnsmasq taskset -c 1 dnsmasq --conf-file=/dev/null --keep-in-foreground \
        --no-resolv --no-hosts --no-poll --cache-size=0 --server=8.8.8.8 --port=53 \
        --listen-address=127.0.0.1 --bind-interfaces --pid-file="$work/dnsmasq.pid" \
        --log-facility="$work/dnsmasq.log"
    ;;
corvane)
    mkdir -p "$work/run"
    NETNS_CWD="$work/run" netns_fwd_start corvane \
        env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM taskset -c 1 "$build/proxy/corvane"
    ;;
*) echo "unknown variant: $variant" >&2; exit 2 ;;
esac
pid="$NETNS_LAST_PID"
netns_wait_udp_port "$NETNS_FWD" 53 "$pid"
netns_fwd_exec "$build/bench/latency_probe" 127.0.0.1 53 100 20 "$work/queries.txt" >/dev/null

perf record -F 4999 -g -p "$pid" -o "$out/perf.data" -- sleep "$((seconds + 1))" \
    >"$out/perf-record.log" 2>&1 &
perf_pid=$!
# Allocations during the run: uprobes on the C library's malloc and free
# (added once; they stay defined until `perf probe -d 'probe_libc:*'`).
libc="$(ldd "$build/proxy/corvane" | awk '/libc\.so/ { print $3 }')"
stat_pid=""
if perf probe -l 2>/dev/null | grep -q 'probe_libc:malloc' ||
    { perf probe -q -x "$libc" --add malloc && perf probe -q -x "$libc" --add free; } 2>/dev/null; then
    perf stat -e probe_libc:malloc,probe_libc:free -p "$pid" -o "$out/allocs.txt" \
        -- sleep "$((seconds + 1))" >/dev/null 2>&1 &
    stat_pid=$!
fi
sleep 0.5
netns_fwd_exec taskset -c 0 dnsperf -s 127.0.0.1 -d "$work/queries.txt" -c 8 -q 100 \
    -l "$seconds" -t 2 | grep -E 'Queries (per second|completed|lost)'
wait "$perf_pid" || true
[ -z "$stat_pid" ] || wait "$stat_pid" || true
netns_stop "$pid" 5 || true

perf report -i "$out/perf.data" --no-children --sort symbol --percent-limit 0.7 --stdio \
    2>/dev/null | grep -v '^$' | grep -E '^ +[0-9]' >"$out/flat.txt" || true
perf report -i "$out/perf.data" --children --sort symbol --percent-limit 2 --stdio -g none \
    2>/dev/null | grep -E '^ +[0-9]' >"$out/children.txt" || true
echo "== self time (top) =="
head -n 40 "$out/flat.txt"
echo "== with callees (top) =="
head -n 40 "$out/children.txt"
if [ -s "$out/allocs.txt" ]; then
    echo "== allocations during the run =="
    grep -E 'probe_libc' "$out/allocs.txt"
fi
echo "perf data: $out/perf.data"
