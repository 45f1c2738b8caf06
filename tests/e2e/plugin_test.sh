#!/usr/bin/env bash
# The filter plug-in from end to end: the real program in the private
# namespaces, run once per kind of Filter.DLL beside it (none, one without the
# export, and the test plug-ins that block one name, answer 2, -5 or 7), with
# real clients (dig, the glibc resolver) and raw queries asking 127.0.0.1:53.
# Usage: plugin_test.sh PATH-TO-corvane   (CORVANE_BUILD_DIR: the build tree)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$here/../../scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/corvane_copy.sh
source "$here/../../scripts/lib/corvane_copy.sh"

netns_program_arg "$@"
plugins="${CORVANE_BUILD_DIR:?CORVANE_BUILD_DIR must name the build tree}/tests/plugins"
for kind in block_one reply minus5 seven no_export; do
    [ -f "$plugins/libtest_filter_$kind.so" ] || netns_die "missing test plug-in: $kind"
done

# A forwarded query comes back quickly; one that is dropped is given this long.
no_reply_wait=0.5

# raw ID NSCOUNT NAME...: the reply in hex; status 3 when none came.
raw() {
    local seconds="$1"
    shift
    netns_fwd_exec perl "$here/raw_query.pl" 127.0.0.1 53 "$seconds" "$@"
}

expect_no_reply() {
    local out status=0
    out="$(raw "$no_reply_wait" "$@")" || status=$?
    [ "$status" -eq 3 ] || fail "query $* got a reply ($status): $out"
}

# dig_fwd SECONDS NAME: one try of SECONDS.
dig_fwd() {
    netns_fwd_exec dig @127.0.0.1 "$2" +time="$1" +tries=1 +noedns 2>&1
}

# The upstream's record for host.example.test came back through corvane.
expect_forwarded_dig() {
    local out
    out="$(dig_fwd 2 host.example.test)" || fail "dig: no answer for host.example.test: $out"
    grep -qE '^host\.example\.test\.\s+[0-9]+\s+IN\s+A\s+192\.0\.2\.10' <<<"$out" ||
        fail "dig: no A record for host.example.test in: $out"
}

# The glibc resolver, in a private mount namespace that sees a resolv.conf
# naming the forwarder, with one try of one second.
getent_fwd() {
    netns_fwd_exec unshare -m sh -c \
        "mount --bind '$NETNS_DIR/resolv.conf' /etc/resolv.conf && getent ahostsv4 '$1'"
}

# The library stays mapped while the program runs, whether or not it had
# the export.
filter_mapped() {
    grep -qF "$COPY_BIN/Filter.DLL" "/proc/$COPY_PID/maps"
}

netns_setup
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"$NETNS_DIR/resolv.conf"
netns_start_upstream

# ---- No Filter.DLL, and a Filter.DLL without FilterQuery: one log line
# after startup, then every query is forwarded.
for kind in none no_export; do
    plugin=""
    [ "$kind" = none ] || plugin="$plugins/libtest_filter_$kind.so"
    copy_start "$kind" "$plugin"
    if [ "$kind" = none ]; then
        filter_mapped && fail "$kind: a Filter.DLL is mapped"
    else
        filter_mapped || fail "$kind: the library without the export was not kept loaded"
    fi
    expect_forwarded_dig
    out="$(raw 2 1E57 0 host.example.test)" || fail "$kind: raw query not answered"
    [ "${out:0:4}" = 1e57 ] || fail "$kind: answer with a foreign ID: $out"
    copy_stop || fail "$kind: unclean stop"
    copy_expect_message "Filter.DLL not loaded/unrecognized"
    messages="$(copy_messages)"
    [ "$(head -n 1 <<<"$messages")" = "Filter.DLL not loaded/unrecognized" ] ||
        fail "$kind: the plug-in line is not the first after startup: $messages"
    copy_expect_message "Q  [1E57] : host.example.test"
    echo "ok   $kind: \"Filter.DLL not loaded/unrecognized\" once, queries forwarded, exit 0"
done

# ---- A plug-in that blocks blocked.example: no reply, "block (" in the log.
copy_start block_one "$plugins/libtest_filter_block_one.so"
filter_mapped || fail "block_one: Filter.DLL is not mapped"
out="$(dig_fwd 1 blocked.example)" && fail "dig got a reply for a blocked name: $out"
grep -q 'timed out' <<<"$out" || fail "dig: expected a time-out: $out"
out="$(getent_fwd blocked.example)" && fail "getent resolved a blocked name: $out"
echo "ok   Block: dig and the glibc resolver get no reply and time out"

# Blocked alone, as the second of two names and as the first of two: the
# name that blocked is the one logged, so nothing after it was offered. All
# three in flight at once, so their waits overlap.
waits=()
expect_no_reply B10C 0 blocked.example &
waits+=($!)
expect_no_reply 2B0C 0 a.example blocked.example &
waits+=($!)
expect_no_reply 1B0C 0 blocked.example host.example.test &
waits+=($!)
for w in "${waits[@]}"; do
    wait "$w" || exit 1
done
# Names are offered as they are; this plug-in compares case-sensitively.
out="$(raw 2 CA5E 0 Blocked.Example)" || fail "Blocked.Example was not forwarded"
expect_forwarded_dig
copy_stop || fail "block_one: unclean stop"
copy_expect_message "Filter.DLL not loaded/unrecognized" 0
copy_expect_message "Q  [B10C] : block (blocked.example)"
copy_expect_message "Q  [2B0C] : block (blocked.example)"
copy_expect_message "Q  [1B0C] : block (blocked.example)"
copy_expect_message "Q  [CA5E] : Blocked.Example"
echo "ok   Block of the first or the second name: dropped, logged with the blocking name, exit 0"

# ---- A plug-in that answers BlockReply for every name: the client hears at
# once that the name does not exist, for the question it asked.
copy_start reply "$plugins/libtest_filter_reply.so"
question() { # the wire form of NAME, type A class IN, in hex
    local label out=""
    IFS=. read -ra labels <<<"$1"
    for label in "${labels[@]}"; do
        out+="$(printf '%02x' "${#label}")$(printf '%s' "$label" | od -An -tx1 | tr -d ' \n')"
    done
    echo "${out}0000010001"
}
out="$(raw 2 BEEF 3 host.example.test)" || fail "BlockReply: no reply"
# ID kept, QR RD RA and NXDOMAIN, QDCOUNT 1, the other counts 0 (NSCOUNT was
# 3), the question.
[ "$out" = "beef81830001000000000000$(question host.example.test)" ] ||
    fail "BlockReply: reply $out"
out="$(raw 2 0A0B 258 a.example b.example c.example)" || fail "BlockReply: no reply"
[ "$out" = "0a0b81830003000000000000$(question a.example)$(question b.example)$(question c.example)" ] ||
    fail "BlockReply of three names: reply $out"
echo "ok   BlockReply: NXDOMAIN under the client's ID with its question, no records"

out="$(dig_fwd 1 blocked.example)" || fail "dig did not accept the reply: $out"
grep -q 'status: NXDOMAIN' <<<"$out" || fail "dig: expected NXDOMAIN: $out"
grep -q 'QUERY: 1, ANSWER: 0, AUTHORITY: 0, ADDITIONAL: 0' <<<"$out" ||
    fail "dig: unexpected counts: $out"
grep -q 'Warning' <<<"$out" && fail "dig warns about the reply: $out"
status=0
out="$(getent_fwd blocked.example)" || status=$?
[ "$status" -eq 2 ] || fail "getent: expected \"not found\" (exit 2), got $status: $out"
# Still serving after both.
out="$(raw 2 C0DE 0 host.example.test)" || fail "BlockReply: no reply after the clients"
[ "$out" = "c0de81830001000000000000$(question host.example.test)" ] || fail "BlockReply: reply $out"
copy_stop || fail "reply: unclean stop"
copy_expect_message "Q  [BEEF] : block-F (host.example.test)"
copy_expect_message "Q  [0A0B] : block-F (a.example)"
copy_expect_message "Q  [C0DE] : block-F (host.example.test)"
LC_ALL=C grep -q '^A  \[' <<<"$(copy_messages)" && fail "BlockReply: something was forwarded"
echo "ok   BlockReply: dig shows NXDOMAIN, the glibc resolver reports the name not found"

# ---- Plug-ins answering values outside 0..2: forwarded, every name logged.
for kind in minus5 seven; do
    copy_start "$kind" "$plugins/libtest_filter_$kind.so"
    out="$(raw 2 5E7E 0 host.example.test a.example)" || fail "$kind: two-name query not answered"
    [ "${out:0:4}" = 5e7e ] || fail "$kind: answer with a foreign ID: $out"
    expect_forwarded_dig
    copy_stop || fail "$kind: unclean stop"
    copy_expect_message "Q  [5E7E] : host.example.test, a.example"
    copy_expect_message "Filter.DLL not loaded/unrecognized" 0
    echo "ok   $kind: queries forwarded and answered, exit 0"
done
