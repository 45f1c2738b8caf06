#!/usr/bin/env bash
# Try Corvane safely: runs the built program inside private network
# namespaces, with a local DNS server standing in for 8.8.8.8 and the
# blocklist plug-in holding a list, asks it a few questions with dig and shows
# the log. Nothing can reach the real 8.8.8.8 or any other host. Needs root
# (for the namespaces); build first with ./run.sh or ./test.sh.
#
# Usage: sudo scripts/try-in-namespace.sh [--list FILE] [--shell]
#   --list FILE  the plug-in's blocklist.txt (default: the commented example,
#                plugins/blocklist/examples/blocklist.txt)
#   --shell      afterwards, open a shell inside the forwarder's namespace to
#                ask more questions yourself: dig, and every program that
#                resolves through the C library (getent hosts, curl), asks
#                Corvane there; leave it with exit, and everything is torn down.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=SCRIPTDIR/lib/netns.sh
source "$here/scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/lib/corvane_copy.sh
source "$here/scripts/lib/corvane_copy.sh"

list="$here/plugins/blocklist/examples/blocklist.txt"
shell=0
while [ $# -gt 0 ]; do
    case "$1" in
    --list)
        list="$(realpath "${2:?--list needs a file}")"
        shift 2
        ;;
    --shell)
        shell=1
        shift
        ;;
    *) netns_die "usage: $0 [--list FILE] [--shell]" ;;
    esac
done
[ -f "$list" ] || netns_die "no such list: $list"

CORVANE_BINARY="$here/build/release/proxy/corvane"
plugin="$here/build/release/proxy/Filter.DLL"
if [ ! -x "$CORVANE_BINARY" ] || [ ! -f "$plugin" ]; then
    netns_die "build the program first (./run.sh or ./test.sh)"
fi
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

netns_setup
netns_start_upstream
# A copy of the program with the plug-in beside it; the plug-in reads its list
# from its own folder at the first query.
copy_start work "$plugin"
cp "$list" "$COPY_BIN/blocklist.txt"

for name in host.example.test www.wild.test missing.example.test x.ads.example.com; do
    echo "\$ dig @127.0.0.1 $name +short"
    netns_fwd_exec dig @127.0.0.1 "$name" +short +time=2 +tries=1 || true
done

if [ "$shell" = 1 ]; then
    # The shell's own resolv.conf, seen only in its mount namespace: the C
    # library in there asks Corvane, as on a machine where it is the resolver.
    printf 'nameserver 127.0.0.1\n' >"$COPY_DIR/resolv.conf"
    echo
    echo "A shell inside the forwarder's namespace, in which every program asks"
    echo "Corvane: its own /etc/resolv.conf names 127.0.0.1. The upstream answers"
    echo "host.example.test and any name under wild.test, and the list blocks"
    echo "names such as x.ads.example.com. Try"
    echo "    getent hosts host.example.test; getent hosts x.ads.example.com"
    echo "    tail -f $COPY_DIR/log.log"
    echo "Type exit to stop."
    netns_fwd_exec_libc "$COPY_DIR/resolv.conf" env PS1='corvane-ns# ' bash --norc -i || true
fi

copy_stop || true
echo "--- log.log ---"
tr -d '\r' <"$COPY_DIR/log.log" | sed '1s/^\xEF\xBB\xBF//'
