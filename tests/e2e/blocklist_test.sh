#!/usr/bin/env bash
# The blocklist plug-in from end to end: the real program in the private
# namespaces with the built Filter.DLL and its list files beside it; listed
# names and their subdomains blocked (by default with a reply that says the
# name does not exist, which the C library's resolver takes at once, with or
# without a second nameserver), allowed and unlisted names forwarded, the
# verdict directive, and list edits taking effect while it runs.
# Usage: blocklist_test.sh PATH-TO-corvane   (CORVANE_BUILD_DIR: the build tree)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$here/../../scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/corvane_copy.sh
source "$here/../../scripts/lib/corvane_copy.sh"

netns_program_arg "$@"
copy_built_plugin plugin proxy/Filter.DLL

# reply_kind SECONDS ID NAME: what came back for a query of NAME under ID:
# "answer" (the upstream's reply: the response bit, NOERROR), "nxdomain" (a
# response with RCODE 3 and no records: BlockReply's) or "none" within SECONDS.
reply_kind() {
    local seconds="$1" out status=0
    shift
    out="$(netns_fwd_exec perl "$here/raw_query.pl" 127.0.0.1 53 "$seconds" "$1" 0 "$2")" ||
        status=$?
    if [ "$status" -eq 3 ]; then
        echo none
    elif [ "$status" -ne 0 ]; then
        echo "raw_query failed ($status)"
    elif [ "${out:0:4}" != "${1,,}" ] || [ $((0x${out:4:2} & 0x80)) -eq 0 ]; then
        echo "unexpected reply $out"
    elif [ $((0x${out:6:2} & 0x0F)) -eq 3 ] && [ "${out:12:12}" = 000000000000 ]; then
        echo nxdomain
    elif [ $((0x${out:6:2} & 0x0F)) -eq 0 ]; then
        echo answer
    else
        echo "unexpected reply $out"
    fi
}

# A reply comes back within milliseconds; a query that is dropped is given
# half a second, one that should be answered more, for a busy machine.
wait_for() {
    if [ "$1" = none ]; then echo 0.5; else echo 2; fi
}

# expect KIND ID:NAME...: each query, all in flight at once, gets KIND.
expect() {
    local kind="$1" pair pids=() files=() i
    shift
    for pair in "$@"; do
        files+=("$NETNS_DIR/reply-${pair%%:*}")
        reply_kind "$(wait_for "$kind")" "${pair%%:*}" "${pair#*:}" >"${files[-1]}" &
        pids+=($!)
    done
    for i in "${!pids[@]}"; do
        wait "${pids[$i]}" || true
        [ "$(cat "${files[$i]}")" = "$kind" ] ||
            fail "${*:i+1:1}: expected $kind, got $(cat "${files[$i]}")"
    done
}

# until_kind KIND ID NAME: asks until the lists were read again and NAME gets
# KIND. The plug-in looks at its files at most once a second, when a query
# comes, so this takes a little over a second; it gives up after about six.
until_kind() {
    local kind="$1" id="$2" name="$3" i got=""
    for ((i = 0; i < 30; i++)); do
        got="$(reply_kind "$(wait_for "$kind")" "$id" "$name")"
        [ "$got" = "$kind" ] && return 0
        sleep 0.2
    done
    fail "$name: still $got, not $kind, after the list was edited"
}

# getent_with RESOLV-CONF NAME: the glibc resolver in a private mount
# namespace whose /etc/resolv.conf is RESOLV-CONF.
getent_with() {
    netns_fwd_exec unshare -m sh -c \
        "mount --bind '$1' /etc/resolv.conf && getent hosts '$2'"
}

netns_setup
netns_start_upstream
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"$NETNS_DIR/resolv.conf"

# Every name under wild.test has an A record upstream, so any name that
# comes back unanswered was held back by the plug-in.
copy_start blocklist "$plugin"
lists="$COPY_BIN"
{
    printf '# a block list as users keep them\n'
    printf 'ads.wild.test\n'
    printf '0.0.0.0 tracker.wild.test metrics.wild.test  # analytics\n'
    printf '127.0.0.1 localhost\n'
    printf 'https://url.wild.test/ads\n'
    printf '\n'
    printf '*.Pixel.Wild.Test\r\n'
    printf '! adblock-style rules, as many lists are published\n'
    printf '||banner.wild.test^\n@@||ok.banner.wild.test^\n'
    printf 'styled.wild.test##.ad-box\n||opt.wild.test^$third-party\n'
} >"$lists/blocklist.txt"
printf 'good.ads.wild.test\n' >"$lists/allowlist.txt"

expect nxdomain 0A01:ads.wild.test 0A02:x.ads.wild.test 0A03:ADS.Wild.TEST \
    0A04:tracker.wild.test 0A05:metrics.wild.test 0A06:cdn.pixel.wild.test \
    0A07:x.banner.wild.test
echo "ok   listed names, their subdomains, hosts lines, adblock rules and mixed case are blocked"
expect answer 0B01:good.ads.wild.test 0B02:deep.good.ads.wild.test 0B03:badads.wild.test \
    0B04:plain.wild.test 0B05:url.wild.test 0B06:new.wild.test 0B07:cdn.ok.banner.wild.test \
    0B08:styled.wild.test 0B09:opt.wild.test
echo "ok   allow-listed and excepted subdomains, look-alikes, rules not about names and unlisted names are forwarded"

out="$(netns_fwd_exec dig @127.0.0.1 x.ads.wild.test +time=1 +tries=1 +noedns 2>&1)" ||
    fail "dig got no reply for a blocked name: $out"
grep -q 'status: NXDOMAIN' <<<"$out" || fail "dig: expected NXDOMAIN: $out"
out="$(netns_fwd_exec dig @127.0.0.1 x.ads.wild.test +tcp +time=1 +tries=1 2>&1)" ||
    fail "dig over TCP got no reply for a blocked name: $out"
grep -q 'status: NXDOMAIN' <<<"$out" || fail "dig over TCP: expected NXDOMAIN: $out"
out="$(getent_with "$NETNS_DIR/resolv.conf" good.ads.wild.test)" ||
    fail "getent: the allowed name did not resolve: $out"
grep -q '^192\.0\.2\.99 ' <<<"$out" || fail "getent: unexpected answer: $out"
echo "ok   dig gets NXDOMAIN for a blocked name over UDP and TCP; the glibc resolver resolves an allowed one"

# The C library's resolver with the defaults of resolv.conf (5 s a try, two
# tries): a blocked name is "not found" (exit 2) at once, not after a time-out.
# With a second nameserver that would answer the name (the upstream itself),
# NXDOMAIN still ends the search: the block holds.
printf 'nameserver 127.0.0.1\n' >"$NETNS_DIR/resolv-one.conf"
printf 'nameserver 127.0.0.1\nnameserver %s\n' "$NETNS_UPSTREAM" >"$NETNS_DIR/resolv-two.conf"
printf 'nameserver %s\n' "$NETNS_UPSTREAM" >"$NETNS_DIR/resolv-fallback.conf"
out="$(getent_with "$NETNS_DIR/resolv-fallback.conf" ads.wild.test)" ||
    fail "the fallback server does not answer the blocked name, so the test proves nothing: $out"
for conf in resolv-one resolv-two; do
    started=$(date +%s%N)
    status=0
    out="$(getent_with "$NETNS_DIR/$conf.conf" ads.wild.test)" || status=$?
    took_ms=$((($(date +%s%N) - started) / 1000000))
    [ "$status" -eq 2 ] || fail "$conf: getent hosts of a blocked name: exit $status, expected 2: $out"
    [ "$took_ms" -lt 2000 ] || fail "$conf: getent took $took_ms ms, not at once"
    echo "ok   $conf: getent hosts ads.wild.test fails with \"not found\" in $took_ms ms"
done

# Edited in place while corvane runs: the directive switches to Block (silent
# dropping), metrics.wild.test leaves the list, new.wild.test joins it.
{
    printf '@verdict Block\n'
    printf 'ads.wild.test\n'
    printf '0.0.0.0 tracker.wild.test\n'
    printf 'new.wild.test\n'
} >"$lists/blocklist.txt"
until_kind none 0C00 new.wild.test
expect none 0C01:ads.wild.test 0C02:x.ads.wild.test 0C03:tracker.wild.test
expect answer 0C04:metrics.wild.test 0C05:good.ads.wild.test
out="$(netns_fwd_exec dig @127.0.0.1 ads.wild.test +time=1 +tries=1 +noedns 2>&1)" &&
    fail "dig got a reply for a silently blocked name: $out"
grep -q 'timed out' <<<"$out" || fail "dig: expected a time-out: $out"
echo "ok   an edited block list takes effect without a restart, with its Block directive"

# Replaced by renaming a new file over it: the allow list now frees ads.wild.test.
printf 'ads.wild.test\n' >"$lists/allowlist.txt.new"
mv "$lists/allowlist.txt.new" "$lists/allowlist.txt"
until_kind answer 0D00 ads.wild.test
expect answer 0D01:x.ads.wild.test
expect none 0D02:tracker.wild.test
echo "ok   an allow list renamed into place takes effect without a restart"

copy_stop || fail "unclean stop"
copy_expect_message "Filter.DLL not loaded/unrecognized" 0
copy_expect_message "Q  [0A02] : block-F (x.ads.wild.test)"
copy_expect_message "Q  [0A03] : block-F (ADS.Wild.TEST)"
copy_expect_message "Q  [0B02] : deep.good.ads.wild.test"
copy_expect_message "Q  [0C01] : block (ads.wild.test)"
copy_expect_message "Q  [0D01] : x.ads.wild.test"
echo "ok   log.log records each verdict; exit code 0 after SIGTERM"
