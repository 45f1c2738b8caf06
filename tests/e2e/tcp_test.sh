#!/usr/bin/env bash
# DNS over TCP end to end, with dnsmasq upstream serving both UDP and TCP:
# the C library's resolver, host and dig for a name whose answer does not fit
# 512 bytes (each falls back to TCP on TC or asks over TCP at once),
# pipelined queries on one connection, a client that shuts down its sending
# side and waits for its answer, and the bounds: the connection cap, a
# stalled half message, a client that never reads, and UDP still served
# while 64 connections are held open. (tcp_bounds_test.sh has the attacks.)
# Usage: tcp_test.sh PATH-TO-corvane
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$here/../../scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/corvane_copy.sh
source "$here/../../scripts/lib/corvane_copy.sh"

netns_program_arg "$@"
export QT_QPA_PLATFORM=offscreen

netns_setup
# Forty addresses: about 700 bytes of answer, over the 512 of a plain UDP
# client, well under the 2048 of the program's buffer.
records=()
for i in $(seq 10 49); do
    records+=("--host-record=many.example.test,192.0.2.$i")
done
# And sixteen TXT records of 200 characters: about 3,500 bytes, for the
# client that never reads to fill its output bound quickly.
text="$(printf 'x%.0s' $(seq 200))"
for i in $(seq 10 25); do
    records+=("--txt-record=big.example.test,$i$text")
done
netns_start_upstream "${records[@]}"

tcp_client() {
    netns_fwd_exec timeout 40 perl "$here/dns_tcp.pl" "$1" 127.0.0.1 53 "${@:2}"
}

copy_start work
netns_wait_tcp_port "$NETNS_FWD" 53 "$COPY_PID" || fail "corvane does not listen on TCP 53"

printf 'nameserver 127.0.0.1\noptions timeout:2 attempts:1\n' >"$NETNS_DIR/resolv.conf"
out="$(netns_fwd_exec unshare -m sh -c \
    "mount --bind '$NETNS_DIR/resolv.conf' /etc/resolv.conf && getent hosts many.example.test")" ||
    fail "getent through corvane failed: $out"
grep -q '^192\.0\.2\.[1-4][0-9] ' <<<"$out" || fail "getent: unexpected answer: $out"
echo "ok   the C library's resolver resolves a name whose answer exceeds 512 bytes"

out="$(netns_fwd_exec host -W 3 -t A many.example.test 127.0.0.1)" || fail "host failed: $out"
[ "$(grep -c 'has address 192\.0\.2\.' <<<"$out")" -eq 40 ] || fail "host: not 40 addresses: $out"
echo "ok   host gets all forty addresses"

out="$(netns_fwd_exec dig +tcp +time=3 +tries=1 @127.0.0.1 many.example.test A)" ||
    fail "dig +tcp failed: $out"
[ "$(grep -c 'IN	A	192\.0\.2\.' <<<"$out")" -eq 40 ] || fail "dig +tcp: not 40 records: $out"
out="$(netns_fwd_exec dig +tcp +keepopen +time=3 +tries=1 @127.0.0.1 \
    host.example.test A many.example.test A host.example.test A)" || fail "dig +keepopen: $out"
[ "$(grep -c 'status: NOERROR' <<<"$out")" -eq 3 ] || fail "dig +keepopen: not 3 answers: $out"
echo "ok   dig +tcp, and three queries on one kept-open connection"

out="$(tcp_client pipeline 20 host.example.test)" || fail "pipelining: $out"
echo "ok   twenty queries written at once on one connection get twenty answers ($out)"

out="$(tcp_client halfclose host.example.test)" || fail "half-close client failed: $out"
[ "$out" = $'answered\nended' ] || fail "a client that shut down its sending side: $out"
echo "ok   a client that shuts down its sending side still gets its answer, then the end"

out="$(tcp_client cap 64)" || fail "cap client failed: $out"
[ "$out" = "extra closed" ] || fail "the 65th connection was not closed at once: $out"
echo "ok   the 65th connection is accepted and closed at once"

# 64 connections held open while UDP clients ask.
netns_fwd_start hold64 timeout 40 perl "$here/dns_tcp.pl" hold 127.0.0.1 53 64 6
for ((i = 0; i < 50; i++)); do
    grep -q '^held 64$' "$NETNS_DIR/hold64.out" 2>/dev/null && break
    sleep 0.1
done
grep -q '^held 64$' "$NETNS_DIR/hold64.out" || fail "could not hold 64 connections"
for i in 1 2 3; do
    out="$(netns_fwd_exec dig +time=2 +tries=1 @127.0.0.1 host.example.test A)" ||
        fail "UDP query $i failed while 64 connections were held: $out"
    grep -q '192\.0\.2\.10' <<<"$out" || fail "UDP query $i: unexpected answer: $out"
done
wait "$NETNS_LAST_PID" || true
echo "ok   UDP is served while 64 TCP connections are held open"

out="$(tcp_client stall)" || fail "stall client failed: $out"
grep -qE '^closed after 1[0-2]$' <<<"$out" || fail "a stalled half message was not cut off: $out"
echo "ok   a connection stalled inside a message is closed after the idle time ($out)"

out="$(tcp_client noread big.example.test)" || fail "noread client failed: $out"
grep -q '^closed after' <<<"$out" || fail "a client that never reads was not closed: $out"
out="$(netns_fwd_exec dig +tcp +time=3 +tries=1 @127.0.0.1 host.example.test A)" ||
    fail "dig +tcp after the client that never reads: $out"
echo "ok   a client that never reads is closed, and others are still served"

copy_stop || fail "corvane did not end cleanly"
# The answer of forty addresses only ever travels whole over TCP.
longest="$(copy_messages | sed -n 's/^A  \[[0-9A-F]\{4\}\] = \([0-9]*\)b$/\1/p' | sort -n | tail -1)"
[ "${longest:-0}" -gt 512 ] || fail "log.log lacks an answer line of more than 512 bytes"
echo "ok   log.log holds the TCP answers with their lengths"

# An upstream that closes its connection in the middle of an answer: that
# query is given up without an answer, and the next one goes out on a new
# connection.
netns_start_upstream_cmd tcp-upstream perl "$here/tcp_upstream.pl" "$NETNS_UPSTREAM" cut
copy_start cut
netns_wait_tcp_port "$NETNS_FWD" 53 "$COPY_PID" || fail "corvane (cut) does not listen on TCP 53"
if out="$(netns_fwd_exec dig +tcp +time=3 +tries=1 @127.0.0.1 first.example.test A)"; then
    fail "an answer cut short by the upstream reached the client: $out"
fi
out="$(netns_fwd_exec dig +tcp +time=3 +tries=1 @127.0.0.1 second.example.test A)" ||
    fail "no answer after the upstream closed mid-answer: $out"
grep -q '192\.0\.2\.10' <<<"$out" || fail "unexpected answer after the reconnect: $out"
copy_stop || fail "corvane (cut) did not end cleanly"
[ "$(copy_messages | grep -c '^A  \[')" -eq 1 ] || fail "not exactly one answer logged: $(copy_messages)"
echo "ok   an upstream that closes mid-answer costs that query only; the next reconnects"
