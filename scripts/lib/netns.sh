# shellcheck shell=bash
# Private network namespaces for end-to-end tests. Source this file; needs root.
#
# The program under test forwards to 8.8.8.8, so it must never run in the
# machine's own network namespace. This harness builds a closed world of two
# namespaces joined by one veth pair and linked to nothing else:
#
#   forwarder ns  lo (up), veth-fwd 192.0.2.1/30; its ONLY route is
#                 8.8.8.8/32 via 192.0.2.2. No default route, no other link.
#   upstream ns   lo (up) carrying 8.8.8.8/32, veth-up 192.0.2.2/30; runs the
#                 stand-in resolver on 8.8.8.8:53 (or a silent one, or none).
#
# Nothing is connected to the host, so nothing sent in here can leave.
#
# Functions:
#   netns_setup                      build both namespaces; installs the EXIT trap
#   netns_fwd_exec CMD...            run CMD in the forwarder namespace (foreground)
#   netns_up_exec CMD...             run CMD in the upstream namespace (foreground)
#   netns_fwd_exec_libc CONF CMD...  as netns_fwd_exec, in a mount namespace of
#                                    CMD's own where /etc/resolv.conf is the file
#                                    CONF and nsswitch.conf's hosts line is
#                                    "files dns": the C library (getent, curl)
#                                    asks only the servers CONF names
#   netns_start_upstream [ARGS...]   local resolver on 8.8.8.8:53 (dnsmasq), extra
#                                    dnsmasq ARGS appended; records below
#   netns_start_silent_upstream      8.8.8.8:53 reads every datagram and answers
#                                    none; each one is logged to NETNS_SILENT_LOG
#                                    as "ADDR PORT LENGTH HEX" (HEX: the whole
#                                    datagram, lower-case hexadecimal)
#   netns_start_upstream_cmd NAME CMD...
#                                    any other stand-in on 8.8.8.8:53: stops
#                                    whichever upstream runs, starts CMD in the
#                                    upstream namespace (output to NAME.out and
#                                    NAME.err) and waits until it has bound UDP 53
#   netns_stop_upstream              stop whichever upstream runs
#   netns_fwd_start NAME CMD...      start CMD in the background in the forwarder
#                                    namespace, in directory NETNS_CWD (default:
#                                    the current one); stdout and stderr go to
#                                    $NETNS_DIR/NAME.out and NAME.err; the pid is
#                                    left in NETNS_LAST_PID
#   netns_fwd_start_udp PORT NAME CMD...
#                                    as netns_fwd_start, then wait until that very
#                                    process has bound UDP PORT
#   netns_fwd_hold_udp_port PORT     bind UDP 0.0.0.0:PORT in the forwarder
#                                    namespace and keep it, so nobody else can
#   netns_wait_udp_port NS PORT [PID]
#                                    wait until UDP PORT is bound in NS (by PID,
#                                    when given); fails early if PID has died
#   netns_wait_tcp_port NS PORT PID  wait until PID listens on TCP PORT in NS
#   netns_alive PID                  true while PID runs (a zombie counts as ended)
#   netns_stop PID [SECONDS]         SIGTERM, wait at most SECONDS (default 5),
#                                    then SIGKILL; returns the exit status
#   netns_teardown                   kill everything started, delete both
#                                    namespaces; runs from the EXIT trap, and may
#                                    be called earlier (it is idempotent)
#
# For the *_test.sh scripts, which get the program under test as argument:
#   netns_program_arg PATH           CORVANE_BINARY := PATH made absolute; exits
#                                    with the usage without PATH, and fails
#                                    unless it is an executable
#   fail MESSAGE...                  print "FAIL MESSAGE..." and exit 1
#
# Records of netns_start_upstream: host.example.test A 192.0.2.10 (no AAAA),
# any name under wild.test A 192.0.2.99, every other name NXDOMAIN.
#
# Without root, or where namespaces cannot be made, netns_setup exits with 77
# (CTest: skipped); the program is then not started at all.
#
# Waits are bounded: NETNS_WAIT_TRIES polls (default 50) of 0.1 s each.
#
# Example:
#   source "$repo/scripts/lib/netns.sh"
#   netns_setup
#   netns_start_upstream
#   NETNS_CWD="$work" netns_fwd_start_udp 53 corvane "$binary"
#   netns_fwd_exec dig @127.0.0.1 host.example.test +time=2 +tries=1

if [ -n "${NETNS_HARNESS_LOADED:-}" ]; then
    return 0
fi
NETNS_HARNESS_LOADED=1

NETNS_FWD="corvane-fwd-$$"
NETNS_UP="corvane-up-$$"
NETNS_FWD_ADDR=192.0.2.1
NETNS_UP_ADDR=192.0.2.2
NETNS_UPSTREAM=8.8.8.8
NETNS_WAIT_TRIES="${NETNS_WAIT_TRIES:-50}"
NETNS_DIR=""
NETNS_SILENT_LOG=""
NETNS_LAST_PID=""
NETNS_UPSTREAM_PID=""
NETNS_PIDS=()
NETNS_CREATED=()
NETNS_READY=0

netns_log() {
    echo "netns: $*" >&2
}

netns_die() {
    netns_log "$*"
    exit 1
}

fail() {
    echo "FAIL $*"
    exit 1
}

netns_program_arg() {
    local binary="${1:?usage: $(basename "$0") PATH-TO-corvane}"
    CORVANE_BINARY="$(cd "$(dirname "$binary")" && pwd)/$(basename "$binary")"
    [ -x "$CORVANE_BINARY" ] || netns_die "not an executable: $CORVANE_BINARY"
}

# Every command that starts something goes through here, so that nothing can
# run before the namespaces exist and have been checked.
netns_require_ready() {
    if [ "$NETNS_READY" != 1 ]; then
        netns_die "namespaces are not set up (call netns_setup first)"
    fi
}

# Namespaces of earlier runs whose shell died without its EXIT trap (SIGKILL,
# a test timeout): the pid in the name no longer runs, so they are ours to
# clear, with whatever was left running inside them.
netns_remove_stale() {
    local ns owner pid
    for ns in $(ip netns list 2>/dev/null | awk '{print $1}'); do
        case "$ns" in
        corvane-fwd-* | corvane-up-* | corvane-att-*) owner="${ns##*-}" ;;
        *) continue ;;
        esac
        [[ "$owner" =~ ^[0-9]+$ ]] || continue
        [ -e "/proc/$owner" ] && continue
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            kill -KILL "$pid" 2>/dev/null
        done
        ip netns del "$ns" 2>/dev/null && netns_log "removed stale namespace $ns"
    done
    return 0
}

# Exit status that CTest reports as "skipped" (SKIP_RETURN_CODE).
NETNS_SKIP=77

netns_setup() {
    if [ "$(id -u)" -ne 0 ]; then
        netns_log "skipped: network namespaces need root"
        exit "$NETNS_SKIP"
    fi
    local tool
    for tool in ip ss; do
        command -v "$tool" >/dev/null || netns_die "missing tool: $tool"
    done
    trap netns_teardown EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP
    netns_remove_stale

    NETNS_DIR="$(mktemp -d "${TMPDIR:-/tmp}/corvane-netns.XXXXXX")" ||
        netns_die "cannot make a temp dir"
    NETNS_SILENT_LOG="$NETNS_DIR/silent-upstream.log"
    # The program's window toolkit wants a private runtime folder, as a
    # desktop session provides; without one it complains on stderr.
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        export XDG_RUNTIME_DIR="$NETNS_DIR/runtime"
        mkdir -m 0700 "$XDG_RUNTIME_DIR"
    fi

    if ! ip netns add "$NETNS_FWD"; then
        netns_log "skipped: this system does not let us create network namespaces"
        exit "$NETNS_SKIP"
    fi
    NETNS_CREATED+=("$NETNS_FWD")
    ip netns add "$NETNS_UP" || netns_die "cannot create $NETNS_UP"
    NETNS_CREATED+=("$NETNS_UP")

    netns_prepare "$NETNS_FWD"
    netns_prepare "$NETNS_UP"

    # The pair is created inside the forwarder namespace with its peer put
    # straight into the upstream one: neither end ever exists in the host's.
    ip -n "$NETNS_FWD" link add veth-fwd type veth peer name veth-up netns "$NETNS_UP" ||
        netns_die "cannot create the veth pair"
    # shellcheck disable=SC2015 # any failing step ends the setup
    # noprefixroute: the subnet route is left out, so 8.8.8.8 is the only
    # destination the forwarder namespace can reach.
    ip -n "$NETNS_FWD" addr add "$NETNS_FWD_ADDR/30" dev veth-fwd noprefixroute &&
        ip -n "$NETNS_FWD" link set veth-fwd up &&
        ip -n "$NETNS_UP" addr add "$NETNS_UP_ADDR/30" dev veth-up &&
        ip -n "$NETNS_UP" addr add "$NETNS_UPSTREAM/32" dev lo &&
        ip -n "$NETNS_UP" link set veth-up up &&
        ip -n "$NETNS_FWD" route add "$NETNS_UPSTREAM/32" via "$NETNS_UP_ADDR" dev veth-fwd onlink ||
        netns_die "cannot configure addresses and routes"

    netns_check_isolation || netns_die "isolation check failed; refusing to go on"
    NETNS_READY=1
}

# A namespace just made: IPv4 only inside (no link-local IPv6 routes beside
# the ones we add), lo raised.
netns_prepare() {
    local ns="$1"
    # shellcheck disable=SC2016 # expanded by the inner shell
    ip netns exec "$ns" sh -c \
        'for k in all default; do
             f=/proc/sys/net/ipv6/conf/$k/disable_ipv6
             [ -w "$f" ] && echo 1 >"$f"
         done; true'
    ip -n "$ns" link set lo up || netns_die "cannot raise lo in $ns"
}

# The names of the links in namespace NS, sorted, each followed by a space.
netns_links() {
    ip -n "$1" -o link show | awk -F': ' '{print $2}' | sed 's/@.*//' | sort | tr '\n' ' '
}

# True when the forwarder namespace can reach 8.8.8.8 through the veth pair
# and nothing else, and the upstream namespace has no way out either.
netns_check_isolation() {
    local routes links
    routes="$(ip -n "$NETNS_FWD" -4 route show table main | sed 's/ *$//')"
    if [ "$routes" != "$NETNS_UPSTREAM via $NETNS_UP_ADDR dev veth-fwd onlink" ]; then
        netns_log "unexpected routes in $NETNS_FWD: $routes"
        return 1
    fi
    local ns
    for ns in "$NETNS_FWD" "$NETNS_UP"; do
        if ip -n "$ns" route show table all | grep -q '^default'; then
            netns_log "default route in $ns"
            return 1
        fi
        if ip -n "$ns" -6 route show table all 2>/dev/null | grep -q '^default'; then
            netns_log "IPv6 default route in $ns"
            return 1
        fi
    done
    links="$(netns_links "$NETNS_FWD")"
    if [ "$links" != "lo veth-fwd " ]; then
        netns_log "unexpected links in $NETNS_FWD: $links"
        return 1
    fi
    links="$(netns_links "$NETNS_UP")"
    if [ "$links" != "lo veth-up " ]; then
        netns_log "unexpected links in $NETNS_UP: $links"
        return 1
    fi
    return 0
}

# True while PID runs. A child that has ended but not been waited for still
# answers kill -0, so the process state decides.
netns_alive() {
    local stat
    stat="$(cat "/proc/$1/stat" 2>/dev/null)" || return 1
    stat="${stat##*) }"
    [ -n "$stat" ] && [ "${stat%% *}" != Z ] && [ "${stat%% *}" != X ]
}

netns_fwd_exec() {
    netns_require_ready
    ip netns exec "$NETNS_FWD" "$@"
}

netns_up_exec() {
    netns_require_ready
    ip netns exec "$NETNS_UP" "$@"
}

# The machine's own files stay as they are: the bind mounts exist only in the
# new mount namespace (private, so nothing propagates back). The hosts line
# is replaced because its other sources (nss-resolve, mDNS, nscd) talk over
# local sockets to daemons outside the namespaces, which would ask the real
# network; an nscd socket is hidden for the same reason.
netns_fwd_exec_libc() {
    netns_require_ready
    local conf="$1" nss="$NETNS_DIR/nsswitch.conf"
    shift
    { grep -v '^[[:space:]]*hosts:' /etc/nsswitch.conf 2>/dev/null || true; echo 'hosts: files dns'; } >"$nss"
    # shellcheck disable=SC2016 # expanded by the inner shell
    ip netns exec "$NETNS_FWD" unshare --mount --propagation private sh -c '
        mount --bind "$1" /etc/resolv.conf || exit 1
        if [ -e /etc/nsswitch.conf ]; then mount --bind "$2" /etc/nsswitch.conf || exit 1; fi
        if [ -d /run/nscd ]; then mount -t tmpfs -o size=64k none /run/nscd || exit 1; fi
        shift 2
        exec "$@"' netns-libc "$conf" "$nss" "$@"
}

# netns_start_in NS NAME CMD...: the common part of the background starters.
netns_start_in() {
    netns_require_ready
    local ns="$1" name="$2"
    shift 2
    local cwd="${NETNS_CWD:-$PWD}"
    # ip netns exec replaces itself with CMD, so $! is CMD's own pid.
    (cd "$cwd" && exec ip netns exec "$ns" "$@") \
        >"$NETNS_DIR/$name.out" 2>"$NETNS_DIR/$name.err" &
    NETNS_LAST_PID=$!
    NETNS_PIDS+=("$NETNS_LAST_PID")
}

netns_fwd_start() {
    netns_start_in "$NETNS_FWD" "$@"
}

netns_wait_udp_port() {
    local ns="$1" port="$2" pid="${3:-}" i listing
    for ((i = 0; i < NETNS_WAIT_TRIES; i++)); do
        listing="$(ip netns exec "$ns" ss -Hulnp "sport = :$port" 2>/dev/null)"
        if [ -n "$pid" ]; then
            if grep -q "pid=$pid," <<<"$listing"; then
                return 0
            fi
            if ! netns_alive "$pid"; then
                netns_log "process $pid ended before binding UDP port $port"
                return 1
            fi
        elif [ -n "$listing" ]; then
            return 0
        fi
        sleep 0.1
    done
    netns_log "UDP port $port not bound in $ns${pid:+ by $pid} in time"
    return 1
}

netns_wait_tcp_port() {
    local ns="$1" port="$2" pid="$3" i
    for ((i = 0; i < NETNS_WAIT_TRIES; i++)); do
        ip netns exec "$ns" ss -Htlnp "sport = :$port" 2>/dev/null | grep -q "pid=$pid," && return 0
        sleep 0.1
    done
    netns_log "TCP port $port not listened on in $ns by $pid in time"
    return 1
}

netns_fwd_start_udp() {
    local port="$1"
    shift
    netns_fwd_start "$@"
    netns_wait_udp_port "$NETNS_FWD" "$port" "$NETNS_LAST_PID"
}

# A UDP socket that reads and drops. perl-base is part of every Debian system.
# shellcheck disable=SC2016 # perl code, not shell
netns_udp_sink_script='
use strict;
use IO::Socket::INET;
my ($addr, $port, $log) = @ARGV;
my $s = IO::Socket::INET->new(LocalAddr => $addr, LocalPort => $port, Proto => "udp")
    or die "bind $addr:$port: $!\n";
my $out;
if ($log) { open($out, ">>", $log) or die "$log: $!\n"; $out->autoflush(1); }
while (1) {
    my $from = $s->recv(my $buf, 65535);
    next unless defined $from && length $from;
    my ($p, $a) = sockaddr_in($from);
    printf $out "%s %d %d %s\n", inet_ntoa($a), $p, length $buf, unpack("H*", $buf) if $out;
}'

netns_fwd_hold_udp_port() {
    local port="$1"
    netns_fwd_start "hold-udp-$port" perl -e "$netns_udp_sink_script" 0.0.0.0 "$port" ""
    netns_wait_udp_port "$NETNS_FWD" "$port" "$NETNS_LAST_PID"
}

netns_start_upstream_cmd() {
    netns_require_ready
    netns_stop_upstream
    local name="$1"
    shift
    netns_start_in "$NETNS_UP" "$name" "$@"
    NETNS_UPSTREAM_PID="$NETNS_LAST_PID"
    netns_wait_udp_port "$NETNS_UP" 53 "$NETNS_UPSTREAM_PID"
}

# shellcheck disable=SC2120 # extra dnsmasq arguments are optional
netns_start_upstream() {
    netns_require_ready
    command -v dnsmasq >/dev/null || netns_die "missing tool: dnsmasq (package dnsmasq-base)"
    # No configuration, resolv.conf or hosts file of the machine is read, and
    # there is no server to forward to: every answer comes from the records
    # given here.
    netns_start_upstream_cmd upstream dnsmasq \
        --conf-file=/dev/null --keep-in-foreground --no-resolv --no-hosts --no-poll \
        --listen-address="$NETNS_UPSTREAM" --bind-interfaces --port=53 \
        --pid-file="$NETNS_DIR/upstream.pid" --log-facility="$NETNS_DIR/upstream.log" \
        --log-queries --local-ttl=60 \
        --host-record=host.example.test,192.0.2.10 \
        --address=/wild.test/192.0.2.99 \
        --address=/#/ \
        "$@"
}

netns_start_silent_upstream() {
    netns_require_ready
    netns_stop_upstream
    : >"$NETNS_SILENT_LOG"
    netns_start_upstream_cmd silent-upstream \
        perl -e "$netns_udp_sink_script" "$NETNS_UPSTREAM" 53 "$NETNS_SILENT_LOG"
}

netns_stop_upstream() {
    if [ -n "$NETNS_UPSTREAM_PID" ]; then
        netns_stop "$NETNS_UPSTREAM_PID" >/dev/null 2>&1 || true
        NETNS_UPSTREAM_PID=""
    fi
}

netns_stop() {
    local pid="$1" seconds="${2:-5}" i status=0
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < seconds * 10; i++)); do
        netns_alive "$pid" || break
        sleep 0.1
    done
    if netns_alive "$pid"; then
        netns_log "process $pid ignored SIGTERM for ${seconds}s; killing it"
        kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || status=$?
    return "$status"
}

netns_teardown() {
    local status=$?
    set +e
    local pid ns i
    for pid in "${NETNS_PIDS[@]}"; do
        kill -TERM "$pid" 2>/dev/null
    done
    for ((i = 0; i < 30; i++)); do
        local alive=0
        for pid in "${NETNS_PIDS[@]}"; do
            netns_alive "$pid" && alive=1
        done
        [ "$alive" = 0 ] && break
        sleep 0.1
    done
    for pid in "${NETNS_PIDS[@]}"; do
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    NETNS_PIDS=()
    NETNS_UPSTREAM_PID=""
    # Anything still inside the namespaces was started from here (by a
    # command run through netns_*_exec), so it goes too.
    for ns in "${NETNS_CREATED[@]}"; do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            kill -KILL "$pid" 2>/dev/null
        done
        ip netns del "$ns" 2>/dev/null || netns_log "could not delete namespace $ns"
    done
    NETNS_CREATED=()
    NETNS_READY=0
    if [ -n "$NETNS_DIR" ] && [ -d "$NETNS_DIR" ]; then
        if [ "$status" -ne 0 ]; then
            local f
            for f in "$NETNS_DIR"/*; do
                if [ ! -f "$f" ] || [ ! -s "$f" ] || [ "${f%.pid}" != "$f" ]; then
                    continue
                fi
                echo "---- $(basename "$f")" >&2
                tail -n 40 "$f" >&2
            done
        fi
        rm -rf "$NETNS_DIR"
    fi
    NETNS_DIR=""
    return "$status"
}

# ---------------------------------------------------------------------------
# A third namespace for tests that need a stranger on the network: a client
# that is not on the forwarder's own machine, or an attacker.
#
#   attacker ns   lo (up), veth-att 198.51.100.2/24; routes: its own subnet
#                 and 192.0.2.1/32 via 198.51.100.1 (the forwarder's other
#                 address). Nothing else: 8.8.8.8 is out of its reach.
#   forwarder ns  gains veth-fa 198.51.100.1/24 and the subnet route; IP
#                 forwarding stays off, so it routes nothing between the two.
#
# Functions:
#   netns_add_attacker               build it (after netns_setup)
#   netns_att_exec CMD...            run CMD in the attacker namespace
#   netns_att_start NAME CMD...      as netns_fwd_start, in the attacker namespace
NETNS_ATT="corvane-att-$$"
NETNS_ATT_ADDR=198.51.100.2
NETNS_FWD_ATT_ADDR=198.51.100.1

netns_add_attacker() {
    netns_require_ready
    ip netns add "$NETNS_ATT" || netns_die "cannot create $NETNS_ATT"
    NETNS_CREATED+=("$NETNS_ATT")
    netns_prepare "$NETNS_ATT"
    ip netns exec "$NETNS_FWD" sh -c 'echo 0 >/proc/sys/net/ipv4/ip_forward' ||
        netns_die "cannot turn IP forwarding off in $NETNS_FWD"
    ip -n "$NETNS_FWD" link add veth-fa type veth peer name veth-att netns "$NETNS_ATT" ||
        netns_die "cannot create the attacker's veth pair"
    # shellcheck disable=SC2015 # any failing step ends the setup
    ip -n "$NETNS_FWD" addr add "$NETNS_FWD_ATT_ADDR/24" dev veth-fa &&
        ip -n "$NETNS_FWD" link set veth-fa up &&
        ip -n "$NETNS_ATT" addr add "$NETNS_ATT_ADDR/24" dev veth-att &&
        ip -n "$NETNS_ATT" link set veth-att up &&
        ip -n "$NETNS_ATT" route add "$NETNS_FWD_ADDR/32" via "$NETNS_FWD_ATT_ADDR" dev veth-att ||
        netns_die "cannot configure the attacker's addresses and routes"

    local routes links
    routes="$(ip -n "$NETNS_ATT" -4 route show table main | sed 's/ *$//' | sort | tr '\n' ';')"
    if [ "$routes" != "$NETNS_FWD_ADDR via $NETNS_FWD_ATT_ADDR dev veth-att;198.51.100.0/24 dev veth-att proto kernel scope link src $NETNS_ATT_ADDR;" ]; then
        netns_die "unexpected routes in $NETNS_ATT: $routes"
    fi
    if ip -n "$NETNS_ATT" route show table all | grep -q '^default'; then
        netns_die "default route in $NETNS_ATT"
    fi
    links="$(netns_links "$NETNS_ATT")"
    [ "$links" = "lo veth-att " ] || netns_die "unexpected links in $NETNS_ATT: $links"
    [ "$(ip netns exec "$NETNS_FWD" cat /proc/sys/net/ipv4/ip_forward)" = 0 ] ||
        netns_die "IP forwarding is on in $NETNS_FWD"
}

netns_att_exec() {
    netns_require_ready
    ip netns exec "$NETNS_ATT" "$@"
}

netns_att_start() {
    netns_start_in "$NETNS_ATT" "$@"
}
