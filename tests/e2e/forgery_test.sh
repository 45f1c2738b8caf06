#!/usr/bin/env bash
# Forged answers against the real program, inside the private namespaces. The
# upstream at 8.8.8.8 is silent, so the only answers that can reach the
# forwarder's upstream port are forged ones: a raw socket in the forwarder's
# own namespace sends datagrams that claim to come from 8.8.8.8:53, to the
# port ss shows for the upstream link, while one client waits for its answer.
#   1. under every number a counter from 1 would have given the first queries
#   2. under the real number (read off the silent upstream's log), but for
#      another name
#   3. under the real number and for the name asked: the positive control
#      that shows forged datagrams do arrive
# The client must get the last one only. (Over the TCP upstream nothing can
# be forged from off the path; the unit tests cover its question check.)
# Usage: forgery_test.sh PATH-TO-corvane
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$here/../../scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/corvane_copy.sh
source "$here/../../scripts/lib/corvane_copy.sh"

netns_program_arg "$@"
export QT_QPA_PLATFORM=offscreen

name=victim.forgery.test
forged_address=203.0.113.66   # what hostile_send.pl counts as forged
control_address=192.0.2.10    # what it counts as the genuine answer

netns_setup
netns_start_silent_upstream
copy_start forgery
pid="$COPY_PID"

# The client: one query, then every datagram that comes, until the answer
# with 192.0.2.10 and a short grace, or 20 s.
netns_fwd_exec perl "$here/hostile_send.pl" ask 127.0.0.1 53 "$name" 20 \
    >"$NETNS_DIR/client.out" 2>&1 &
client=$!

query_hex=""
for ((i = 0; i < 50; i++)); do
    query_hex="$(awk 'NR == 1 { print $4 }' "$NETNS_SILENT_LOG")"
    [ -n "$query_hex" ] && break
    sleep 0.1
done
[ -n "$query_hex" ] || fail "the query never reached the upstream"
real_id="${query_hex:0:4}"
# Where the upstream link listens: its local address and port, as ss shows it.
link="$(netns_fwd_exec ss -Huanp | awk -v p="pid=$pid," 'index($0, p) { print $4 }' |
    grep -v ':53$' || true)"
link_port="${link##*:}"
link_addr="${link%:*}"
[[ "$link_port" =~ ^[0-9]+$ ]] || fail "cannot find the upstream link's port in ss: $link"
if [ "$link_addr" = "0.0.0.0" ] || [ "$link_addr" = "*" ]; then
    link_addr="$NETNS_FWD_ADDR"
fi
grep -q "^$NETNS_FWD_ADDR $link_port " "$NETNS_SILENT_LOG" ||
    fail "the upstream saw the query from another port than ss shows ($link_port)"

forge() {
    netns_fwd_exec perl "$here/raw_forge.pl" "$NETNS_UPSTREAM" 53 "$link_addr" "$link_port" "$@"
}

# Nothing but the control may reach the client; it prints each datagram as it
# comes, and only the control's address ends its wait.
nothing_forged_yet() {
    sleep 0.5
    netns_alive "$pid" || fail "corvane died under forged answers: $(cat "$COPY_ERR")"
    if grep -q ' forged$' "$NETNS_DIR/client.out"; then
        fail "$1 reached the client: $(cat "$NETNS_DIR/client.out")"
    fi
    netns_alive "$client" || fail "the client stopped waiting: $(cat "$NETNS_DIR/client.out")"
}

# 1. The numbers a counter from 1 gives, low byte first on the wire; the real
# number, should it be one of them, is left to the control.
counter_ids=()
for ((n = 1; n <= 64; n++)); do
    id="$(printf '%02x%02x' $((n & 0xFF)) $((n >> 8)))"
    [ "$id" = "$real_id" ] || counter_ids+=("$id")
done
out="$(forge "$name" "$forged_address" "${counter_ids[@]}")" || fail "forging: $out"
nothing_forged_yet "an answer under a counter's number"
echo "ok   ${#counter_ids[@]} answers under the numbers a counter from 1 gives: none reaches the client"

# 2. The real number, other questions: another name, a parent of the name.
out="$(forge other.forgery.test "$forged_address" "$real_id" "$real_id" "$real_id")" ||
    fail "forging: $out"
out="$(forge forgery.test "$forged_address" "$real_id")" || fail "forging: $out"
nothing_forged_yet "an answer under the real number for another name"
echo "ok   4 answers under the real number for other names: none reaches the client"

# 3. The real number and name: the forger who knows both gets through, which
# shows that the datagrams above arrived too.
out="$(forge "$name" "$control_address" "$real_id")" || fail "forging: $out"
status=0
wait "$client" || status=$?
client_out="$(cat "$NETNS_DIR/client.out")"
[ "$status" -eq 0 ] || fail "the client did not get exactly the control answer: $client_out"
echo "ok   the control answer (real number and name) reaches the client, and nothing else did"

copy_stop || fail "unclean stop"
answers="$(copy_messages | grep -c '^A  \[' || true)"
[ "$answers" -eq 1 ] || fail "log.log has $answers A lines, expected 1: $(copy_messages)"
echo "ok   log.log has one A line, for the control answer"
