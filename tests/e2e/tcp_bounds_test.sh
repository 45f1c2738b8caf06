#!/usr/bin/env bash
# Attacks on the TCP side of the real program, inside private namespaces,
# and what each must leave standing:
#   trickling     a client that feeds a message one byte every 2 s is closed
#                 10 to 13 s after its first byte
#   one machine   another machine (the attacker namespace) gets 16
#                 connections and its 17th is closed at once, while programs
#                 of this machine hold 40 more, through loopback and through
#                 the machine's own address, and are served
#   descriptors   a new program, which has painted nothing yet, under
#                 prlimit --nofile=48, with 60 connections held and more
#                 waiting than it can accept: the log view's first paints
#                 fall in the shortage and the program lives on, its CPU
#                 stays low (the figure is printed), UDP is served, and TCP
#                 again once the holder has gone; the holder closes its
#                 connections one at a time, so each freed descriptor lets
#                 one waiting connection in and the next fails again, and
#                 the log still says so once
#   blocked       with the blocklist plug-in, a query it blocks opens no
#                 upstream connection; an allowed one does
#   wedged        an upstream that accepts the connection and never reads
#                 it: after the idle limit a later query is answered over a
#                 new connection
# Usage: tcp_bounds_test.sh PATH-TO-corvane   (CORVANE_BUILD_DIR: the build tree)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$here/../../scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/measure.sh
source "$here/../../scripts/lib/measure.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/corvane_copy.sh
source "$here/../../scripts/lib/corvane_copy.sh"

netns_program_arg "$@"
copy_built_plugin plugin proxy/Filter.DLL
command -v prlimit >/dev/null || netns_die "missing tool: prlimit (package util-linux)"
export QT_QPA_PLATFORM=offscreen

tcp_client() {
    netns_fwd_exec timeout 40 perl "$here/dns_tcp.pl" "$1" 127.0.0.1 53 "${@:2}"
}

# The first line of NAME.out once it matches PATTERN (at most 10 s).
wait_output() {
    local file="$NETNS_DIR/$1.out" i
    for ((i = 0; i < 100; i++)); do
        grep -qE "$2" "$file" 2>/dev/null && return 0
        sleep 0.1
    done
    fail "$1 never printed $2: $(cat "$file" 2>/dev/null)"
}

tcp_answered() {
    netns_fwd_exec dig +tcp +time=3 +tries=1 @127.0.0.1 "$1" A | grep -q '192\.0\.2\.10'
}

netns_setup
netns_add_attacker
netns_start_upstream
copy_start bounds
netns_wait_tcp_port "$NETNS_FWD" 53 "$COPY_PID" || fail "corvane does not listen on TCP 53"

# The trickling client runs beside the next case: it takes its 10 s anyway.
netns_fwd_start trickle timeout 40 perl "$here/dns_tcp.pl" trickle 127.0.0.1 53
trickle_pid="$NETNS_LAST_PID"

netns_att_start stranger timeout 20 perl "$here/dns_tcp.pl" hold "$NETNS_FWD_ATT_ADDR" 53 17 4
stranger_pid="$NETNS_LAST_PID"
netns_fwd_start local-lo timeout 20 perl "$here/dns_tcp.pl" hold 127.0.0.1 53 20 4
local_lo_pid="$NETNS_LAST_PID"
netns_fwd_start local-own timeout 20 perl "$here/dns_tcp.pl" hold "$NETNS_FWD_ADDR" 53 20 4
local_own_pid="$NETNS_LAST_PID"
for name in stranger local-lo local-own; do
    wait_output "$name" '^held'
done
tcp_answered host.example.test || fail "this machine is not served while another holds its share"
wait "$stranger_pid" "$local_lo_pid" "$local_own_pid" || true
[ "$(tail -1 "$NETNS_DIR/stranger.out")" = "closed 1" ] ||
    fail "another machine's 17 connections: $(cat "$NETNS_DIR/stranger.out")"
for name in local-lo local-own; do
    [ "$(tail -1 "$NETNS_DIR/$name.out")" = "closed 0" ] ||
        fail "this machine's connections ($name) were capped: $(cat "$NETNS_DIR/$name.out")"
done
echo "ok   another machine gets 16 connections, this machine's programs share the rest"

wait "$trickle_pid" || true
out="$(cat "$NETNS_DIR/trickle.out")"
grep -qE '^closed after 1[0-3]$' <<<"$out" || fail "a trickling client was not cut off: $out"
echo "ok   a client that trickles a message a byte every 2 s is closed ($out s)"

copy_stop || fail "corvane (bounds) did not end cleanly"

# Descriptors run out: the listener must rest rather than spin on accept, and
# nothing the window does may need a descriptor it cannot have.
copy_start descriptors
netns_wait_tcp_port "$NETNS_FWD" 53 "$COPY_PID" || fail "corvane (descriptors) does not listen on TCP 53"
before="$(find "/proc/$COPY_PID/fd" -mindepth 1 | wc -l)"
limit=48
[ "$before" -lt $((limit - 8)) ] || fail "corvane holds $before descriptors already"
prlimit --pid "$COPY_PID" --nofile=$limit:$limit
netns_fwd_start hold60 timeout 40 perl "$here/dns_tcp.pl" hold 127.0.0.1 53 60 8 0.05
hold_pid="$NETNS_LAST_PID"
wait_output hold60 '^held 60$'
sleep 1
ticks_before="$(cpu_ticks "$COPY_PID")"
sleep 3
ticks="$(($(cpu_ticks "$COPY_PID") - ticks_before))"
in_use="$(find "/proc/$COPY_PID/fd" -mindepth 1 | wc -l)"
echo "     figure: $ticks ticks of CPU in 3 s (of $((3 * $(getconf CLK_TCK))) for a whole core)" \
    "with $in_use descriptors open under a limit of $limit and connections waiting"
[ "$in_use" -ge $((limit - 2)) ] || fail "descriptors did not run out: $in_use in use"
[ "$ticks" -le 30 ] || fail "the loop spins with descriptors exhausted: $ticks ticks in 3 s"
# A screenful of lines to paint while no descriptor is free.
screenful=()
for ((i = 0; i < 60; i++)); do screenful+=(host.example.test); done
netns_fwd_exec timeout 20 perl "$here/dns_client.pl" 127.0.0.1 53 10 "${screenful[@]}" >/dev/null ||
    fail "UDP is not served with descriptors exhausted"
sleep 1
kill -0 "$COPY_PID" 2>/dev/null ||
    fail "corvane ended while painting with no descriptor free: $(tail -3 "$COPY_ERR")"
wait "$hold_pid" || true
served=0
for _ in 1 2 3; do
    tcp_answered host.example.test && served=1 && break
    sleep 1
done
[ "$served" = 1 ] || fail "TCP is not served again after the holder went"
copy_stop || fail "corvane (descriptors) did not end cleanly"
copy_expect_message "Failed to accept TCP connections (out of descriptors or memory)" 1
echo "ok   out of descriptors: no spin, one log line, UDP served, TCP served again"

# The stand-in upstream counts its TCP connections.
netns_start_upstream_cmd tcp-upstream perl "$here/tcp_upstream.pl" "$NETNS_UPSTREAM" plain
copy_start blocked "$plugin"
printf '@verdict Block\nblocked.example.test\n' >"$COPY_BIN/blocklist.txt"
netns_wait_tcp_port "$NETNS_FWD" 53 "$COPY_PID" || fail "corvane (blocked) does not listen on TCP 53"
out="$(tcp_client once blocked.example.test)" || fail "once client failed: $out"
[ "$out" = "no reply" ] || fail "a blocked query got $out"
accepted="$(grep -c '^accepted' "$NETNS_DIR/tcp-upstream.out" || true)"
[ "$accepted" -eq 0 ] || fail "a blocked query opened the upstream connection"
out="$(tcp_client once allowed.example.test)" || fail "once client failed: $out"
[[ "$out" == "reply "* ]] || fail "an allowed query got $out"
grep -qx 'accepted 1' "$NETNS_DIR/tcp-upstream.out" || fail "the allowed query went out otherwise"
copy_stop || fail "corvane (blocked) did not end cleanly"
[ "$(copy_messages | grep -c ' : block (blocked\.example\.test)$')" -eq 1 ] ||
    fail "the blocked query was not logged as blocked: $(copy_messages)"
echo "ok   a blocked query opens no upstream connection, an allowed one does"

netns_start_upstream_cmd tcp-upstream perl "$here/tcp_upstream.pl" "$NETNS_UPSTREAM" wedge
copy_start wedged
netns_wait_tcp_port "$NETNS_FWD" 53 "$COPY_PID" || fail "corvane (wedged) does not listen on TCP 53"
start=$SECONDS
if tcp_answered first.example.test; then
    fail "an upstream that never reads answered"
fi
served=0
for _ in $(seq 8); do
    tcp_answered later.example.test && served=1 && break
done
[ "$served" = 1 ] || fail "no answer after the upstream connection wedged"
waited=$((SECONDS - start))
grep -qx 'accepted 2' "$NETNS_DIR/tcp-upstream.out" || fail "no second upstream connection"
copy_stop || fail "corvane (wedged) did not end cleanly"
echo "ok   a wedged upstream connection is replaced; answered again after $waited s"
