#!/usr/bin/env bash
# Checks the private-namespace harness itself: the stand-in resolver answers
# on 8.8.8.8 inside the closed world, the forwarder's namespace can reach
# nothing else, the silent upstream stays silent, and teardown leaves nothing.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$here/../../scripts/lib/netns.sh"

failures=0
check() {
    local what="$1"
    shift
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failures=$((failures + 1))
    fi
}

host_links_before="$(ip -o link show | awk -F': ' '{print $2}' | sort)"

netns_setup
netns_start_upstream

dig_fwd() {
    netns_fwd_exec dig @8.8.8.8 "$@" +time=2 +tries=1 +norecurse
}

answer="$(dig_fwd host.example.test A +short)"
check "host.example.test resolves to 192.0.2.10 through the veth pair" \
    [ "$answer" = "192.0.2.10" ]
answer="$(dig_fwd a.b.wild.test A +short)"
check "names under wild.test resolve to 192.0.2.99" [ "$answer" = "192.0.2.99" ]
check "any other name is NXDOMAIN" \
    grep -q 'status: NXDOMAIN' <<<"$(dig_fwd nowhere.example.org A)"
check "the resolver saw the query from the forwarder's address" \
    grep -q "from $NETNS_FWD_ADDR" "$NETNS_DIR/upstream.log"

routes="$(netns_fwd_exec ip -4 route show table main | sed 's/ *$//')"
check "the forwarder's only route is 8.8.8.8/32 via the peer" \
    [ "$routes" = "8.8.8.8 via 192.0.2.2 dev veth-fwd onlink" ]
check "no default route anywhere in the forwarder namespace" \
    bash -c "! ip -n '$NETNS_FWD' route show table all | grep -q '^default'"
check "another public address is unreachable from the forwarder namespace" \
    bash -c "! ip -n '$NETNS_FWD' route get 1.1.1.1 >/dev/null 2>&1"
check "the upstream namespace has no default route" \
    bash -c "! ip -n '$NETNS_UP' route show table all | grep -q '^default'"

netns_start_silent_upstream
status=0
dig_fwd host.example.test A >/dev/null || status=$?
check "the silent upstream answers nothing (dig times out)" [ "$status" -eq 9 ]
check "the silent upstream logged the query from the forwarder" \
    grep -q "^$NETNS_FWD_ADDR [0-9]* [0-9]* [0-9a-f]*$" "$NETNS_SILENT_LOG"

netns_fwd_hold_udp_port 5353
holder="$NETNS_LAST_PID"
check "a held port shows in the forwarder namespace" \
    grep -q "pid=$holder," <<<"$(netns_fwd_exec ss -Hulnp 'sport = :5353')"
check "the held port is not bound in the host namespace" \
    bash -c "! ss -Hulnp 'sport = :5353' | grep -q 'pid=$holder,'"

started=("${NETNS_PIDS[@]}")
fwd="$NETNS_FWD"
up="$NETNS_UP"
netns_teardown
check "teardown deletes both namespaces" \
    bash -c "! ip netns list | grep -Eq '^($fwd|$up)( |\$)'"
for pid in "${started[@]}"; do
    check "teardown ended process $pid" [ ! -e "/proc/$pid" ]
done
host_links_after="$(ip -o link show | awk -F': ' '{print $2}' | sort)"
check "the host's links are as before" [ "$host_links_before" = "$host_links_after" ]

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all harness checks passed"
