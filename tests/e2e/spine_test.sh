#!/usr/bin/env bash
# The real program, inside the private namespaces, with UDP port 53 already
# taken: it logs the failed open, keeps running, and on SIGTERM ends with exit
# code 0 and a complete log.log.
# Usage: spine_test.sh PATH-TO-corvane
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$here/../../scripts/lib/netns.sh"

netns_program_arg "$@"
export QT_QPA_PLATFORM=offscreen

netns_setup
netns_start_upstream
netns_fwd_hold_udp_port 53 || fail "could not hold UDP port 53"

work="$NETNS_DIR/work"
mkdir "$work"
echo "not from this run" >"$work/log.log"
NETNS_CWD="$work" netns_fwd_start corvane "$CORVANE_BINARY"
pid="$NETNS_LAST_PID"

# A failed listener must leave the program running (idle, window usable).
for ((i = 0; i < 10; i++)); do
    netns_alive "$pid" || break
    sleep 0.1
done
netns_alive "$pid" || fail "corvane ended on its own; stderr: $(cat "$NETNS_DIR/corvane.err")"

status=0
netns_stop "$pid" 5 || status=$?
[ "$status" -eq 0 ] || fail "exit code $status after SIGTERM, expected 0"

log="$work/log.log"
[ -f "$log" ] || fail "no log.log in the working directory"
[ "$(head -c 3 "$log" | od -An -tx1 | tr -d ' \n')" = efbbbf ] ||
    fail "log.log does not start with the byte order mark"
grep -q 'not from this run' "$log" && fail "log.log still holds the earlier file's content"
LC_ALL=C grep -aqE $'^(\xEF\xBB\xBF)?[0-9]{2}:[0-9]{2}:[0-9]{2} \\| Failed to open local UDP port \\(53\\)\r$' "$log" ||
    fail "log.log lacks the failed-port line; it holds: $(od -c "$log" | head -20)"
# Complete: every line ends in CR LF, the last one included.
[ "$(tail -c 2 "$log" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || fail "log.log ends mid-line"
LC_ALL=C grep -aq $'[^\r]$' "$log" && fail "log.log has a line not ended by CR LF"
echo "ok   corvane logged the held port, kept running and ended cleanly on SIGTERM"
