#!/usr/bin/env bash
# The forwarder from end to end: the real program in the private namespaces,
# a real DNS server as its upstream on 8.8.8.8:53, real clients (dig, a client
# with several queries in flight, the glibc resolver) asking 127.0.0.1:53.
# Usage: forward_test.sh PATH-TO-corvane
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$here/../../scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/corvane_copy.sh
source "$here/../../scripts/lib/corvane_copy.sh"

netns_program_arg "$@"
export QT_QPA_PLATFORM=offscreen

netns_setup
netns_start_upstream

# A copy of the program with no plug-in beside it: every query is forwarded.
copy_start work
pid="$COPY_PID"

# dig drops an answer whose ID is not its own, so an answer at all means the
# client's ID came back.
out="$(netns_fwd_exec dig @127.0.0.1 host.example.test +time=2 +tries=1 +noedns)" ||
    fail "dig got no answer: $out"
grep -q 'status: NOERROR' <<<"$out" || fail "dig: unexpected status: $out"
grep -qE '^host\.example\.test\.\s+[0-9]+\s+IN\s+A\s+192\.0\.2\.10' <<<"$out" ||
    fail "dig: no A record in: $out"
echo "ok   dig through corvane gets the upstream's answer"

out="$(netns_fwd_exec dig @127.0.0.1 missing.example.test +time=2 +tries=1 +noedns)" ||
    fail "dig got no answer for a missing name: $out"
grep -q 'status: NXDOMAIN' <<<"$out" || fail "dig: expected NXDOMAIN: $out"
echo "ok   an NXDOMAIN answer is relayed as it came"

# Several clients at once, one of them with five queries in flight on one socket.
clients=()
for c in 1 2 3; do
    netns_fwd_exec perl "$here/dns_client.pl" 127.0.0.1 53 4 \
        "c$c-a.wild.test" "c$c-b.wild.test" "c$c-c.wild.test" "c$c-d.wild.test" \
        "host.example.test" >"$NETNS_DIR/client$c.out" 2>&1 &
    clients+=($!)
done
for c in 1 2 3; do
    wait "${clients[$((c - 1))]}" || fail "client $c: $(cat "$NETNS_DIR/client$c.out")"
done
echo "ok   three clients with five queries in flight each get every answer under their own IDs"

# The glibc resolver as a client: a private mount namespace sees a
# resolv.conf that names the forwarder; the machine's own stays as it was.
printf 'nameserver 127.0.0.1\noptions timeout:2 attempts:1\n' >"$NETNS_DIR/resolv.conf"
machine_resolv_conf="$(cat /etc/resolv.conf 2>/dev/null || true)"
out="$(netns_fwd_exec_libc "$NETNS_DIR/resolv.conf" getent ahostsv4 host.example.test)" ||
    fail "getent through corvane failed: $out"
grep -q '^192\.0\.2\.10 ' <<<"$out" || fail "getent: unexpected answer: $out"
[ "$(cat /etc/resolv.conf 2>/dev/null || true)" = "$machine_resolv_conf" ] ||
    fail "the machine's own resolv.conf changed"
echo "ok   the glibc resolver resolves through corvane"

status=0
netns_stop "$pid" 5 || status=$?
[ "$status" -eq 0 ] || fail "exit code $status after SIGTERM, expected 0"

log="$COPY_DIR/log.log"
[ -f "$log" ] || fail "no log.log"
line='[0-9]{2}:[0-9]{2}:[0-9]{2} \| '
LC_ALL=C grep -aqE "${line}Filter.DLL not loaded/unrecognized"$'\r$' "$log" ||
    fail "log.log lacks the plug-in line"
LC_ALL=C grep -aqE "${line}Q  \[[0-9A-F]{4}\] : host\.example\.test"$'\r$' "$log" ||
    fail "log.log lacks the Q line for host.example.test"
LC_ALL=C grep -aqE "${line}A  \[[0-9A-F]{4}\] = [0-9]+b"$'\r$' "$log" || fail "log.log lacks A lines"
queries=$(LC_ALL=C grep -acE "${line}Q  \[" "$log")
answers=$(LC_ALL=C grep -acE "${line}A  \[" "$log")
# dig twice, 3 x 5 from the clients, and at least one from getent.
[ "$queries" -ge 18 ] || fail "expected at least 18 Q lines, found $queries"
[ "$answers" -eq "$queries" ] || fail "$queries Q lines but $answers A lines"
echo "ok   log.log holds a Q and an A line for every query ($queries)"
