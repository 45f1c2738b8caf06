#!/usr/bin/env bash
# log.log from outside, on the real program in the private namespaces: a line
# is in the file about a second after it was logged, with no traffic after
# it, and the idle program then sleeps; a second program started in the same
# folder leaves the first one's file alone and says why, as it says why a
# port could not be opened; a full disk costs whole lines only; a plug-in
# that ends the program through exit() or quick_exit() costs none.
# Usage: logfile_test.sh PATH-TO-corvane   (CORVANE_BUILD_DIR: the build tree)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$here/../../scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/corvane_copy.sh
source "$here/../../scripts/lib/corvane_copy.sh"

netns_program_arg "$@"
exit_plugin="${CORVANE_BUILD_DIR:?CORVANE_BUILD_DIR must name the build tree}/tests/plugins/libtest_filter_exit.so"
[ -f "$exit_plugin" ] || netns_die "missing test plug-in: $exit_plugin"

netns_setup
netns_start_upstream

# Sends one query per name, all at once, and waits for every answer.
ask() {
    netns_fwd_exec perl "$here/dns_client.pl" 127.0.0.1 53 3 "$@" >/dev/null ||
        fail "queries for $* were not all answered"
}

# The messages of COPY_DIR/log.log, every line checked whole: the time, then
# a query, an answer or the plug-in line, and CR LF; nothing else in between.
strict_messages() {
    LC_ALL=C awk '
        NR == 1 { sub(/^\357\273\277/, "") }
        /^[0-9][0-9]:[0-9][0-9]:[0-9][0-9] \| (Q  \[[0-9A-F][0-9A-F][0-9A-F][0-9A-F]\] : [a-z0-9.-]+|A  \[[0-9A-F][0-9A-F][0-9A-F][0-9A-F]\] = [0-9]+b|Filter\.DLL not loaded\/unrecognized)\r$/ {
            print substr($0, 12, length($0) - 12)
            next
        }
        { print "broken line " NR ": " $0 > "/dev/stderr"; bad = 1; exit }
        END { exit bad }' "$COPY_DIR/log.log"
}

# ---- A live file: the lines of one query within two seconds, no traffic after.
copy_start live
ask first.wild.test
for ((i = 0; i < 20; i++)); do
    [ "$(copy_messages | grep -c 'first\.wild\.test\|^A  ')" -ge 2 ] && break
    sleep 0.1
done
[ "$i" -lt 20 ] || fail "the query's lines were not in log.log within 2 s: $(copy_messages)"
echo "ok   a query's lines are in log.log within $((i / 10)).$((i % 10)) s, without further traffic"

# With everything written out, the idle program has no reason to wake up.
switches() {
    awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$COPY_PID/task/$COPY_PID/status"
}
sleep 0.5
before="$(switches)"
sleep 2
woken=$(($(switches) - before))
[ "$woken" -le 2 ] || fail "the idle program woke up $woken times in 2 s"
echo "ok   then idle: $woken wake-ups in 2 s"

# ---- A second program in the same folder: the first one's file stays whole,
# and the second says on standard error why it has no file, and why it has no
# port.
NETNS_CWD="$COPY_DIR" netns_fwd_start second "$COPY_BIN/corvane"
second="$NETNS_LAST_PID"
for ((i = 0; i < 50; i++)); do
    grep -q 'log.log: not opened' "$NETNS_DIR/second.err" 2>/dev/null && break
    netns_alive "$second" || fail "the second program ended: $(cat "$NETNS_DIR/second.err")"
    sleep 0.1
done
grep -qx 'log.log: not opened as the log file: another running Corvane writes to it' \
    "$NETNS_DIR/second.err" || fail "the second program's stderr: $(cat "$NETNS_DIR/second.err")"
grep -qx 'UDP port 53: not opened: Address already in use' "$NETNS_DIR/second.err" ||
    fail "the second program's stderr lacks the port's reason: $(cat "$NETNS_DIR/second.err")"
ask after-second.wild.test
netns_stop "$second" 5 || fail "the second program did not end cleanly"
copy_stop || fail "unclean stop"
messages="$(strict_messages)" || fail "log.log of the first program is broken"
grep -q ': first\.wild\.test$' <<<"$messages" || fail "the first query's line is gone: $messages"
grep -q ': after-second\.wild\.test$' <<<"$messages" || fail "a later line is missing: $messages"
[ "$(grep -c '^A  ' <<<"$messages")" -eq 2 ] || fail "answers: $messages"
grep -q 'Failed to open' <<<"$messages" && fail "the second program wrote into the file: $messages"
echo "ok   a second program leaves the first one's log.log whole and says why on stderr"

# ---- The reason of a missing right to the port, as a user without it sees it.
unprivileged="$NETNS_DIR/unprivileged"
mkdir -p "$unprivileged"
chmod 711 "$NETNS_DIR"
chmod 1777 "$unprivileged"
cp "$CORVANE_BINARY" "$unprivileged/corvane"
chmod 755 "$unprivileged/corvane"
NETNS_CWD="$unprivileged" netns_fwd_start nobody \
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$unprivileged/corvane"
for ((i = 0; i < 50; i++)); do
    grep -q 'port 53' "$NETNS_DIR/nobody.err" 2>/dev/null && break
    sleep 0.1
done
netns_stop "$NETNS_LAST_PID" 5 || fail "the program without the right did not end cleanly"
grep -qx 'UDP port 53: not opened: Permission denied' "$NETNS_DIR/nobody.err" ||
    fail "stderr without the right to the port: $(cat "$NETNS_DIR/nobody.err")"
echo "ok   without the right to the port, stderr says \"Permission denied\""

# ---- A full disk: the file loses lines, never parts of them. The disk is a
# small tmpfs in a mount namespace of its own, held by a sleeping process, so
# that it goes with that process whatever becomes of the test; the program
# is started in it, and the test reaches it through /proc/PID/root. Entering
# a mount namespace moves a process to that namespace's own root; --root keeps
# the holder's, which differs when the test runs in a chroot.
disk="$NETNS_DIR/tmpfs"
mkdir -p "$disk"
# shellcheck disable=SC2016 # expanded by the inner shell
unshare -m --propagation private sh -c \
    'mount -t tmpfs -o size=64k,mode=0755 corvane-disk "$1" && exec sleep 120' sh "$disk" &
holder=$!
NETNS_PIDS+=("$holder")
seen="/proc/$holder/root$disk"
for ((i = 0; i < 50; i++)); do
    [ "$(stat -f -c %T "$seen" 2>/dev/null)" = tmpfs ] && break
    sleep 0.1
done
[ "$i" -lt 50 ] || fail "the small disk was not mounted"
mkdir -p "$NETNS_DIR/small-disk/bin"
cp "$CORVANE_BINARY" "$NETNS_DIR/small-disk/bin/corvane"
# shellcheck disable=SC2016 # expanded by the inner shell
NETNS_CWD=/ netns_fwd_start_udp 53 small-disk nsenter -t "$holder" -m --root -- \
    sh -c 'cd "$1" && exec "$2"' sh "$disk" "$NETNS_DIR/small-disk/bin/corvane" ||
    fail "corvane on the small disk did not bind UDP 53: $(cat "$NETNS_DIR/small-disk.err")"
COPY_PID="$NETNS_LAST_PID"
COPY_DIR="$seen"
ask start.wild.test
sleep 1.5
dd if=/dev/zero of="$seen/filler" bs=4096 2>/dev/null && fail "the small disk did not fill up"
names=()
for i in $(seq -w 1 100); do
    names+=("full$i.wild.test")
done
ask "${names[@]:0:50}"
ask "${names[@]:50:50}"
sleep 1.5
rm "$seen/filler"
ask room1.wild.test room2.wild.test room3.wild.test
copy_stop || fail "unclean stop"
messages="$(strict_messages)" || fail "a full disk broke a line of log.log"
for name in start room1 room2 room3; do
    grep -q ": $name\.wild\.test$" <<<"$messages" || fail "$name is missing: $messages"
done
kept="$(grep -c ': full' <<<"$messages" || true)"
[ "$kept" -lt 100 ] || fail "the disk never filled: every line was kept"
echo "ok   on a full disk the lines of $kept of 100 queries were kept, each whole; the file goes on after"
netns_stop "$holder" 5 >/dev/null 2>&1 || true

# ---- A plug-in that ends the program: exit(3), quick_exit(4). The lines
# before are written out, though the program's destructors never run; the
# answers come in well within the second after which the lines would have
# been written out anyway.
for road in exit:3 quick-exit:4; do
    name="${road%%:*}"
    expected="${road##*:}"
    copy_start "$name" "$exit_plugin"
    # shellcheck disable=SC2016 # perl code, not shell
    netns_fwd_exec perl -I"$here" -e '
        use strict; use Socket; use IO::Select; use DnsUdp qw(udp_socket dns_query);
        my $sock = udp_socket();
        my $dest = sockaddr_in(53, inet_aton("127.0.0.1"));
        my $select = IO::Select->new($sock);
        my $id = 0x5100;
        for my $name (@ARGV) {
            send($sock, dns_query(++$id, 0, $name), 0, $dest) or die "send: $!";
            last if $name =~ /exit/;
            $select->can_read(3) or die "no answer for $name\n";
            recv($sock, my $reply, 4096, 0);
        }' a.wild.test b.wild.test c.wild.test "$name.example" ||
        fail "$name: the queries before the end were not answered"
    for ((i = 0; i < 50; i++)); do
        netns_alive "$COPY_PID" || break
        sleep 0.1
    done
    status=0
    wait "$COPY_PID" || status=$?
    [ "$status" -eq "$expected" ] || fail "$name: exit status $status, expected $expected"
    messages="$(strict_messages)" || fail "$name: log.log is broken"
    for id in 5101 5102 5103; do
        grep -q "^Q  \[$id\] : " <<<"$messages" || fail "$name: the query $id is missing: $messages"
        grep -q "^A  \[$id\] = " <<<"$messages" || fail "$name: the answer $id is missing: $messages"
    done
    echo "ok   a plug-in calling $name ends the program with $expected, and log.log keeps every line"
done
