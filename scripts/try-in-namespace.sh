#!/usr/bin/env bash
# Try Corvane safely: runs the built program inside private network
# namespaces, with a local DNS server standing in for 8.8.8.8, asks it a few
# questions with dig and shows the log. Nothing can reach the real 8.8.8.8 or
# any other host. Needs root (for the namespaces); build first with ./run.sh
# or ./test.sh.
#
# Usage: sudo scripts/try-in-namespace.sh [--shell]
#   --shell  afterwards, open a shell inside the forwarder's namespace to ask
#            more questions yourself (dig @127.0.0.1 host.example.test);
#            leave it with exit, and everything is torn down.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=SCRIPTDIR/lib/netns.sh
source "$here/scripts/lib/netns.sh"

binary="$here/build/release/proxy/corvane"
[ -x "$binary" ] || netns_die "build the program first (./run.sh or ./test.sh)"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

netns_setup
netns_start_upstream
work="$NETNS_DIR/work"
mkdir -p "$work"
NETNS_CWD="$work" netns_fwd_start_udp 53 corvane "$binary"
pid="$NETNS_LAST_PID"

for name in host.example.test www.wild.test missing.example.test; do
    echo "\$ dig @127.0.0.1 $name +short"
    netns_fwd_exec dig @127.0.0.1 "$name" +short +time=2 +tries=1 || true
done

if [ "${1:-}" = "--shell" ]; then
    echo "A shell inside the forwarder's namespace; the upstream answers"
    echo "host.example.test and any name under wild.test. Type exit to stop."
    netns_fwd_exec env PS1='corvane-ns# ' bash --norc -i || true
fi

netns_stop "$pid" 5 || true
echo "--- log.log ---"
tr -d '\r' <"$work/log.log" | sed '1s/^\xEF\xBB\xBF//'
