#!/usr/bin/env bash
# An answer too long for the program's datagram buffer, end to end: a real DNS
# server upstream answers a client that offers EDNS 4096 with more than 2048
# bytes, and the client gets, in place of silence, the truncated reply: the
# header with TC set, no records, and its question.
# Usage: truncation_test.sh PATH-TO-corvane
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=SCRIPTDIR/netns.sh
source "$here/netns.sh"
# shellcheck source=SCRIPTDIR/corvane_copy.sh
source "$here/corvane_copy.sh"

netns_program_arg "$@"
export QT_QPA_PLATFORM=offscreen

netns_setup
# Sixteen TXT records of 200 characters each: about 3,500 bytes in one answer,
# which the upstream sends whole to a client that offers 4096.
records=()
text="$(printf 'x%.0s' $(seq 200))"
for i in $(seq 10 25); do
    records+=("--txt-record=big.example.test,$i$text")
done
netns_start_upstream --edns-packet-max=4096 "${records[@]}"

ask() {
    netns_fwd_exec dig "$@" big.example.test TXT +bufsize=4096 +ignore +time=2 +tries=1
}

# The upstream itself sends the whole answer over UDP, or the test proves nothing.
out="$(netns_fwd_exec dig @"$NETNS_UPSTREAM" big.example.test TXT +bufsize=4096 +ignore \
    +time=2 +tries=1)" || fail "the upstream did not answer: $out"
size="$(sed -n 's/^;; MSG SIZE  rcvd: \([0-9]*\)$/\1/p' <<<"$out")"
[ "${size:-0}" -gt 2048 ] || fail "the upstream's answer is not over 2048 bytes: $out"

copy_start work

out="$(ask @127.0.0.1)" || fail "dig got no reply through corvane: $out"
grep -qE '^;; flags: [^;]*\btc\b' <<<"$out" || fail "the reply lacks TC: $out"
grep -q 'status: NOERROR' <<<"$out" || fail "the reply's status is not the upstream's: $out"
grep -q 'QUERY: 1, ANSWER: 0, AUTHORITY: 0, ADDITIONAL: 0' <<<"$out" ||
    fail "the reply's counts are not 1, 0, 0, 0: $out"
grep -qE '^;big\.example\.test\.\s+IN\s+TXT$' <<<"$out" || fail "the reply lacks the question: $out"
# Header, the name (18 bytes), type and class.
grep -q '^;; MSG SIZE  rcvd: 34$' <<<"$out" || fail "the reply is not 34 bytes: $out"
echo "ok   an answer of $size bytes reaches the client as a truncated reply with its question"

copy_stop || fail "corvane did not end cleanly"
copy_expect_message "Q  [$(grep -oE 'id: [0-9]+' <<<"$out" | awk '{printf "%04X", $2}')] : big.example.test"
LC_ALL=C grep -aqE 'A  \[[0-9A-F]{4}\] = 34b'$'\r$' "$COPY_DIR/log.log" ||
    fail "log.log lacks the answer line with the length sent"
echo "ok   log.log holds the query and the answer with the length sent"
