#!/usr/bin/env bash
# Names that are odd as text against the real program with the blocklist
# plug-in and a short list: labels made of dots (the 270-byte query that once
# smashed the plug-in's stack), NUL, '\', bytes 0x80-0xFF, 63-byte labels,
# 255-byte names, several questions in one query, and TCP messages of 65,000
# bytes holding one long name or 9,000 names; over UDP and TCP. The program
# must survive every one and still block and allow what its lists say. Then
# the lists' report on standard error, also for a list the program may not
# read, as when it runs as a user and the list is root's.
# Usage: odd_names_test.sh PATH-TO-corvane   (CORVANE_BUILD_DIR: the build tree)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$here/../../scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/corvane_copy.sh
source "$here/../../scripts/lib/corvane_copy.sh"

netns_program_arg "$@"
copy_built_plugin plugin proxy/Filter.DLL

# reply TRANSPORT SECONDS ID NAME...: "answer" (a response under ID), "none"
# within SECONDS, or what went wrong. NAME as odd_query.pl takes it.
reply() {
    local transport="$1" seconds="$2" id="$3" out status=0
    shift 3
    out="$(netns_fwd_exec perl "$here/odd_query.pl" "$transport" 127.0.0.1 53 "$seconds" \
        "$id" "$@")" || status=$?
    if [ "$status" -eq 3 ]; then
        echo none
    elif [ "$status" -ne 0 ]; then
        echo "odd_query failed ($status)"
    elif [ "${out:0:4}" = "${id,,}" ] && [ $((0x${out:4:2} & 0x80)) -ne 0 ]; then
        echo answer
    else
        echo "unexpected reply $out"
    fi
}

alive() {
    netns_alive "$COPY_PID" || fail "corvane ended after $1: $(tail -n 5 "$COPY_ERR")"
}

# expect KIND TRANSPORT ID NAME...: the query gets KIND ("any": whatever the
# upstream makes of it) and corvane lives on. A dropped query is given a
# second, one that is answered more, for a busy machine.
expect() {
    local kind="$1" transport="$2" id="$3" got seconds=3
    shift 3
    [ "$kind" = none ] && seconds=1
    got="$(reply "$transport" "$seconds" "$id" "$@")"
    alive "$transport query $id"
    [ "$kind" = any ] || [ "$got" = "$kind" ] ||
        fail "$transport query $id (${1:0:60}...): expected $kind, got $got"
}

netns_setup
netns_start_upstream
copy_start odd "$plugin"
lists="$COPY_BIN"
# Saved with a byte order mark, and rules closed by '|'.
{
    printf '\xEF\xBB\xBFfirst.wild.test\n'
    printf '@verdict Block\n'
    printf 'ads.wild.test\n'
    printf '||bar.wild.test^|\n'
    printf '@@||ok.bar.wild.test^|\n'
    printf 'not a name\n'
} >"$lists/blocklist.txt"
printf 'good.ads.wild.test\n' >"$lists/allowlist.txt"

dots="$(printf '\\.%.0s' {1..63})"
dots60="$(printf '\\.%.0s' {1..60})"
out="$(netns_fwd_exec dig @127.0.0.1 "$dots.$dots.$dots.$dots60" +time=3 +tries=1 +noedns 2>&1)" ||
    fail "dig: no reply for the name of dots over UDP: $out"
alive "the name of dots over UDP"
out="$(netns_fwd_exec dig +tcp @127.0.0.1 "$dots.$dots.$dots.$dots60" +time=3 +tries=1 2>&1)" ||
    fail "dig +tcp: no reply for the name of dots: $out"
alive "the name of dots over TCP"
out="$(netns_fwd_exec dig +tcp @127.0.0.1 "$dots.$dots.$dots.ads.wild.test" +time=1 +tries=1 2>&1)" &&
    fail "dig +tcp: a reply for a name of dots under a listed name: $out"
alive "a name of dots under a listed name over TCP"
echo "ok   the 270-byte name of four labels of dots over UDP and TCP (dig) is forwarded, under a listed name blocked"

expect any udp 0E01 '.*63/.*63/.*63/.*60'
expect none udp 0E02 '.*63/.*63/.*63/ads/wild/test'
expect any udp 0E03 'ab\x00cd/ads/wild/test'
expect none udp 0E04 'a\x5cb/ads/wild/test'
expect none udp 0E05 'caf\xc3\xa9/ads/wild/test'
expect answer udp 0E06 'caf\xc3\xa9/wild/test'
expect none udp 0E07 'x*63/ads/wild/test'
expect answer udp 0E08 'x*63/wild/test'
expect none udp 0E09 'a*63/a*63/a*63/a*47/ads/wild/test'
expect none udp 0E0A 'a*63/a*63/a*63/a*48/ads/wild/test'
expect none udp 0E0B 'plain/wild/test' 'x/ads/wild/test' 'other/wild/test'
expect any udp 0E0C '\xff*255/\x00*3/\x5c*200'
expect none tcp 0E0D 'plain/wild/test' 'a\x2eb/ads/wild/test' '.*63/ads/wild/test'
long=()
for ((i = 0; i < 1015; i++)); do long+=('a*63'); done
long_name="$(IFS=/ && echo "${long[*]}")/ads/wild/test"
expect none tcp 0E0E "$long_name"
many=()
for ((i = 0; i < 9000; i++)); do many+=(q); done
expect none tcp 0E0F "${many[@]}" x/ads/wild/test
echo "ok   NUL, backslash, high bytes, 63-byte labels, 255-byte names, several questions and TCP messages of 65,000 bytes leave corvane running"

expect none udp 0F01 ads/wild/test
expect none udp 0F02 X/ADS/wild/test
expect none udp 0F03 first/wild/test
expect none tcp 0F04 bar/wild/test
expect none udp 0F05 cdn/bar/wild/test
expect answer udp 0F06 good/ads/wild/test
expect answer tcp 0F07 ok/bar/wild/test
expect answer udp 0F08 cdn/ok/bar/wild/test
expect answer udp 0F09 plain/wild/test
echo "ok   afterwards listed names are blocked and the others answered, with a byte order mark and rules closed by '|'"

copy_stop || fail "unclean stop"
[ "$(copy_messages | LC_ALL=C grep -cE '^Q  \[[0-9A-F]{4}\] : \.{252}$')" -eq 3 ] ||
    fail "log.log: expected three lines (dig over UDP and TCP, 0E01) for the name of four labels of dots"
copy_expect_message 'Q  [0E03] : ab'
copy_expect_message 'Q  [0E04] : block (a\x5Cb.ads.wild.test)'
copy_expect_message $'Q  [0E05] : block (caf\xc3\x83\xc2\xa9.ads.wild.test)'
copy_expect_message 'Q  [0E0B] : block (x.ads.wild.test)'
copy_expect_message 'Q  [0E0D] : block (a.b.ads.wild.test)'
copy_expect_message 'Q  [0E0F] : block (x.ads.wild.test)'
echo "ok   log.log names each as it was read, the backslash escaped, high bytes as their characters"

report="$COPY_BIN/blocklist.txt: 6 lines read, 1 skipped (the first is line 6); 3 names to block, 1 exception"
grep -qxF "blocklist plug-in: $report" "$COPY_ERR" || fail "no report of the block list in: $(cat "$COPY_ERR")"
grep -qxF "blocklist plug-in: $COPY_BIN/allowlist.txt: 1 line read, 0 skipped; 1 name to allow" \
    "$COPY_ERR" || fail "no report of the allow list in: $(cat "$COPY_ERR")"
echo "ok   standard error reports the lines read and skipped of each list"

# The same program as a user who may not read the block list: it must say so.
chmod 600 "$lists/blocklist.txt"
chmod o+x "$NETNS_DIR" "$COPY_DIR"
NETNS_CWD="$COPY_DIR" netns_fwd_start_udp 53 as-user setpriv --reuid=nobody --regid=nogroup \
    --clear-groups --inh-caps=+net_bind_service --ambient-caps=+net_bind_service \
    "$COPY_BIN/corvane" || netns_die "corvane as nobody did not bind UDP 53"
user_pid="$NETNS_LAST_PID"
[ "$(reply udp 3 1001 ads/wild/test)" = answer ] || fail "as nobody: the unreadable list blocked"
netns_stop "$user_pid" 5 || fail "corvane as nobody: unclean stop"
grep -qxF "blocklist plug-in: cannot read $COPY_BIN/blocklist.txt (Permission denied); nothing of it is in force until it can be read" \
    "$NETNS_DIR/as-user.err" || fail "no report of the unreadable list in: $(cat "$NETNS_DIR/as-user.err")"
echo "ok   a list that cannot be read is reported with its reason"
