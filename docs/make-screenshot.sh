#!/usr/bin/env bash
# Remakes docs/window.png, the picture of Corvane's window in the README: the
# real program, built from this tree, with the blocklist plug-in and a short
# block list, showing the lines of a few forwarded and blocked queries; and
# docs/tooltip.png, the same window with the pointer resting on the line of
# a query that getent asked, and the tip that says who asked it.
#
# The program forwards to 8.8.8.8, so it runs only inside the private network
# namespaces of scripts/lib/netns.sh, where 8.8.8.8 is a local stand-in resolver
# and nothing can leave the machine. Its window goes to a virtual X server
# (Xvfb) started in the same namespace. Needs root (for the namespaces); the
# tools it lacks are installed with apt-get. Every wait is bounded, and
# everything started here is stopped on the way out, however the script ends.
#
# Usage: docs/make-screenshot.sh [OUTPUT.png [TOOLTIP.png]]
#        (default: docs/window.png and docs/tooltip.png)
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
output="${1:-$repo/docs/window.png}"
tooltip_output="${2:-$repo/docs/tooltip.png}"
build="$repo/build/release"

die() {
    echo "make-screenshot: $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || die "needs root: the program runs only in private network namespaces"

# ---- tools ---------------------------------------------------------------------
# Besides the build's: an X server, a window manager and the X tools (xwd;
# xwininfo, xprop; xdotool, which moves the pointer), the converter to PNG,
# and what the namespaces need. Only this script needs the X ones; the build
# and the tests do not.
# shellcheck source=SCRIPTDIR/../scripts/deps.sh
source "$repo/scripts/deps.sh"
corvane_install_missing "${CORVANE_BUILD_DEPS[@]}" xvfb openbox x11-apps x11-utils xdotool \
    imagemagick bind9-dnsutils dnsmasq-base iproute2

# ---- the program -------------------------------------------------------------------
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target corvane Filter.DLL
# The window's title is the project's name and version, as project() gives them.
title="$(sed -n 's/^CMAKE_PROJECT_NAME:STATIC=//p' "$build/CMakeCache.txt")"
title="$title $(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
export CORVANE_BINARY="$build/proxy/corvane"
plugin="$build/proxy/Filter.DLL"
[ -x "$CORVANE_BINARY" ] || die "no program at $CORVANE_BINARY"
[ -f "$plugin" ] || die "no plug-in at $plugin"

# ---- the private network and the display -------------------------------------------
# shellcheck source=SCRIPTDIR/../scripts/lib/netns.sh
source "$repo/scripts/lib/netns.sh"
# shellcheck source=SCRIPTDIR/../scripts/lib/corvane_copy.sh
source "$repo/scripts/lib/corvane_copy.sh"
netns_setup
# The stand-in resolver knows these names; any other one is NXDOMAIN.
netns_start_upstream \
    --host-record=www.example.com,192.0.2.20 \
    --host-record=mail.example.org,192.0.2.25 \
    --address=/cdn.example.net/192.0.2.40

# Xvfb picks a free display itself and writes its number, once it accepts
# clients, to the descriptor -displayfd names: here its standard output.
netns_fwd_start xvfb Xvfb -displayfd 1 -screen 0 1024x640x24 -nolisten tcp
xvfb_pid="$NETNS_LAST_PID"
display=""
for ((i = 0; i < 100; i++)); do
    display="$(tr -dc 0-9 <"$NETNS_DIR/xvfb.out")"
    [ -n "$display" ] && break
    netns_alive "$xvfb_pid" || die "Xvfb ended: $(cat "$NETNS_DIR/xvfb.err")"
    sleep 0.1
done
[ -n "$display" ] || die "Xvfb did not start in time"
export DISPLAY=":$display"
# The real X platform, whatever the caller's environment asks for.
export QT_QPA_PLATFORM=xcb
# A window manager draws the frame and the title bar, as on a desktop. It has
# taken the screen once the root window says which manager runs.
netns_fwd_start openbox openbox --sm-disable
openbox_pid="$NETNS_LAST_PID"
for ((i = 0; i < 50; i++)); do
    netns_fwd_exec xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    netns_alive "$openbox_pid" || die "openbox ended: $(cat "$NETNS_DIR/openbox.err")"
    sleep 0.1
done

# ---- the program with its plug-in and a block list ----------------------------------
copy_start shot "$plugin"
# Silent dropping, as in the picture the README shows ("block (...)").
printf '@verdict Block\nads.example.com\ntracker.example.net\n' >"$COPY_BIN/blocklist.txt"

# The window is mapped a moment after the sockets are bound.
for ((i = 0; i < 50; i++)); do
    netns_fwd_exec xwininfo -name "$title" >/dev/null 2>&1 && break
    sleep 0.1
done
netns_fwd_exec xwininfo -name "$title" >/dev/null 2>&1 || die "no window titled '$title'"

# One at a time, so the lines come in this order. A blocked query gets no
# reply, so dig gives up on it after a second. One name is asked by the C
# library, through getent, as most programs ask: its lines get the tip.
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"$NETNS_DIR/resolv.conf"
for name in www.example.com ads.example.com mail.example.org \
    static.tracker.example.net cdn.example.net nosuch.example.org; do
    if [ "$name" = mail.example.org ]; then
        netns_fwd_exec_libc "$NETNS_DIR/resolv.conf" getent ahostsv4 "$name" >/dev/null 2>&1 || true
    else
        netns_fwd_exec dig @127.0.0.1 "$name" +time=1 +tries=1 +noedns >/dev/null 2>&1 || true
    fi
done
# The view repaints once per display frame; give it a few.
sleep 0.5

# ---- the picture -----------------------------------------------------------------------
# The window manager puts the program's window inside its frame: the picture
# is of the outermost window below the root, title bar included.
window_id() {
    sed -n "s/.*$1: \(0x[0-9a-f]*\).*/\1/p"
}
root="$(netns_fwd_exec xwininfo -root | window_id 'Window id')"
window="$(netns_fwd_exec xwininfo -name "$title" | window_id 'Window id')"
for ((i = 0; i < 5; i++)); do
    parent="$(netns_fwd_exec xwininfo -tree -id "$window" | window_id 'Parent window id')"
    if [ -z "$parent" ] || [ "$parent" = "$root" ]; then break; fi
    window="$parent"
done
netns_fwd_exec xwd -silent -display "$DISPLAY" -id "$window" >"$NETNS_DIR/window.xwd" ||
    die "xwd could not capture the window"
convert "xwd:$NETNS_DIR/window.xwd" -strip "png:$NETNS_DIR/window.png" ||
    die "convert could not make the PNG"

# ---- the tip of a line -----------------------------------------------------------------
# The pointer comes to rest on the line of getent's query; Qt shows the tip
# after its wake-up delay, as a window of its own above the program's. The
# picture is of the screen, cut to the program's frame, with the tip's own
# picture laid over it: without a compositor the screen shows a window
# with an alpha channel, as Qt makes tips, as a black box.
geometry() { # the frame's "X Y WIDTH HEIGHT" on the screen
    netns_fwd_exec xwininfo -id "$window" |
        awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
             /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }'
}
read -r frame_x frame_y frame_w frame_h <<<"$(geometry)"
client_y="$(netns_fwd_exec xwininfo -name "$title" | awk '/Absolute upper-left Y/ { print $NF }')"
line="$(copy_messages | grep -n 'Q  \[....\] : mail\.example\.org' | head -n 1 | cut -d: -f1)"
[ -n "$line" ] || die "no line of getent's query in the log"
# The log view's text starts a few pixels into the window, one line every 15
# pixels at the default font's size (see docs/window.png).
netns_fwd_exec xdotool mousemove "$((frame_x + 140))" "$((client_y + 8 + 15 * (line - 1) + 7))"
# The tip: a small top-level window of the program's, beside its main one.
tip=""
for ((i = 0; i < 50; i++)); do
    sleep 0.1
    tip="$(netns_fwd_exec xwininfo -root -children |
        awk '/"corvane": \("corvane" "corvane"\)/ {
                 split($(NF - 1), g, /[x+]/); if (g[2] < 60) { print $1, g[3], g[4]; exit } }')"
    [ -n "$tip" ] && break
done
[ -n "$tip" ] || die "no tip was shown for the line of getent's query"
read -r tip_id tip_x tip_y <<<"$tip"
netns_fwd_exec xwd -silent -display "$DISPLAY" -root >"$NETNS_DIR/screen.xwd" ||
    die "xwd could not capture the screen"
netns_fwd_exec xwd -silent -display "$DISPLAY" -id "$tip_id" >"$NETNS_DIR/tip.xwd" ||
    die "xwd could not capture the tip"
convert "xwd:$NETNS_DIR/tip.xwd" -alpha off "png:$NETNS_DIR/tip.png" ||
    die "convert could not read the tip's picture"
convert "xwd:$NETNS_DIR/screen.xwd" "png:$NETNS_DIR/tip.png" \
    -geometry "+${tip_x}+${tip_y}" -composite \
    -crop "${frame_w}x${frame_h}+${frame_x}+${frame_y}" +repage \
    -strip "png:$NETNS_DIR/tooltip.png" || die "convert could not make the tip's PNG"
copy_stop || die "the program did not end cleanly"
if [ -s "$NETNS_DIR/corvane-shot.err" ]; then
    echo "make-screenshot: the program wrote to stderr:" >&2
    cat "$NETNS_DIR/corvane-shot.err" >&2
fi
echo "make-screenshot: the log it left:"
copy_messages | sed 's/^/    /'
cp "$NETNS_DIR/window.png" "$output"
echo "make-screenshot: wrote $output ($(stat -c %s "$output") bytes)"
cp "$NETNS_DIR/tooltip.png" "$tooltip_output"
echo "make-screenshot: wrote $tooltip_output ($(stat -c %s "$tooltip_output") bytes)"
