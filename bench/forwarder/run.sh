#!/usr/bin/env bash
# Forwarding benchmark: Corvane against dnsmasq (cache off) as plain
# forwarders, in the same run, rounds alternating so that machine drift
# cancels. Everything runs inside the private namespaces of
# scripts/lib/netns.sh: the forwarder namespace reaches 8.8.8.8 through a veth
# pair and nothing else; in the upstream namespace a fast responder answers
# every query on 8.8.8.8:53 (UDP and TCP) with a fixed A record, so the upstream is never
# the slow link. Nothing can leave the machine.
#
# Placement on a 2-core machine: the load generator (dnsperf, or the latency
# probe) and the responder share CPU 0; the forwarder under test has CPU 1.
#
# Figures, per forwarder variant (median of the rounds):
#   qps      queries a second at saturation (dnsperf, several clients, many
#            queries outstanding)
#   latency  one client at 200 queries a second: average, median and 99th
#            percentile round trip, and what the forwarder adds to the round
#            trip of asking the responder directly
#   cpu      CPU seconds (user + system) of the forwarder per 1,000 queries,
#            over the saturation run
#   rss      peak resident memory of the forwarder (VmHWM)
#   wakeups  context switches a second while the forwarder sits idle, right
#            after its start (voluntary + involuntary, /proc/PID/status)
#   tcp_qps  queries a second at saturation over TCP (dnsperf -m tcp, the
#            same clients and queries outstanding, each client one
#            connection); the responder answers TCP too, so the forwarder's
#            own upstream connection is measured as well
#   cpu200   CPU microseconds (user + system, all threads) of the forwarder
#            per query during the latency run, one client at 200 a second
#   share20, share200
#            the share of one core the forwarder takes while clients ask 20
#            and 200 queries a second, each query from a socket of its own as
#            the C library's resolver sends it (--pace-seconds at 200 a
#            second, twice as long at 20)
#   share    the queries attributed: the share of them whose program was
#            named at once, as a plug-in that asks is told (variant
#            corvane-asked only): at saturation over UDP and over TCP, and
#            in the runs with a socket a query (their names end in
#            "fresh.bench", so that the plug-in can tell them apart)
#
# Variants: dnsmasq (the peer); relay (bench/forwarder/BareRelay.c: the main
# loop's shape in bare C, one datagram per socket per turn and poll when
# idle, no log, no window: the loop's limit); corvane (the program as it runs on a machine
# without a display: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM unset, so it
# builds and shows its window on Qt's offscreen platform by itself, the log
# view getting every line); corvane-blocklist (the same, with the blocklist
# plug-in beside a copy of the binary, holding a list of 1,000,000 domains
# that none of the queries hits, so every query is still forwarded after a
# full lookup). The program always has its window, so "headless" and "with
# the window, offscreen" are one and the same run: there is no separate
# window variant. Each Corvane run is checked to have loaded the offscreen
# platform, that is, to be running with its window. corvane-x11 (default
# when Xvfb is installed): the same with its window shown on a real X
# server, an Xvfb started in the forwarder namespace; the run is checked to
# have loaded the X11 platform.
# With --base-ref, one more:
# corvane-base (the program as built from an earlier commit, run the same way),
# so that a change is measured against the build without it in the same run;
# the table then has a "vs base" column. With --base-ref at the commit
# before attribution, "vs base" is what naming the asker of every query
# costs: the program has no switch for it, so the build without it is the
# faithful way to leave it out. corvane-asked: the same program with
# bench/forwarder/AskerCount.c as Filter.DLL, which asks who sent every
# query through FilterQueryFrom (at once, before the query goes upstream,
# as a plug-in with $app rules does) and counts the answers.
#
# Usage: sudo bench/forwarder/run.sh [options]
#   --rounds N        rounds over all variants (default 3)
#   --seconds S       length of each saturation run (default 5)
#   --latency-count N queries of each latency run, at 200 a second (default 1000)
#   --clients N       dnsperf clients (default 8)
#   --outstanding N   dnsperf queries outstanding (default 100)
#   --variants "..."  which variants to measure (default: all six, or five
#                     without Xvfb)
#   --idle-seconds S  length of each idle measurement (default 10)
#   --pace-seconds S  length of the run at 200 queries a second of the share
#                     figures (default 5; the run at 20 a second lasts 2S)
#   --build DIR       build tree to use (default: build/bench); the programs
#                     the benchmark needs are built there first
#   --base-ref REF    also measure corvane as built from commit REF: its tree
#                     is exported (git archive) into DIR-base/src and built in
#                     DIR-base/build
#   --results FILE    where the raw per-round figures go (default: a temp file,
#                     printed at the end)
#   --smoke           a few seconds in all: one short round of dnsmasq and
#                     corvane, to see that the benchmark still works
# Needs root (network namespaces). Installs dnsperf and dnsmasq when missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
here="$root/bench/forwarder"

rounds=3
seconds=5
latency_count=1000
latency_rate=200
clients=8
outstanding=100
idle_seconds=10
pace_seconds=5
variants=""
build="$root/build/bench"
results=""
base_ref=""
while [ $# -gt 0 ]; do
    case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    --latency-count) latency_count="$2"; shift 2 ;;
    --clients) clients="$2"; shift 2 ;;
    --outstanding) outstanding="$2"; shift 2 ;;
    --variants) variants="$2"; shift 2 ;;
    --idle-seconds) idle_seconds="$2"; shift 2 ;;
    --pace-seconds) pace_seconds="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --results) results="$2"; shift 2 ;;
    --base-ref) base_ref="$2"; shift 2 ;;
    --smoke) rounds=1; seconds=1; latency_count=50; idle_seconds=2; pace_seconds=1; variants="dnsmasq relay corvane"; shift ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done
for n in "$rounds" "$seconds" "$latency_count" "$clients" "$outstanding" "$idle_seconds" "$pace_seconds"; do
    [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "not a positive number: $n" >&2; exit 2; }
done
# Every load loop is bounded: at most an hour of saturation runs and a
# million probe queries in all.
[ $((rounds * (seconds + idle_seconds + 3 * pace_seconds) * 6)) -le 3600 ] || { echo "too long a run" >&2; exit 2; }
[ "$latency_count" -le 100000 ] || { echo "too many latency queries" >&2; exit 2; }

if [ "$(id -u)" -ne 0 ]; then
    echo "the benchmark builds network namespaces: run it as root" >&2
    exit 77
fi

# No display is needed, and none is used even where there is one: Corvane
# runs as on a headless machine (see start_forwarder).
# shellcheck source=SCRIPTDIR/../../scripts/deps.sh
source "$root/scripts/deps.sh"
corvane_install_missing "${CORVANE_BUILD_DEPS[@]}" "${CORVANE_BENCH_DEPS[@]}"
for tool in dnsperf dnsmasq taskset; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool" >&2; exit 1; }
done

mkdir -p "$build"
build="$(cd "$build" && pwd)"
echo "== building ($build) =="
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target corvane Filter.DLL fast_responder latency_probe bare_relay \
    asker_count |
    tail -n 1
binary="$build/proxy/corvane"
plugin="$build/proxy/Filter.DLL"
asker_count="$build/bench/libasker_count.so"

# The base contestant: the tree of an earlier commit, exported (not checked
# out: nothing of the repository changes) and built beside the bench tree.
# git archive gives every file the commit's time, so a second run of the same
# commit rebuilds nothing.
base_binary=""
if [ -n "$base_ref" ]; then
    commit="$(git -C "$root" rev-parse --verify "$base_ref^{commit}")" ||
        { echo "no such commit: $base_ref" >&2; exit 2; }
    base_dir="$build-base"
    echo "== building the base, $base_ref ($commit), in $base_dir =="
    rm -rf "$base_dir/src"
    mkdir -p "$base_dir/src"
    git -C "$root" archive "$commit" | tar -x -C "$base_dir/src"
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -S "$base_dir/src" -B "$base_dir/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "${launcher[@]}" >/dev/null
    cmake --build "$base_dir/build" -j "$(nproc)" --target corvane | tail -n 1
    base_binary="$base_dir/build/proxy/corvane"
fi
responder="$build/bench/fast_responder"
probe="$build/bench/latency_probe"
relay="$build/bench/bare_relay"

# Two cores are what the figures assume; on more, the same two are used.
load_cpu=0
fwd_cpu=1
if [ "$(nproc)" -lt 2 ]; then
    fwd_cpu=0
    echo "warning: one CPU only; load and forwarder share it" >&2
fi

if [ -z "$variants" ]; then
    variants="dnsmasq relay corvane corvane-blocklist corvane-asked"
    if command -v Xvfb >/dev/null; then
        variants="$variants corvane-x11"
    fi
fi
if [ -n "$base_ref" ] && [[ " $variants " != *" corvane-base "* ]]; then
    variants="$variants corvane-base"
fi
for v in $variants; do
    case "$v" in
    dnsmasq | relay | corvane | corvane-blocklist | corvane-asked) ;;
    corvane-base)
        [ -n "$base_ref" ] || { echo "corvane-base needs --base-ref" >&2; exit 2; }
        ;;
    corvane-x11) command -v Xvfb >/dev/null || { echo "corvane-x11 needs Xvfb (package xvfb)" >&2; exit 1; } ;;
    corvane-window)
        echo "corvane-window is now the corvane variant: the program always shows its" \
            "window, offscreen when there is no display" >&2
        exit 2
        ;;
    *) echo "unknown variant: $v" >&2; exit 2 ;;
    esac
done

# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$root/scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/measure.sh
source "$root/scripts/lib/measure.sh"
netns_setup
work="$NETNS_DIR/bench"
mkdir -p "$work"
[ -n "$results" ] || results="$work/results.tsv"
: >"$results"

echo "== inputs =="
# A few thousand varied names, the same every run: common host prefixes or
# none, random registrable labels, a spread of top-level domains and types.
awk -v count=4000 'BEGIN {
    srand(7)
    split("www mail api cdn img static m login shop news blog app", prefixes, " ")
    split("com net org io de co.uk fr info nl eu ru jp", tlds, " ")
    letters = "abcdefghijklmnopqrstuvwxyz0123456789"
    for (i = 0; i < count; i++) {
        name = ""
        n = 4 + int(rand() * 9)
        for (j = 0; j < n; j++) name = name substr(letters, 1 + int(rand() * 26), 1)
        if (rand() < 0.6) name = prefixes[1 + int(rand() * 12)] "." name
        name = name "." tlds[1 + int(rand() * 12)]
        r = rand()
        type = r < 0.7 ? "A" : (r < 0.95 ? "AAAA" : "MX")
        print name, type
    }
}' >"$work/queries.txt"
echo "query file: $(wc -l <"$work/queries.txt") names"
# The names of the runs with a socket a query: the same, under fresh.bench,
# so that a plug-in can tell their queries from the others.
awk '{ print $1 ".fresh.bench", $2 }' "$work/queries.txt" >"$work/fresh.txt"

if [[ " $variants " == *" corvane-blocklist "* ]]; then
    # 1,000,000 domains in the same top-level domains; their labels use
    # digits and a hyphen, so no query name (letters only) or parent is listed.
    awk -v count=1000000 'BEGIN {
        srand(11)
        split("com net org io de co.uk fr info nl eu ru jp", tlds, " ")
        letters = "abcdefghijklmnopqrstuvwxyz0123456789"
        print "# generated by bench/forwarder/run.sh"
        for (i = 0; i < count; i++) {
            name = ""
            n = 5 + int(rand() * 10)
            for (j = 0; j < n; j++) name = name substr(letters, 1 + int(rand() * 36), 1)
            name = name "-" i
            if (rand() < 0.3) name = "ads." name
            print name "." tlds[1 + int(rand() * 12)]
        }
    }' >"$work/blocklist.txt"
    echo "block list: $(($(wc -l <"$work/blocklist.txt") - 1)) domains"
fi

# Each Corvane variant runs a copy of the binary in a folder of its own, so
# that exactly the plug-in wanted sits beside it (RUNPATH $ORIGIN follows).
for v in $variants; do
    case "$v" in
    corvane-base)
        mkdir -p "$work/$v/bin"
        cp "$base_binary" "$work/$v/bin/corvane"
        ;;
    corvane*)
        mkdir -p "$work/$v/bin"
        cp "$binary" "$work/$v/bin/corvane"
        ;;
    esac
done
if [ -d "$work/corvane-asked" ]; then
    [ -f "$asker_count" ] || { echo "missing plug-in: $asker_count" >&2; exit 1; }
    cp "$asker_count" "$work/corvane-asked/bin/Filter.DLL"
fi
if [ -d "$work/corvane-blocklist" ]; then
    [ -f "$plugin" ] || { echo "missing plug-in: $plugin" >&2; exit 1; }
    cp "$plugin" "$work/corvane-blocklist/bin/Filter.DLL"
    cp "$work/blocklist.txt" "$work/corvane-blocklist/bin/blocklist.txt"
fi

echo "== responder on 8.8.8.8:53 (CPU $load_cpu) =="
netns_start_upstream_cmd responder taskset -c "$load_cpu" "$responder" 8.8.8.8 53 7200

# A real X server for corvane-x11, without a screen, in the forwarder
# namespace beside the load (it is the desktop, not the program measured).
x_display=""
if [[ " $variants " == *" corvane-x11 "* ]]; then
    for n in $(seq 100 199); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            x_display=":$n"
            break
        fi
    done
    [ -n "$x_display" ] || { echo "no free X display number" >&2; exit 1; }
    echo "== Xvfb $x_display (CPU $load_cpu) =="
    netns_fwd_start xvfb taskset -c "$load_cpu" Xvfb "$x_display" -screen 0 1280x1024x24 -nolisten tcp
    for ((i = 0; i < 50; i++)); do
        [ -e "/tmp/.X11-unix/X${x_display#:}" ] && break
        sleep 0.1
    done
    [ -e "/tmp/.X11-unix/X${x_display#:}" ] || { echo "Xvfb did not start" >&2; exit 1; }
fi

clk_tck="$(getconf CLK_TCK)"

# Starts forwarder variant $1 on the forwarder CPU; leaves its pid in fwd_pid.
start_forwarder() {
    local v="$1"
    case "$v" in
    dnsmasq)
        netns_fwd_start "$v" taskset -c "$fwd_cpu" dnsmasq \
            --conf-file=/dev/null --keep-in-foreground --no-resolv --no-hosts --no-poll \
            --cache-size=0 --server=8.8.8.8 --port=53 \
            --listen-address=127.0.0.1 --bind-interfaces \
            --pid-file="$work/dnsmasq.pid" --log-facility="$work/dnsmasq.log"
        ;;
    relay)
        # Ends by itself after an hour at most, like every load of this run.
        netns_fwd_start "$v" taskset -c "$fwd_cpu" "$relay" 127.0.0.1 53 8.8.8.8 53 3600
        ;;
    corvane | corvane-blocklist | corvane-base | corvane-asked)
        rm -f "$work/$v/log.log" "$work/$v/asker-count.txt"
        # As on a machine without a display: the program picks Qt's offscreen
        # platform for its window by itself.
        NETNS_CWD="$work/$v" netns_fwd_start "$v" \
            env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
            taskset -c "$fwd_cpu" "$work/$v/bin/corvane"
        ;;
    corvane-x11)
        rm -f "$work/$v/log.log"
        NETNS_CWD="$work/$v" netns_fwd_start "$v" \
            env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$x_display" \
            taskset -c "$fwd_cpu" "$work/$v/bin/corvane"
        ;;
    *)
        echo "unknown variant: $v" >&2
        exit 2
        ;;
    esac
    fwd_pid="$NETNS_LAST_PID"
    netns_wait_udp_port "$NETNS_FWD" 53 "$fwd_pid" || {
        cat "$NETNS_DIR/$v.err" >&2
        exit 1
    }
    # The first query may wait for a plug-in to load its list: ask until one
    # is answered (each try waits one second at most).
    local i
    for ((i = 0; i < 30; i++)); do
        if netns_fwd_exec "$probe" 127.0.0.1 53 100 1 "$work/queries.txt" >/dev/null 2>&1; then
            return 0
        fi
    done
    echo "$v answers no query" >&2
    exit 1
}

# Fails unless Corvane variant $1 (pid $2) runs with its window: Qt's
# offscreen platform plug-in, or for corvane-x11 its X11 one, is mapped into
# it. The figures are meant to include the window.
check_window() {
    local platform='libqoffscreen\.so'
    [ "$1" = corvane-x11 ] && platform='libqxcb\.so'
    grep -q "$platform" "/proc/$2/maps" || {
        echo "$1 (pid $2) runs without its window ($platform)" >&2
        exit 1
    }
}

# CPU time (user + system) of every thread of PID, in nanoseconds: finer
# than clock ticks, which the slow runs below need.
cpu_ns() {
    awk '{ n += $1 } END { printf "%d", n }' /proc/"$1"/task/*/schedstat
}

# The share of one core (percent) forwarder $1 takes while clients ask
# $2 queries a second for $3 seconds, each query from a socket of its own.
pace_share() {
    local before after start end count=$(($2 * $3))
    before="$(cpu_ns "$1")"
    start="$(date +%s%N)"
    netns_fwd_exec taskset -c "$load_cpu" "$probe" 127.0.0.1 53 "$2" "$count" "$work/fresh.txt" \
        --socket-per-query >/dev/null || true
    end="$(date +%s%N)"
    after="$(cpu_ns "$1")"
    awk -v c=$((after - before)) -v w=$((end - start)) 'BEGIN { printf "%.2f", c / w * 100 }'
}

# Context switches a second of pid $1 over $idle_seconds of idleness: each
# one is a wake-up the machine pays for (a laptop's battery sees them).
idle_wakeups() {
    local before after
    sleep 1
    before="$(awk '/ctxt_switches:/ { n += $2 } END { print n }' "/proc/$1/status")"
    sleep "$idle_seconds"
    after="$(awk '/ctxt_switches:/ { n += $2 } END { print n }' "/proc/$1/status")"
    awk -v d=$((after - before)) -v s="$idle_seconds" 'BEGIN { printf "%.1f", d / s }'
}

# The shares of queries named in the counts corvane-asked left ($1): "udp tcp
# fresh", nan where none was counted.
asker_shares() {
    awk '{ t = $2 + $3 + $4; s[$1] = t > 0 ? sprintf("%.4f", $2 / t) : "nan" }
         END { print (s["udp"] == "" ? "nan" : s["udp"]), (s["tcp"] == "" ? "nan" : s["tcp"]),
                     (s["fresh"] == "" ? "nan" : s["fresh"]) }' "$1" 2>/dev/null || echo "nan nan nan"
}

# probe SERVER: the latency run; prints "avg p50 p99 answered", times in
# microseconds.
probe_latency() {
    local out
    out="$(netns_fwd_exec taskset -c "$load_cpu" "$probe" "$1" 53 "$latency_rate" \
        "$latency_count" "$work/queries.txt")" || true
    awk '{ for (i = 1; i < NF; i++) v[$i] = $(i + 1) }
         END { if (v["answered"] == "" || v["answered"] == 0) print "nan nan nan 0";
               else print v["avg_us"], v["p50_us"], v["p99_us"], v["answered"] }' <<<"$out"
}

printf 'variant\tround\tqps\tcompleted\tlost\tcpu_ms_per_1k\tavg_us\tp50_us\tp99_us\tdirect_avg_us\tdirect_p50_us\tdirect_p99_us\trss_kb\twakeups_per_s\ttcp_qps\tcpu200_us\tshare20_pct\tshare200_pct\tshare_udp\tshare_tcp\tshare_fresh\n' >>"$results"

echo "== $rounds rounds: $variants =="
echo "   saturation: dnsperf -c $clients -q $outstanding -l $seconds; latency: 1 client, $latency_rate/s, $latency_count queries"
for ((round = 1; round <= rounds; round++)); do
    # Alternate the order, so that no variant always runs first or last.
    order="$variants"
    if ((round % 2 == 0)); then
        order="$(tr ' ' '\n' <<<"$variants" | tac | tr '\n' ' ')"
    fi
    read -r d_avg d_p50 d_p99 _ <<<"$(probe_latency 8.8.8.8)"
    for v in $order; do
        start_forwarder "$v"
        case "$v" in corvane*) check_window "$v" "$fwd_pid" ;; esac
        wakeups="$(idle_wakeups "$fwd_pid")"
        cpu_before="$(cpu_ns "$fwd_pid")"
        read -r l_avg l_p50 l_p99 l_answered <<<"$(probe_latency 127.0.0.1)"
        cpu200="$(awk -v c=$(($(cpu_ns "$fwd_pid") - cpu_before)) -v n="$l_answered" \
            'BEGIN { if (n > 0) printf "%.1f", c / 1000 / n; else print "nan" }')"
        share20="$(pace_share "$fwd_pid" 20 $((2 * pace_seconds)))"
        share200="$(pace_share "$fwd_pid" 200 "$pace_seconds")"

        before="$(cpu_ticks "$fwd_pid")"
        perf_out="$(netns_fwd_exec taskset -c "$load_cpu" dnsperf -s 127.0.0.1 -p 53 \
            -d "$work/queries.txt" -c "$clients" -q "$outstanding" -l "$seconds" -t 2 2>&1)" || true
        after="$(cpu_ticks "$fwd_pid")"
        tcp_out="$(netns_fwd_exec taskset -c "$load_cpu" dnsperf -m tcp -s 127.0.0.1 -p 53 \
            -d "$work/queries.txt" -c "$clients" -q "$outstanding" -l "$seconds" -t 2 2>&1)" || true
        tcp_qps="$(awk '/Queries per second:/ { print $4 }' <<<"$tcp_out")"
        rss="$(awk '/^VmHWM:/ { print $2 }' "/proc/$fwd_pid/status")"
        netns_stop "$fwd_pid" 5 >/dev/null 2>&1 || true
        shares="nan nan nan"
        if [ "$v" = corvane-asked ]; then
            shares="$(asker_shares "$work/$v/asker-count.txt")"
        fi
        read -r share_udp share_tcp share_fresh <<<"$shares"

        qps="$(awk '/Queries per second:/ { print $4 }' <<<"$perf_out")"
        completed="$(awk '/Queries completed:/ { print $3 }' <<<"$perf_out")"
        lost="$(awk '/Queries lost:/ { print $3 }' <<<"$perf_out")"
        if [ -z "$qps" ] || [ -z "$completed" ] || [ "$completed" = 0 ]; then
            echo "$v: dnsperf gave no figures:" >&2
            echo "$perf_out" >&2
            exit 1
        fi
        cpu_ms="$(awk -v t=$((after - before)) -v hz="$clk_tck" -v n="$completed" \
            'BEGIN { printf "%.2f", t / hz * 1000 / n * 1000 }')"
        printf '%s\t%d\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$v" "$round" "$qps" \
            "$completed" "$lost" "$cpu_ms" "$l_avg" "$l_p50" "$l_p99" "$d_avg" "$d_p50" "$d_p99" \
            "$rss" "$wakeups" "${tcp_qps:-nan}" "$cpu200" "$share20" "$share200" \
            "$share_udp" "$share_tcp" "$share_fresh" >>"$results"
        printf '   round %d %-18s %9.0f q/s  lost %-5s cpu %6s ms/1k  latency avg %s p50 %s p99 %s us (direct %s/%s/%s)  rss %s kB  idle %s wake-ups/s  tcp %s q/s  cpu at 200/s %s us/query  core at 20/s %s%% at 200/s %s%%  named %s/%s/%s\n' \
            "$round" "$v" "$qps" "$lost" "$cpu_ms" "$l_avg" "$l_p50" "$l_p99" "$d_avg" "$d_p50" "$d_p99" "$rss" "$wakeups" "${tcp_qps:-nan}" "$cpu200" "$share20" "$share200" \
            "$share_udp" "$share_tcp" "$share_fresh"
    done
done

echo
echo "== results (median of $rounds rounds; ratios to dnsmasq, to the bare relay and to the base) =="
"$here/summarize.sh" "$results"
echo
echo "raw figures: $results"
if [[ "$results" == "$work/"* ]]; then
    cat "$results"
fi
