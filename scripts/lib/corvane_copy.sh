# shellcheck shell=bash
# A copy of the corvane program with a chosen Filter.DLL beside it, run in the
# forwarder namespace of netns.sh, and a reader of the log it leaves. Source
# this file after netns.sh and call netns_setup before copy_start.
#
#   copy_built_plugin VAR PATH set VAR to the absolute path of PATH in the
#                              build tree (CORVANE_BUILD_DIR); dies unless it
#                              is a file
#   copy_start NAME [PLUGIN]   copy the program to $NETNS_DIR/NAME/bin/corvane,
#                              with its fault line helper beside it, and
#                              PLUGIN (a file) as Filter.DLL, or none; start it
#                              with $NETNS_DIR/NAME as working directory and
#                              wait until it has bound UDP 53.
#                              Sets COPY_DIR (the working directory), COPY_BIN
#                              (the folder of the copy), COPY_PID and COPY_ERR
#                              (the file its stderr goes to).
#   copy_stop                  SIGTERM the copy; fails unless it ends with 0
#   copy_messages              the messages of COPY_DIR/log.log, one a line,
#                              without the time prefix, the byte order mark
#                              and the CR; fails if a line lacks the prefix
#   copy_message_count TEXT    how many messages are exactly TEXT
#   copy_expect_message TEXT [COUNT]
#                              fail unless exactly COUNT (default 1) messages
#                              are TEXT
#
# Needs CORVANE_BINARY: the absolute path of the corvane program.

COPY_DIR=""
COPY_BIN=""
COPY_PID=""
COPY_ERR=""

copy_built_plugin() {
    local path="${CORVANE_BUILD_DIR:?CORVANE_BUILD_DIR must name the build tree}/$2"
    [ -f "$path" ] || netns_die "missing plug-in: $path"
    printf -v "$1" '%s' "$path"
}

copy_start() {
    local name="$1" plugin="${2:-}"
    COPY_DIR="$NETNS_DIR/$name"
    COPY_BIN="$COPY_DIR/bin"
    mkdir -p "$COPY_BIN"
    # The copy's RUNPATH $ORIGIN makes its own folder the one searched, so
    # only the library put here can be loaded as Filter.DLL.
    cp "$CORVANE_BINARY" "$COPY_BIN/corvane"
    # The fault report's line helper is looked for beside the program.
    cp "$(dirname "$CORVANE_BINARY")/corvane-faultline" "$COPY_BIN/"
    if [ -n "$plugin" ]; then
        cp "$plugin" "$COPY_BIN/Filter.DLL"
    fi
    COPY_ERR="$NETNS_DIR/corvane-$name.err"
    NETNS_CWD="$COPY_DIR" netns_fwd_start_udp 53 "corvane-$name" "$COPY_BIN/corvane" ||
        netns_die "corvane ($name) did not bind UDP 53: $(cat "$COPY_ERR")"
    COPY_PID="$NETNS_LAST_PID"
}

copy_stop() {
    local status=0
    netns_stop "$COPY_PID" 5 || status=$?
    if [ "$status" -ne 0 ]; then
        echo "corvane ended with $status after SIGTERM, expected 0" >&2
        return 1
    fi
}

copy_messages() {
    local log="$COPY_DIR/log.log"
    [ -f "$log" ] || {
        echo "no log.log in $COPY_DIR" >&2
        return 1
    }
    # Every line is "hh:mm:ss | message" ended by CR LF; the file starts with
    # a byte order mark.
    LC_ALL=C awk '
        NR == 1 { sub(/^\357\273\277/, "") }
        {
            if ($0 !~ /^[0-9][0-9]:[0-9][0-9]:[0-9][0-9] \| .*\r$/) {
                print "malformed log line: " $0 > "/dev/stderr"
                bad = 1
                exit
            }
            print substr($0, 12, length($0) - 12)
        }
        END { exit bad }' "$log"
}

copy_message_count() {
    local messages
    messages="$(copy_messages)" || return 1
    LC_ALL=C grep -cFx -- "$1" <<<"$messages" || true
}

copy_expect_message() {
    local count
    count="$(copy_message_count "$1")" || fail "log.log of $COPY_DIR is malformed"
    [ "$count" -eq "${2:-1}" ] || fail "log.log: \"$1\" found $count times, expected ${2:-1}"
}
