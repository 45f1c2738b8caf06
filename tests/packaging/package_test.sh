#!/usr/bin/env bash
# Builds the Debian package from a finished build tree and checks it as a user
# gets it: the control fields and dependencies, every file with its mode, where
# the program finds its plug-in and the fault report its debug information,
# the manual page, the menu entry, the launcher, the maintainer scripts and
# lintian. The package is unpacked into a scratch root; the machine's own
# package database is never touched. The program itself runs only inside the
# private network namespaces of netns.sh, because it forwards to 8.8.8.8.
# Without root the checks that need it (capabilities, namespaces) are left out
# and the test counts as skipped once everything else has passed.
# Usage: package_test.sh BUILD-DIR PATH-TO-netns.sh
set -euo pipefail

build="${1:?usage: package_test.sh BUILD-DIR PATH-TO-netns.sh}"
harness="${2:?usage: package_test.sh BUILD-DIR PATH-TO-netns.sh}"

fail() {
    echo "FAIL $*"
    exit 1
}
ok() {
    echo "ok   $*"
}

for tool in cpack dpkg-deb readelf nm file groff desktop-file-validate lintian; do
    command -v "$tool" >/dev/null || fail "missing tool: $tool"
done
[ -f "$build/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $build"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"

work="$(mktemp -d "${TMPDIR:-/tmp}/corvane-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
need_root=()

# ---- the package -------------------------------------------------------------
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out") \
    >"$work/cpack.log" 2>&1 || fail "cpack: $(tail -n 30 "$work/cpack.log")"
deb="$work/out/corvane_${version}_$(dpkg --print-architecture).deb"
ddeb="$work/out/corvane-dbgsym_${version}_$(dpkg --print-architecture).ddeb"
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work/out")"
[ -f "$ddeb" ] || fail "no $(basename "$ddeb"): $(ls "$work/out")"
ok "cpack built $(basename "$deb") and $(basename "$ddeb")"

field() {
    dpkg-deb -f "$deb" "$1"
}
[ "$(field Package)" = corvane ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = net ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ "$(field Description | wc -l)" -gt 2 ] || fail "no long description"
field Description | grep -qw TCP || fail "the description does not say TCP"
depends="$(field Depends | tr -d ' ')"
# Whether Depends names package $1, with or without a version.
depends_on() {
    local entry
    for entry in ${depends//,/ }; do
        [ "${entry%%(*}" = "$1" ] && return 0
    done
    return 1
}
depends_on libcap2-bin || fail "Depends lacks libcap2-bin: $depends"
ok "control fields: corvane $version, section net, maintainer, depends on libcap2-bin"

root="$work/root"
control="$work/control"
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$control"

# Every file, with its mode and owner, and nothing else: a stray install rule
# (a test program, a library in bin/) shows up here.
listing="$(dpkg-deb -c "$deb" | awk '{
    line = $1 " " $2 " " $6
    for (i = 7; i <= NF; i++) line = line " " $i
    print line
}' | sed 's|^\([^ ]* [^ ]* \)\./|\1|' | sort)"
expected="$(sort <<'EOF'
drwxr-xr-x root/root etc/
drwxr-xr-x root/root etc/corvane/
drwxr-xr-x root/root usr/
drwxr-xr-x root/root usr/bin/
-rwxr-xr-x root/root usr/bin/corvane
-rwxr-xr-x root/root usr/bin/corvane-resolver
drwxr-xr-x root/root usr/include/
drwxr-xr-x root/root usr/include/corvane/
-rw-r--r-- root/root usr/include/corvane/filter.h
drwxr-xr-x root/root usr/lib/
drwxr-xr-x root/root usr/lib/corvane/
-rw-r--r-- root/root usr/lib/corvane/Filter.DLL
lrwxrwxrwx root/root usr/lib/corvane/allowlist.txt -> /etc/corvane/allowlist.txt
lrwxrwxrwx root/root usr/lib/corvane/blocklist.txt -> /etc/corvane/blocklist.txt
-rwxr-xr-x root/root usr/lib/corvane/corvane-faultbox
-rwxr-xr-x root/root usr/lib/corvane/corvane-faultline
-rwxr-xr-x root/root usr/lib/corvane/corvane-launch
drwxr-xr-x root/root usr/share/
drwxr-xr-x root/root usr/share/applications/
-rw-r--r-- root/root usr/share/applications/corvane.desktop
drwxr-xr-x root/root usr/share/doc/
drwxr-xr-x root/root usr/share/doc/corvane/
-rw-r--r-- root/root usr/share/doc/corvane/changelog.gz
-rw-r--r-- root/root usr/share/doc/corvane/README.md.gz
-rw-r--r-- root/root usr/share/doc/corvane/copyright
drwxr-xr-x root/root usr/share/doc/corvane/examples/
-rw-r--r-- root/root usr/share/doc/corvane/examples/blocklist.txt
drwxr-xr-x root/root usr/share/icons/
drwxr-xr-x root/root usr/share/icons/hicolor/
drwxr-xr-x root/root usr/share/icons/hicolor/scalable/
drwxr-xr-x root/root usr/share/icons/hicolor/scalable/apps/
-rw-r--r-- root/root usr/share/icons/hicolor/scalable/apps/corvane.svg
drwxr-xr-x root/root usr/share/man/
drwxr-xr-x root/root usr/share/man/man1/
-rw-r--r-- root/root usr/share/man/man1/corvane-resolver.1.gz
-rw-r--r-- root/root usr/share/man/man1/corvane.1.gz
EOF
)"
if [ "$listing" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$listing") || true
    fail "the package's files differ from the expected ones (- expected, + packaged)"
fi
ok "every file in place with its mode, owned by root, nothing else"

# ---- the binaries -------------------------------------------------------------
elves=(usr/bin/corvane usr/lib/corvane/Filter.DLL usr/lib/corvane/corvane-faultbox
    usr/lib/corvane/corvane-faultline)

# Each library a binary links against comes from a package it depends on.
for elf in "${elves[@]}"; do
    for needed in $(readelf -d "$root/$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        path="$(ldd "$root/$elf" | awk -v lib="$needed" '
            $1 == lib && $3 ~ /^\// {print $3; exit}
            substr($1, length($1) - length(lib)) == "/" lib {print $1; exit}')"
        [ -n "$path" ] || fail "$elf: $needed not found on this machine"
        owner=""
        for candidate in "$path" "$(readlink -f "$path")" "/usr$path" "${path#/usr}"; do
            owner="$(dpkg -S "$candidate" 2>/dev/null | head -n 1 | cut -d: -f1)" && [ -n "$owner" ] && break
        done
        [ -n "$owner" ] || fail "$elf: no package owns $path"
        depends_on "$owner" || fail "$elf needs $needed from $owner, which Depends lacks: $depends"
    done
done
ok "Depends covers every library the binaries link against"

# The program opens Filter.DLL by its bare name: it must sit in the folder the
# program's RUNPATH names, and nowhere on the program's own folder.
runpath="$(readelf -d "$root/usr/bin/corvane" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')"
# shellcheck disable=SC2016 # $ORIGIN is the loader's, literally
[ "$runpath" = '$ORIGIN/../lib/corvane' ] || fail "RUNPATH of corvane: '$runpath'"
[ -f "$root/usr/bin/${runpath#\$ORIGIN/}/Filter.DLL" ] || fail "no Filter.DLL in the RUNPATH folder"
for elf in usr/lib/corvane/Filter.DLL usr/lib/corvane/corvane-faultbox usr/lib/corvane/corvane-faultline; do
    ! readelf -d "$root/$elf" | grep -qE '\((RPATH|RUNPATH)\)' || fail "$elf has a library search path"
done
nm -D --defined-only "$root/usr/lib/corvane/Filter.DLL" | grep -qw FilterQuery ||
    fail "Filter.DLL does not export FilterQuery"
ok "corvane's RUNPATH is \$ORIGIN/../lib/corvane, where Filter.DLL (exporting FilterQuery) lies"

# Stripped, with the debug information the fault report reads in the dbgsym
# package, where it is looked for by build ID.
debug_list="$(dpkg-deb -c "$ddeb" | awk '{print $6}')"
for elf in "${elves[@]}"; do
    file -b "$root/$elf" | grep -q ', stripped' || fail "$elf is not stripped"
    id="$(readelf -n "$root/$elf" | sed -n 's/.*Build ID: \([0-9a-f]*\).*/\1/p')"
    [ -n "$id" ] || fail "$elf has no build ID"
    grep -qx "\./usr/lib/debug/\.build-id/${id:0:2}/${id:2}\.debug" <<<"$debug_list" ||
        fail "the dbgsym package lacks the debug information of $elf ($id)"
done
[ "$(dpkg-deb -f "$ddeb" Depends)" = "corvane (= $version)" ] ||
    fail "dbgsym Depends: $(dpkg-deb -f "$ddeb" Depends)"
ok "binaries stripped; their debug information is in the dbgsym package under their build IDs"

# ---- the manual pages and the documentation ----------------------------------
# Renders page $1 and fails unless it is free of warnings and says every
# text that follows.
check_page() {
    local page="$root/usr/share/man/man1/$1.1.gz" warnings rendered text
    shift
    warnings="$(zcat "$page" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)"
    [ -z "$warnings" ] || fail "$(basename "$page") has groff warnings: $warnings"
    rendered="$(zcat "$page" | LC_ALL=C.UTF-8 groff -man -Tutf8 -rLL=200n -P-cbou 2>/dev/null |
        tr -s ' ')"
    for text in "$@"; do
        grep -qF -- "$text" <<<"$rendered" || fail "$(basename "$page") does not say '$text'"
    done
}
# shellcheck disable=SC2016 # the page's words, literally
check_page corvane 'corvane - ' SYNOPSIS 'over UDP and over TCP' 8.8.8.8 log.log FilterQuery \
    'EXIT STATUS' 'exits with status 0' SIGINT SIGTERM SIGHUP FILES cap_net_bind_service \
    /usr/lib/corvane/Filter.DLL /etc/corvane/blocklist.txt corvane-launch '*.metrics.example' \
    '@@||ok.ads.example^' '0.0.0.0 ads.example.com' 'block-F' 'NXDOMAIN' '@verdict Block' \
    '${XDG_STATE_HOME:-~/.local/state}/corvane/log.log' 'package is purged' 'corvane-resolver(1)' \
    /usr/share/doc/corvane/examples/blocklist.txt
check_page corvane-resolver 'corvane-resolver - ' SYNOPSIS 'no DNS at all' dns=none \
    DNSStubListener=no nss-resolve /var/lib/corvane/resolver 'autostart on' --root
ok "the manual pages render without warnings and cover port, transports, lists, verdicts, log, files, resolver"

zcat "$root/usr/share/doc/corvane/README.md.gz" | cmp -s - "$(dirname "$0")/../../README.md" ||
    fail "the packaged README is not this tree's"
ok "README is in /usr/share/doc/corvane"

# ---- the menu entry and the launcher ---------------------------------------------
desktop="$root/usr/share/applications/corvane.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects corvane.desktop"
[ "$(sed -n 's/^Exec=//p' "$desktop")" = /usr/lib/corvane/corvane-launch ] ||
    fail "Exec: $(grep ^Exec= "$desktop")"
[ "$(sed -n 's/^Icon=//p' "$desktop")" = corvane ] || fail "Icon: $(grep ^Icon= "$desktop")"
head -c 200 "$root/usr/share/icons/hicolor/scalable/apps/corvane.svg" | grep -q '<svg' ||
    fail "corvane.svg is not an SVG document"
ok "corvane.desktop is valid and starts /usr/lib/corvane/corvane-launch with the corvane icon"

# The launcher, with a stand-in program that reports where and how it was
# started: it runs in the state folder, private to the user.
fake="$work/fake"
mkdir -p "$fake/bin" "$fake/lib/corvane" "$work/home"
cp "$root/usr/lib/corvane/corvane-launch" "$fake/lib/corvane/"
# shellcheck disable=SC2016 # expanded by the stand-in
printf '#!/bin/sh\necho "$(pwd) $(umask) $#"\n' >"$fake/bin/corvane"
chmod 755 "$fake/bin/corvane"
launch() {
    env -i PATH=/usr/bin:/bin "$@" "$fake/lib/corvane/corvane-launch" extra-argument
}
while IFS='|' read -r environment expected_folder; do
    # shellcheck disable=SC2086 # the assignments are words on purpose
    got="$(launch $environment)" || fail "launcher with '$environment' failed"
    [ "$got" = "$expected_folder 0077 0" ] ||
        fail "launcher with '$environment': got '$got', expected '$expected_folder 0077 0'"
    [ "$(stat -c %a "$expected_folder")" = 700 ] || fail "$expected_folder is not private"
    rm -rf "$expected_folder"
done <<EOF
HOME=$work/home|$work/home/.local/state/corvane
HOME=$work/home XDG_STATE_HOME=$work/state|$work/state/corvane
HOME=$work/home XDG_STATE_HOME=relative/state|$work/home/.local/state/corvane
EOF
if launch 2>/dev/null; then
    fail "the launcher started the program with neither HOME nor XDG_STATE_HOME"
fi
ok "the launcher starts the program in the private state folder, with no arguments"

# ---- maintainer scripts --------------------------------------------------------
[ -z "$(getcap "$root/usr/bin/corvane" 2>/dev/null)" ] || fail "the unpacked binary already has capabilities"
if [ "$(id -u)" -eq 0 ]; then
    DPKG_ROOT="$root" sh "$control/postinst" configure || fail "postinst configure failed"
    caps="$(getcap "$root/usr/bin/corvane")"
    [[ "$caps" =~ cap_net_bind_service=ep$ ]] || fail "after postinst: '$caps'"
    ok "postinst grants cap_net_bind_service=ep to the program"
else
    # Without the right to set capabilities the install still succeeds.
    DPKG_ROOT="$root" sh "$control/postinst" configure 2>"$work/postinst.err" ||
        fail "postinst failed where setcap could not run"
    grep -q 'needs root' "$work/postinst.err" || fail "postinst did not say the capability is missing"
    need_root+=("the capability")
fi

mkdir -p "$root/etc/corvane"
touch "$root/etc/corvane/blocklist.txt" "$root/etc/corvane/allowlist.txt"
DPKG_ROOT="$root" sh "$control/postrm" remove || fail "postrm remove failed"
[ -f "$root/etc/corvane/blocklist.txt" ] || fail "postrm remove took the lists away"
DPKG_ROOT="$root" sh "$control/postrm" purge || fail "postrm purge failed"
[ ! -e "$root/etc/corvane" ] || fail "postrm purge left $(ls -A "$root/etc/corvane")"
mkdir -p "$root/etc/corvane"
ok "postrm keeps the lists on remove and takes them away on purge"

# ---- corvane-resolver, as installed -------------------------------------------------
# On a scratch system: removing the package undoes an 'on', so that the machine
# is not left asking a Corvane that is gone. Its services are the hook's.
system="$work/system"
mkdir -p "$system/etc"
printf 'nameserver 192.0.2.53\n' >"$system/etc/resolv.conf"
CORVANE_RESOLVER_SERVICE_HOOK=true "$root/usr/bin/corvane-resolver" --root "$system" on >/dev/null ||
    fail "the installed corvane-resolver on failed"
grep -qx 'nameserver 127.0.0.1' "$system/etc/resolv.conf" || fail "corvane-resolver on did not name 127.0.0.1"
mkdir -p "$system/usr/bin"
cp "$root/usr/bin/corvane-resolver" "$system/usr/bin/"
CORVANE_RESOLVER_SERVICE_HOOK=true DPKG_ROOT="$system" sh "$control/prerm" remove >/dev/null ||
    fail "prerm remove failed"
[ "$(cat "$system/etc/resolv.conf")" = "nameserver 192.0.2.53" ] || fail "prerm remove did not undo 'on'"
[ ! -e "$system/var/lib/corvane/resolver" ] || fail "prerm remove left the resolver's record"
ok "corvane-resolver works as installed, and removing the package undoes its 'on'"

# Its autostart entry is the installed menu entry, and valid as one.
env -i PATH=/usr/bin:/bin HOME="$work/home" "$root/usr/bin/corvane-resolver" autostart on >/dev/null ||
    fail "corvane-resolver autostart on failed"
autostart="$work/home/.config/autostart/corvane.desktop"
desktop-file-validate "$autostart" || fail "desktop-file-validate rejects the autostart entry"
grep -qx 'Exec=/usr/lib/corvane/corvane-launch' "$autostart" || fail "autostart Exec: $(grep ^Exec= "$autostart")"
rm -rf "$work/home/.config"
ok "the autostart entry is a valid copy of the menu entry"

# ---- lintian -----------------------------------------------------------------
if ! lintian --fail-on error "$deb" "$ddeb" \
    >"$work/lintian.log" 2>&1; then
    cat "$work/lintian.log"
    fail "lintian reports errors"
fi
grep -E '^[EW]: ' "$work/lintian.log" || true
ok "lintian reports no errors"

# ---- the installed program, in private namespaces ---------------------------------
# Started by the installed launcher, the installed program loads the installed
# plug-in through its RUNPATH; the plug-in reads a list from its own folder
# (here the packaged example in place of the link to /etc, which is the
# machine's): a blocked name, a name under an exception.
rm "$root/usr/lib/corvane/blocklist.txt"
cp "$root/usr/share/doc/corvane/examples/blocklist.txt" "$root/usr/lib/corvane/blocklist.txt"
status=0
(
    # shellcheck source=../../scripts/lib/netns.sh disable=SC1091
    source "$harness"
    netns_setup
    netns_start_upstream
    home="$NETNS_DIR/home"
    mkdir -p "$home"
    NETNS_CWD=/ netns_fwd_start_udp 53 launcher env -u LD_LIBRARY_PATH -u XDG_STATE_HOME \
        HOME="$home" "$root/usr/lib/corvane/corvane-launch" ||
        fail "the launched program did not bind port 53: $(cat "$NETNS_DIR/launcher.err")"
    pid="$NETNS_LAST_PID"
    out="$(netns_fwd_exec dig @127.0.0.1 host.example.test +time=2 +tries=1 +noedns)" ||
        fail "dig got no answer: $out"
    grep -q '192\.0\.2\.10' <<<"$out" || fail "dig: no answer from upstream: $out"
    for name in x.ads.example.com cdn.ok.ads.example; do
        netns_fwd_exec dig @127.0.0.1 "$name" +time=1 +tries=1 +noedns >/dev/null 2>&1 || true
    done
    stopped=0
    netns_stop "$pid" 5 || stopped=$?
    [ "$stopped" -eq 0 ] || fail "exit code $stopped after SIGTERM"
    log="$home/.local/state/corvane/log.log"
    [ -f "$log" ] || fail "no log.log in the state folder"
    ! LC_ALL=C grep -aq 'Filter.DLL not loaded' "$log" || fail "the installed program did not load Filter.DLL"
    LC_ALL=C grep -aq 'block-F (x\.ads\.example\.com)' "$log" ||
        fail "the plug-in did not answer for a name of the example list: $(cat "$log")"
    LC_ALL=C grep -aq ' : cdn\.ok\.ads\.example' "$log" ||
        fail "the example's exception was not forwarded: $(cat "$log")"
    LC_ALL=C grep -aq 'host\.example\.test' "$log" || fail "log.log lacks the forwarded query"
) || status=$?
case "$status" in
0) ok "the launched program logs to the state folder and filters with the installed plug-in and example list" ;;
77) need_root+=("the program in private namespaces") ;;
*) exit "$status" ;;
esac

if [ ${#need_root[@]} -gt 0 ]; then
    echo "skipped (needs root): ${need_root[*]}"
    exit 77
fi
