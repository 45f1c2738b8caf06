#!/usr/bin/env bash
# What the built program loads, seen from outside: nothing from the folder it
# is started in (its libraries, Filter.DLL), and, when it runs with more
# rights than its user (a file capability), no Qt plug-in from a folder the
# user names. The program itself runs only in the private namespaces.
# Usage: loader_test.sh PATH-TO-corvane   (CORVANE_BUILD_DIR: the build tree)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=SCRIPTDIR/../../scripts/lib/netns.sh
source "$here/../../scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../../scripts/lib/corvane_copy.sh
source "$here/../../scripts/lib/corvane_copy.sh"

netns_program_arg "$@"
build="${CORVANE_BUILD_DIR:?CORVANE_BUILD_DIR must name the build tree}"
decoy_library="$build/tests/plugins/libtest_filter_reply.so"
decoy_qt_plugin="$build/tests/e2e/libdecoy_qt_platform.so"
for file in "$decoy_library" "$decoy_qt_plugin"; do
    [ -f "$file" ] || netns_die "missing test library: $file"
done

# ---- The search path, as the package's is checked: exactly the program's own
# folder, with no empty element (which the loader reads as the current folder).
runpath="$(readelf -d "$CORVANE_BINARY" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')"
# shellcheck disable=SC2016 # $ORIGIN is the loader's, literally
[ "$runpath" = '$ORIGIN' ] || fail "RUNPATH of the built corvane: '$runpath'"
! readelf -d "$CORVANE_BINARY" | grep -q '(RPATH)' || fail "the built corvane has an RPATH"
echo "ok   the built program's RUNPATH is \$ORIGIN alone"

netns_setup
netns_start_upstream

# ---- A decoy of every library the program needs, in the folder it is started
# from: the loader must take none of them (asked without running the program).
plant="$NETNS_DIR/plant"
mkdir -p "$plant"
needed="$(readelf -d "$CORVANE_BINARY" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
[ -n "$needed" ] || fail "no NEEDED entries in $CORVANE_BINARY"
for name in $needed; do
    cp "$decoy_library" "$plant/$name"
done
interpreter="$(readelf -l "$CORVANE_BINARY" | sed -n 's/.*interpreter: \(.*\)\]/\1/p')"
listing="$(cd "$plant" && "$interpreter" --list "$CORVANE_BINARY")" ||
    fail "$interpreter --list failed: $listing"
grep -q 'libexpat\.so' <<<"$listing" || fail "the listing lacks libexpat: $listing"
# Each library found shows as "NAME => /PATH"; one taken through an empty
# element of the search path shows by its bare name, without a folder.
if grep -v -e '=> /' -e 'linux-vdso' -e '^[[:space:]]*/' <<<"$listing" ||
    grep -F "=> $plant/" <<<"$listing"; then
    fail "a library was taken from the working folder"
fi
echo "ok   none of $(wc -w <<<"$needed") decoy libraries in the working folder is loaded"

# ---- A Filter.DLL in the working folder and none beside the program: no
# plug-in, every query forwarded.
mkdir -p "$NETNS_DIR/cwd-decoy"
cp "$decoy_library" "$NETNS_DIR/cwd-decoy/Filter.DLL"
copy_start cwd-decoy
out="$(netns_fwd_exec dig @127.0.0.1 host.example.test +time=2 +tries=1 +noedns)" ||
    fail "dig got no answer: $out"
grep -q '192\.0\.2\.10' <<<"$out" || fail "the query was not forwarded: $out"
copy_stop || fail "unclean stop"
copy_expect_message "Filter.DLL not loaded/unrecognized"
echo "ok   a Filter.DLL in the working folder is not loaded"

# ---- Under a file capability, as the package installs it, run by a user who
# names a folder of Qt plug-ins: the program binds port 53, and loads nothing
# from there. The same copy run by root, without the secure mode, does load
# the decoy, which shows the check can fail.
shared="$NETNS_DIR/shared"
mkdir -p "$shared/bin" "$shared/plugins/platforms" "$shared/work" "$shared/runtime"
chmod 711 "$NETNS_DIR"
chmod 755 "$shared" "$shared/bin" "$shared/plugins" "$shared/plugins/platforms"
chmod 1777 "$shared/work"
chown nobody "$shared/runtime"
chmod 700 "$shared/runtime"
cp "$CORVANE_BINARY" "$shared/bin/corvane"
cp "$decoy_qt_plugin" "$shared/plugins/platforms/"
chmod 755 "$shared/bin/corvane"
chmod 644 "$shared/plugins/platforms/$(basename "$decoy_qt_plugin")"
if findmnt -no OPTIONS -T "$shared" | grep -qw nosuid; then
    echo "skipped: $shared is on a nosuid mount, where file capabilities do not apply"
    exit 0
fi
setcap cap_net_bind_service=+ep "$shared/bin/corvane" || fail "setcap failed"
user_env=(env QT_PLUGIN_PATH="$shared/plugins" QT_DEBUG_PLUGINS=1
    XDG_RUNTIME_DIR="$shared/runtime" "$shared/bin/corvane")
NETNS_CWD="$shared/work" netns_fwd_start_udp 53 capability \
    setpriv --reuid=nobody --regid=nogroup --clear-groups "${user_env[@]}" ||
    fail "corvane under its capability did not bind port 53: $(cat "$NETNS_DIR/capability.err")"
pid="$NETNS_LAST_PID"
out="$(netns_fwd_exec dig @127.0.0.1 host.example.test +time=2 +tries=1 +noedns)" ||
    fail "dig got no answer from the program under its capability: $out"
status=0
netns_stop "$pid" 5 || status=$?
[ "$status" -eq 0 ] || fail "exit status $status under the capability"
if grep -q 'decoy Qt plug-in loaded' "$NETNS_DIR/capability.err"; then
    fail "the program under its capability loaded a Qt plug-in from QT_PLUGIN_PATH"
fi
echo "ok   under its file capability, run as nobody, QT_PLUGIN_PATH is ignored"

setcap -r "$shared/bin/corvane"
(
    ulimit -c 0
    NETNS_CWD="$shared/work" netns_fwd_start root-control "${user_env[@]}"
    for ((i = 0; i < 50; i++)); do
        grep -q 'decoy Qt plug-in loaded' "$NETNS_DIR/root-control.err" && break
        sleep 0.1
    done
    netns_stop "$NETNS_LAST_PID" 5 >/dev/null 2>&1 || true
)
grep -q 'decoy Qt plug-in loaded' "$NETNS_DIR/root-control.err" ||
    fail "the decoy plug-in was not loaded even without the secure mode: $(cat "$NETNS_DIR/root-control.err")"
echo "ok   (control) without the secure mode the same environment loads the decoy"
