#!/usr/bin/env bash
# Proves the two set-up commands on a stock Debian 12: makes a minimal root
# with debootstrap, puts a clean clone of this repository into it, and there
#   1. runs the install step of ./run.sh and says which packages it added;
#   2. runs ./run.sh inside a private network namespace (offscreen), where the
#      program must start and hold UDP and TCP port 53;
#   3. runs ./test.sh, as CI does, and says which packages it added.
# Needs root; takes a while (the root, the packages, three builds). Not part
# of ./test.sh.
#
#   sudo scripts/stock-debian.sh [--root DIR] [--keep]
#       --root DIR  where to make the root (default: build/stock-debian)
#       --keep      leave the root in place afterwards (it is removed otherwise)
#
# The forwarder never runs in the machine's own network namespace: step 2 is
# `unshare -n`, with nothing in it but a loopback that is down, so even the
# upstream 8.8.8.8 is unreachable. Step 3's end-to-end tests make their own
# private namespaces, as they do everywhere.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
root="$repo/build/stock-debian"
keep=0
while [ $# -gt 0 ]; do
    case "$1" in
    --root) root="$(realpath -m "$2")"; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--root DIR] [--keep]" >&2; exit 2 ;;
    esac
done
[ "$(id -u)" -eq 0 ] || { echo "stock-debian: needs root" >&2; exit 2; }

# The same mirror apt uses on this machine.
mirror="$(awk '/^URIs:/ && !/security/ {print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)"
if [ -z "$mirror" ]; then
    mirror="$(awk '$1 == "deb" && $0 !~ /security/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)"
fi
mirror="${mirror:-http://deb.debian.org/debian}"

source "$repo/scripts/deps.sh"
corvane_install_missing debootstrap

mounts=()
run_pid=""
cleanup() {
    if [ -n "$run_pid" ]; then
        kill -TERM "$run_pid" 2>/dev/null || true
    fi
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount -l "${mounts[$i]}" 2>/dev/null || true
    done
    if [ "$keep" -eq 0 ] && [ -d "$root" ]; then
        rm -rf --one-file-system "$root"
    fi
}
trap cleanup EXIT

mount_in_root() { # TYPE-OR-BIND SOURCE TARGET
    mkdir -p "$3"
    if [ "$1" = bind ]; then
        mount --bind "$2" "$3"
    else
        mount -t "$1" "$2" "$3"
    fi
    mounts+=("$3")
}

echo "== stock Debian 12 root in $root (mirror $mirror) =="
if [ ! -x "$root/usr/bin/apt-get" ]; then
    rm -rf --one-file-system "$root"
    mkdir -p "$root"
    debootstrap --variant=minbase bookworm "$root" "$mirror" >"$repo/build/stock-debian.debootstrap.log" 2>&1 ||
        { tail -20 "$repo/build/stock-debian.debootstrap.log"; exit 1; }
fi
# The root is a mount point of its own, so that the namespace scripts inside
# can make / private and remount it, as on a real machine.
mount_in_root bind "$root" "$root"
mount_in_root proc proc "$root/proc"
mount_in_root sysfs sys "$root/sys"
mount_in_root bind /dev "$root/dev"
mount_in_root devpts devpts "$root/dev/pts"
mount_in_root tmpfs tmpfs "$root/run"
mount_in_root tmpfs tmpfs "$root/tmp"
cp /etc/resolv.conf "$root/etc/resolv.conf"

rm -rf "$root/src/corvane"
mkdir -p "$root/src"
git clone -q --no-hardlinks "$repo" "$root/src/corvane"
echo "clone of $(git -C "$repo" rev-parse --short HEAD)"

in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 TERM=dumb /bin/bash -c "cd /src/corvane && $1"
}

installed_before="$(in_root "dpkg-query -W -f='\${Package}\n' | sort")"

echo "== 1. the install step of ./run.sh =="
in_root 'source scripts/deps.sh && corvane_install_missing "${CORVANE_BUILD_DEPS[@]}"' |
    tee "$root/tmp/step1.log" | grep -E '^Installing:' || echo "(nothing was missing)"

echo "== 2. ./run.sh in a private network namespace =="
unshare -n chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen /bin/bash -c 'cd /tmp && exec /src/corvane/run.sh' \
    >"$root/tmp/run.out" 2>&1 &
run_pid=$!
# Up to 40 minutes for the build; then UDP and TCP port 53 (0035) must be bound.
held=0
for ((i = 0; i < 2400; i++)); do
    if ! kill -0 "$run_pid" 2>/dev/null; then
        break
    fi
    if nsenter -t "$run_pid" -n cat /proc/net/udp 2>/dev/null | grep -q ' 00000000:0035 ' &&
        nsenter -t "$run_pid" -n cat /proc/net/tcp 2>/dev/null | grep -q ' 00000000:0035 '; then
        held=1
        break
    fi
    sleep 1
done
if [ "$held" -eq 1 ]; then
    # One query over the loopback of that namespace: the program takes it and
    # logs it, though its forward can go nowhere (the namespace has no route).
    nsenter -t "$run_pid" -n ip link set lo up
    nsenter -t "$run_pid" -n bash -c \
        'printf "\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00\x04stock\x04test\x00\x00\x01\x00\x01" >/dev/udp/127.0.0.1/53'
    sleep 1
    kill -TERM "$run_pid"
    wait "$run_pid" && status=0 || status=$?
    run_pid=""
    echo "run.sh: the program started and held UDP and TCP port 53; SIGTERM ended it with status $status"
    echo "its log.log:"
    # A forward that cannot be sent leaves no line, and the file is opened
    # with the first line: here, no route to the upstream, so no file.
    sed 's/^/    /' "$root/tmp/log.log" 2>/dev/null ||
        echo "    (none: the namespace has no route to the upstream, and a query whose forward fails leaves no line)"
    [ "$status" -eq 0 ] || { echo "FAIL: exit status $status"; exit 1; }
else
    tail -30 "$root/tmp/run.out"
    echo "FAIL: run.sh did not bring the program up on port 53"
    exit 1
fi

echo "== 3. ./test.sh =="
if in_root './test.sh' >"$root/tmp/test.out" 2>&1; then
    test_status=0
else
    test_status=$?
fi
cp "$root/tmp/test.out" "$repo/build/stock-debian.test.out"
grep -E '^Installing:|tests passed|fuzz: done' "$root/tmp/test.out" || true
installed_after="$(in_root "dpkg-query -W -f='\${Package}\n' | sort")"
added="$(comm -13 <(echo "$installed_before") <(echo "$installed_after") | wc -l)"
echo "packages a stock root lacked: $(grep -h '^Installing:' "$root/tmp/step1.log" "$root/tmp/test.out" |
    sed 's/^Installing: //' | tr '\n' ' ')"
echo "($added packages in all, with what they depend on)"
if [ "$test_status" -ne 0 ]; then
    grep -E '^(FAIL|not ok)|\*\*\*Failed|tests FAILED' -A3 "$root/tmp/test.out" || tail -40 "$root/tmp/test.out"
    echo "FAIL: ./test.sh ended with status $test_status (its whole output: build/stock-debian.test.out)"
    exit 1
fi
echo "stock Debian 12: both set-up commands passed"
