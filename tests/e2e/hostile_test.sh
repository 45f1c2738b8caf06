#!/usr/bin/env bash
# Hostile traffic against the real program, inside private namespaces: the
# forwarder, its upstream on 8.8.8.8 (a stand-in that answers, holds or
# ignores queries by name) and an attacker on 198.51.100.2. Nothing here can
# leave the machine, and every loop and wait is bounded.
#
# Scenarios, each followed by a normal query that must be answered:
#   local addresses  a client asking any local address gets its answer from
#                    that address, port 53
#   spoofing         forged answers to the upstream link's port, from the
#                    attacker and from 8.8.8.8 with a wrong port, while a real
#                    query is held: none reaches the client, the real one does
#   malformed        hand-made broken queries, clients that are gone when
#                    their answer comes, and random datagrams
#   flood            one query from each of thousands of source ports with the
#                    upstream holding every one; after the queries expired,
#                    their late answers must be dropped and a second flood
#                    must reuse the memory of the first (the long one: about
#                    50 s, the wait for the expiry pass)
#   slow plug-in     a filter that takes 200 ms for one name: nothing is lost
#   crashing plug-in a filter that faults: the fault report names the query
#                    path's call of the filter, exit code 0, the log complete
# The figures are printed at the end (docs/robustness.md quotes a run).
# Usage: hostile_test.sh PATH-TO-corvane
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source_root="$(cd "$here/../.." && pwd)"
# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$here/../../scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/corvane_copy.sh
source "$here/../../scripts/lib/corvane_copy.sh"

netns_program_arg "$@"
build="${CORVANE_BUILD_DIR:?CORVANE_BUILD_DIR must name the build tree}"
crash_plugin="$(find "$build" -name libtest_filter_crash.so -print -quit)"
slow_plugin="$(find "$build" -name libtest_filter_slow.so -print -quit)"
if [ -z "$crash_plugin" ] || [ -z "$slow_plugin" ]; then
    netns_die "test plug-ins not built (targets test_filter_crash, test_filter_slow)"
fi
# No message box: the fault report's text on stderr is the whole report.
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY

tool="$here/hostile_send.pl"
control_port=5399
random_count="${HOSTILE_RANDOM_COUNT:-3000}"
random_seed="${HOSTILE_SEED:-20240501}"
flood_ports="${HOSTILE_FLOOD_PORTS:-5000}"
begin=$SECONDS
figures=()

figure() {
    figures+=("$*")
    echo "     figure: $*"
}

rss_kb() {
    awk '/^VmRSS:/ {print $2}' "/proc/$1/status"
}

# Lines of the upstream's log, once it has stopped growing (at most 20 s).
settled_lines() {
    local last=-1 n=0 stable=0 i
    for ((i = 0; i < 100; i++)); do
        n=$(wc -l <"$upstream_log")
        if [ "$n" = "$last" ]; then
            stable=$((stable + 1))
            [ "$stable" -ge 5 ] && break
        else
            stable=0
        fi
        last=$n
        sleep 0.2
    done
    echo "$n"
}

# start_corvane NAME [PLUGIN]: copy_start, noting the time it was started.
start_corvane() {
    copy_start "$@"
    pid="$COPY_PID"
    instance="$1"
    started_at=$SECONDS
}

alive() {
    netns_alive "$pid" || fail "corvane ($instance) died during $1; stderr: $(cat "$COPY_ERR")"
}

# A normal query from the forwarder's own machine must be answered.
normal_query() {
    local out
    out="$(netns_fwd_exec perl "$tool" ask 127.0.0.1 53 "$1.example" 3)" ||
        fail "no answer to a normal query after $2: $out"
}

stop_corvane() {
    local status=0
    netns_stop "$pid" 5 || status=$?
    [ "$status" -eq 0 ] || fail "$instance: exit code $status after SIGTERM, expected 0"
    [ ! -s "$COPY_ERR" ] || fail "$instance wrote to stderr: $(cat "$COPY_ERR")"
    local log="$COPY_DIR/log.log"
    [ -f "$log" ] || fail "$instance left no log.log"
    LC_ALL=C grep -aq $'[^\r]$' "$log" && fail "$instance: log.log has a line not ended by CR LF"
    [ "$(tail -c 2 "$log" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || fail "$instance: log.log ends mid-line"
    return 0
}

log_count() {
    LC_ALL=C grep -acE "$2" "$NETNS_DIR/$1/log.log" || true
}

netns_setup
netns_add_attacker

upstream_log="$NETNS_DIR/upstream-queries.log"
: >"$upstream_log"
netns_start_upstream_cmd upstream perl "$here/hostile_upstream.pl" \
    "$NETNS_UPSTREAM" 53 "$control_port" "$upstream_log" || fail "the upstream did not start"
release_held() {
    netns_up_exec perl "$tool" control 127.0.0.1 "$control_port" release
}

# ---------------------------------------------------------------- local addresses
start_corvane main
# 127.0.0.2 is local on lo without being lo's primary address; 192.0.2.1 sits
# on another interface than the one the attacker's client reaches it by.
for target in "fwd 127.0.0.1" "fwd 127.0.0.2" "fwd $NETNS_FWD_ADDR" "att $NETNS_FWD_ATT_ADDR" \
    "att $NETNS_FWD_ADDR"; do
    read -r ns address <<<"$target"
    out="$("netns_${ns}_exec" perl "$tool" ask "$address" 53 "local-$address.example" 3)" ||
        fail "a client asking $address from the $ns namespace got no answer from $address port 53: $out"
done
echo "ok   a client asking any of 5 local addresses gets the answer from that address, port 53"
figure "local addresses: 5 asked (127.0.0.1, 127.0.0.2, $NETNS_FWD_ADDR from the same machine; $NETNS_FWD_ATT_ADDR, $NETNS_FWD_ADDR from the attacker), 5 answered from the address asked, port 53"

# ---------------------------------------------------------------- spoofing
spoof_name=spoof.hold.example
netns_fwd_exec perl "$tool" ask 127.0.0.1 53 "$spoof_name" 20 >"$NETNS_DIR/spoof-client.out" 2>&1 &
client=$!
held=""
for ((i = 0; i < 50; i++)); do
    held="$(grep " $spoof_name\$" "$upstream_log" || true)"
    [ -n "$held" ] && break
    sleep 0.1
done
[ -n "$held" ] || fail "the held query never reached the upstream"
read -r seen_port right_id _ <<<"$held"
link_port="$(netns_fwd_exec ss -Huanp | awk -v p="pid=$pid," 'index($0, p) {print $4}' |
    sed 's/.*://' | grep -vx 53 || true)"
[ "$link_port" = "$seen_port" ] ||
    fail "the link's port in ss ($link_port) is not the one the upstream saw ($seen_port)"
forged=0
for sender in "att $NETNS_ATT_ADDR 0 $NETNS_FWD_ATT_ADDR 1000" "att $NETNS_ATT_ADDR 0 $NETNS_FWD_ADDR 200" \
    "up $NETNS_UPSTREAM 5353 $NETNS_FWD_ADDR 1000"; do
    read -r ns from from_port to count <<<"$sender"
    out="$("netns_${ns}_exec" perl "$tool" forge "$from" "$from_port" "$to" "$link_port" \
        "$spoof_name" "$right_id" "$count")" || fail "forging from $from: $out"
    forged=$((forged + ${out#sent }))
done
sleep 0.5
alive spoofing
out="$(release_held)"
[ "$out" = "released 1" ] || fail "the upstream held more than the one query: $out"
client_status=0
wait "$client" || client_status=$?
client_out="$(cat "$NETNS_DIR/spoof-client.out")"
accepted="$(sed -n 's/^genuine [0-9]* forged \([0-9]*\) other.*/\1/p' <<<"$client_out")"
[ "$accepted" = 0 ] || fail "forged answers reached the client: $client_out"
[ "$client_status" -eq 0 ] || fail "the client did not get exactly the genuine answer: $client_out"
echo "ok   $forged forged answers (right and wrong IDs, from the attacker and from 8.8.8.8:5353) are dropped; the genuine one arrives"
figure "spoofing: forged answers sent $forged, accepted $accepted, genuine answer delivered 1 of 1"
normal_query after-spoofing spoofing

# ---------------------------------------------------------------- malformed
before=$(wc -l <"$upstream_log")
out="$(netns_att_exec perl "$tool" malformed "$NETNS_FWD_ATT_ADDR" 53 "$random_count" "$random_seed")" ||
    fail "sending malformed queries: $out"
read -r _ tried _ forwardable <<<"$out"
after=$(settled_lines)
alive "malformed queries"
received=$((after - before))
tail -n "+$((before + 1))" "$upstream_log" >"$NETNS_DIR/malformed-upstream.log"
outside="$(awk '$3 < 12 || $3 > 2048' "$NETNS_DIR/malformed-upstream.log")"
[ -z "$outside" ] || fail "the upstream got datagrams outside 12 to 2048 bytes: $(head -3 <<<"$outside")"
grep -qE '^[0-9]+ [0-9A-F]{4} 2048 big\.silent\.example$' "$NETNS_DIR/malformed-upstream.log" ||
    fail "the 2048-byte query was not forwarded whole"
[ "$received" -le "$forwardable" ] || fail "$received forwarded but only $forwardable could be"
gone=$(grep -c ' gone-[0-9]*\.example$' "$NETNS_DIR/malformed-upstream.log" || true)
[ "$gone" -eq 20 ] || fail "$gone of 20 queries of clients that went away reached the upstream"
normal_query after-malformed "malformed queries"
echo "ok   $tried malformed, refused and random datagrams: corvane alive, only 12 to 2048 bytes forwarded"
figure "malformed: inputs $tried (seed $random_seed), forwardable $forwardable, forwarded $received, lost $((forwardable - received)), crashes 0"
stop_corvane
main_q=$(log_count main '\| Q  \[')
main_a=$(log_count main '\| A  \[')
figure "malformed+spoofing run: log.log has $main_q Q lines, $main_a A lines"

# ---------------------------------------------------------------- flood
# flood_round FIRST-PORT NAME: one query from each of $flood_ports source
# ports, every one held by the upstream; samples RSS while it runs. Sets
# round_sent, round_forwarded and round_peak (kB).
flood_round() {
    local first_port="$1" name="$2" flooder before after i rss
    before=$(wc -l <"$upstream_log")
    round_peak=$(rss_kb "$pid")
    netns_att_exec perl "$tool" flood "$NETNS_ATT_ADDR" "$first_port" "$flood_ports" 1 \
        "$NETNS_FWD_ATT_ADDR" 53 "$name" >"$NETNS_DIR/$name.out" 2>&1 &
    flooder=$!
    for ((i = 0; i < 300; i++)); do
        netns_alive "$flooder" || break
        rss=$(rss_kb "$pid")
        [ "$rss" -gt "$round_peak" ] && round_peak=$rss
        sleep 0.1
    done
    wait "$flooder" || fail "the flood failed: $(cat "$NETNS_DIR/$name.out")"
    read -r _ round_sent <"$NETNS_DIR/$name.out"
    after=$(settled_lines)
    rss=$(rss_kb "$pid")
    [ "$rss" -gt "$round_peak" ] && round_peak=$rss
    alive "$name"
    round_forwarded=$(tail -n "+$((before + 1))" "$upstream_log" | head -n "$((after - before))" |
        grep -c " $name-[0-9]*-1\.hold\.example\$" || true)
}

start_corvane flood
normal_query before-flood "the start"
sleep 0.5
rss_base=$(rss_kb "$pid")
flood_round 20000 flood
flood_sent=$round_sent
flood_forwarded=$round_forwarded
rss_peak=$round_peak
flood_done=$((SECONDS - started_at))
# The expiry pass runs 45 s after the start, and forgets what is 30 s old or
# more: the flood must be over by 15 s after the start to be forgotten then.
[ "$flood_done" -le 14 ] || fail "the flood took until ${flood_done}s after the start; too late to see it expire"
normal_query during-flood "the flood"
echo "     flood of $flood_sent queries sent; waiting for them to expire (until 48 s after the start)"
sleep $((48 - (SECONDS - started_at)))
rss_after_expiry=$(rss_kb "$pid")
# The upstream now answers every flood query: records that expired must not
# relay a single one (counted in log.log below).
out="$(release_held)"
[ "$out" = "released $flood_forwarded" ] || fail "the upstream held other queries than the flood's: $out"
settled_lines >/dev/null
sleep 0.5
alive "the late answers"
# The same flood again, from other ports: what the first one took must have
# been given back to be taken again. Leaked peers or records would add their
# whole share once more.
flood_round 30000 again
again_sent=$round_sent
again_forwarded=$round_forwarded
rss_again=$round_peak
normal_query after-flood "the flood"
stop_corvane
flood_a=$(log_count flood '\| A  \[')
[ "$flood_a" -eq 3 ] || fail "$((flood_a - 3)) answers relayed for flood queries that should have expired"
growth=$((rss_peak - rss_base))
regrowth=$((rss_again - rss_peak))
figure "flood: queries sent $flood_sent from $flood_ports source ports, forwarded $flood_forwarded, lost $((flood_sent - flood_forwarded)); after expiry, late answers relayed $((flood_a - 3)); second flood sent $again_sent, forwarded $again_forwarded, lost $((again_sent - again_forwarded)); crashes 0"
figure "flood RSS: baseline ${rss_base} kB, peak ${rss_peak} kB (+${growth}), after expiry ${rss_after_expiry} kB, peak of the second flood ${rss_again} kB (+${regrowth} over the first peak)"
# The first peak must show the flood, or the comparison proves nothing. The
# second flood may add at most a quarter of what the first one took: room for
# the allocator's slack, while a leak of either the peers or the records
# would add about half of it or more.
[ "$growth" -ge 1024 ] || fail "the flood raised RSS by only ${growth} kB; too little to judge"
# Every query of the flood is held, with its 2048 bytes: what it costs in
# flight is its records (the two tables, the peer), about half a kilobyte. A
# peer that kept a buffer of its datagram's size while the query is in flight
# would cost five times that.
[ "$growth" -le "$flood_ports" ] ||
    fail "the flood cost ${growth} kB for $flood_ports queries in flight: more than 1 kB each"
[ $((regrowth * 4)) -le "$growth" ] ||
    fail "memory was not given back: the second flood grew RSS by ${regrowth} kB after ${growth} kB"
echo "ok   $flood_sent queries from $flood_ports ports expire: late answers dropped, a second flood reuses the memory"

# ---------------------------------------------------------------- slow plug-in
start_corvane slow "$slow_plugin"
names=()
for n in 1 2 3 4; do
    names+=(slow.example "behind-$n-a.example" "behind-$n-b.example" "behind-$n-c.example")
done
netns_fwd_exec perl "$here/dns_client.pl" 127.0.0.1 53 8 "${names[@]}" >"$NETNS_DIR/slow1.out" 2>&1 &
slow_client=$!
others=()
for n in $(seq 1 12); do
    others+=("other-$n.example")
done
other_status=0
netns_fwd_exec perl "$here/dns_client.pl" 127.0.0.1 53 8 "${others[@]}" >"$NETNS_DIR/slow2.out" 2>&1 ||
    other_status=$?
slow_status=0
wait "$slow_client" || slow_status=$?
slow_total=$((${#names[@]} + ${#others[@]}))
slow_answered=$(($(wc -l <"$NETNS_DIR/slow1.out") + $(wc -l <"$NETNS_DIR/slow2.out")))
[ "$slow_status" -eq 0 ] || fail "queries behind the slow ones were lost: $(cat "$NETNS_DIR/slow1.out")"
[ "$other_status" -eq 0 ] || fail "another client's queries were lost: $(cat "$NETNS_DIR/slow2.out")"
alive "the slow plug-in"
normal_query after-slow "the slow plug-in"
stop_corvane
slow_seen=$(log_count slow '\| Q  \[[0-9A-F]{4}\] : slow\.example')
[ "$slow_seen" -eq 4 ] || fail "log.log has $slow_seen Q lines for slow.example, expected 4"
echo "ok   a plug-in taking 200 ms for 4 names: all $slow_total queries of two clients answered"
figure "slow plug-in: queries $slow_total (4 slow), answered $slow_answered, lost $((slow_total - slow_answered)), crashes 0"

# ---------------------------------------------------------------- crashing plug-in
call_lines="$(grep -n 's\.filter(' "$source_root/proxy/QueryPath.cpp" | cut -d: -f1)"
[[ "$call_lines" =~ ^[0-9]+$ ]] || fail "cannot find the one call of the filter in proxy/QueryPath.cpp"
start_corvane crash "$crash_plugin"
ids=()
for n in 1 2 3; do
    out="$(netns_fwd_exec perl "$tool" ask 127.0.0.1 53 "before-crash-$n.example" 3)" ||
        fail "the crash plug-in does not forward other names: $out"
    ids+=("$(sed -n 's/^from .* id \([0-9A-F]\{4\}\) .* genuine$/\1/p' <<<"$out")")
done
netns_fwd_exec perl "$tool" ask 127.0.0.1 53 crash.example 1 >/dev/null 2>&1 || true
for ((i = 0; i < 50; i++)); do
    netns_alive "$pid" || break
    sleep 0.1
done
netns_alive "$pid" && fail "a fault in the plug-in did not end corvane"
crash_status=0
wait "$pid" || crash_status=$?
[ "$crash_status" -eq 0 ] || fail "exit code $crash_status after the fault, expected 0"
report="$(printf 'QueryPath [%d]\r\nINVALID MEMORY ACCESS\r\n%64s' "$call_lines" '')"
stderr_text="$(cat "$COPY_ERR")"
[[ "$stderr_text" == *"$report"* ]] ||
    fail "stderr lacks the report for QueryPath line $call_lines: $(od -c "$COPY_ERR" | head)"
log="$COPY_DIR/log.log"
for n in 1 2 3; do
    id="${ids[$((n - 1))]}"
    LC_ALL=C grep -aqE "\| Q  \[$id\] : before-crash-$n\.example"$'\r$' "$log" ||
        fail "log.log lost the Q line of query $n ($id) before the fault: $(cat -A "$log")"
    LC_ALL=C grep -aqE "\| A  \[$id\] = [0-9]+b"$'\r$' "$log" ||
        fail "log.log lost the A line of query $n ($id) before the fault: $(cat -A "$log")"
done
LC_ALL=C grep -aq 'crash\.example' "$log" && fail "the faulting query was logged as if handled"
[ "$(tail -c 2 "$log" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || fail "log.log ends mid-line after the fault"
echo "ok   a fault in the plug-in ends in the report \"QueryPath [$call_lines]\" / INVALID MEMORY ACCESS, exit code 0, log complete"
figure "crashing plug-in: report names QueryPath [$call_lines], exit code 0, log lines before the fault kept 6 of 6"

echo
echo "Figures (total run time $((SECONDS - begin)) s):"
printf '  %s\n' "${figures[@]}"
