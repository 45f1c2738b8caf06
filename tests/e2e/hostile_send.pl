#!/usr/bin/perl
# The traffic of the hostile-traffic test. Every mode is bounded in count and
# in time, and paces itself so that the receiver's socket is not overrun.
#
#   malformed DEST PORT RANDOM-COUNT SEED
#       Hand-made malformed queries, 20 queries from clients that close
#       their socket at once (their answers are refused), then RANDOM-COUNT
#       datagrams of random bytes and lengths (0 to 2100, from SEED). Prints
#       one line "sent N forwardable F" (F: those of 12 to 2048 bytes).
#   flood BIND-ADDR FIRST-PORT COUNT PER-PORT DEST PORT PREFIX
#       From each of COUNT source ports FIRST-PORT, FIRST-PORT+1, ..., one
#       socket sends PER-PORT queries for PREFIX-<port>-<n>.hold.example and
#       is closed. Each query is padded with zero bytes after its question to
#       2048 bytes, the longest datagram the forwarder takes, so that whatever
#       it keeps of a datagram while the query is in flight shows. Prints
#       "sent N".
#   forge BIND-ADDR BIND-PORT DEST PORT NAME RIGHT-ID WRONG-COUNT
#       Forged answers for NAME, carrying the address 203.0.113.66: three
#       with RIGHT-ID (four hex digits, the first two bytes as they stand on
#       the wire), WRONG-COUNT with the IDs nearest to it. Prints "sent N".
#   ask [BIND-ADDR] DEST PORT NAME WAIT-SECONDS
#       One query for NAME with a random ID; then collects every datagram
#       that reaches the socket until the genuine answer (our ID, from
#       DEST:PORT, address 192.0.2.10) came and a short grace period passed,
#       or WAIT-SECONDS ran out. Prints one line per datagram and a last line
#       "genuine G forged F other O"; exits 0 when G is 1 and F and O are 0.
#   control ADDR PORT MESSAGE
#       Sends MESSAGE to a control socket and prints the reply (10 s at most).
use strict;
use warnings;
use Socket;
use IO::Select;
use File::Basename ();
use lib File::Basename::dirname(__FILE__);
use DnsUdp qw(udp_socket wire_name dns_query);

# Each line as it is printed: a test may read what came so far while the
# client still waits.
$| = 1;

my $mode = shift @ARGV // '';

sub pause_ms {
    select(undef, undef, undef, $_[0] / 1000);
}

sub header {
    my ($qdcount) = @_;
    return pack('n n n n n n', 0xBEEF, 0x0100, $qdcount, 0, 0, 0);
}

# Every shape of broken question section the forwarder must survive.
sub malformed_set {
    my @set;
    my $whole = dns_query(0x1234, 0, 'short.silent.example');
    push @set, substr($whole, 0, $_) for 0 .. 11;
    push @set, header(0), header(0xFFFF), header(0x8000), header(0x7FFF);
    # Labels running past the end, and a missing terminator.
    push @set, header(1) . "\x3Fabc";
    push @set, header(1) . "\x05ab";
    push @set, header(1) . "\xFF" . ('a' x 10);
    push @set, header(1) . "\x04cut1\x06silent\x07example";
    push @set, header(3) . wire_name('a.silent.example') . pack('n n', 1, 1) . "\x01b";
    # Type and class cut short.
    push @set, header(1) . wire_name('tc.silent.example');
    push @set, header(1) . wire_name('tc.silent.example') . "\x00";
    push @set, header(1) . wire_name('tc.silent.example') . "\x00\x01\x00";
    push @set, header(2) . wire_name('tc2.silent.example') . "\x00\x01";
    # Every byte from 0xC0 to 0xFF as a length: a compression pointer to the
    # header, and one that the bytes after it do fill.
    for my $b (0xC0 .. 0xFF) {
        push @set, header(1) . chr($b) . "\x0C";
        push @set, header(1) . chr($b) . ('p' x $b) . "\x00" . pack('n n', 1, 1);
    }
    # Pointer loops: to itself, back to an earlier label, two pointing at
    # each other, and a chain of them under a huge QDCOUNT.
    push @set, header(1) . "\xC0\x0C";
    push @set, header(1) . "\x01a\xC0\x0C";
    push @set, header(1) . "\xC0\x0E\xC0\x0C";
    push @set, header(0xFFFF) . ("\xC0\x0C" x 500);
    push @set, header(0x7FFF) . (wire_name('m.silent.example') . pack('n n', 1, 1)) x 90;
    # Lengths at and around the receive buffer's size, and the largest UDP
    # datagram there is.
    my $big = header(1) . wire_name('big.silent.example') . pack('n n', 1, 1);
    for my $length (2047, 2048, 2049, 4096, 65507) {
        push @set, $big . ("\0" x ($length - length $big));
    }
    # A name of 255-character labels, far past DNS's limits.
    push @set, header(1) . (("\xFF" . ('n' x 255)) x 7) . "\x00" . pack('n n', 1, 1);
    return @set;
}

sub forwardable {
    my ($length) = @_;
    return $length >= 12 && $length <= 2048 ? 1 : 0;
}

if ($mode eq 'malformed') {
    my ($dest, $port, $random_count, $seed) = @ARGV;
    die "usage: malformed DEST PORT RANDOM-COUNT SEED\n" unless defined $seed;
    my $s = udp_socket();
    my $to = sockaddr_in($port, inet_aton($dest));
    my ($sent, $forwardable) = (0, 0);
    for my $d (malformed_set()) {
        send($s, $d, 0, $to) // die "send: $!";
        $sent++;
        $forwardable += forwardable(length $d);
        pause_ms(2);
    }
    # Clients gone before their answer: relaying it earns the forwarder's
    # port an ICMP "port unreachable", which must cost it nothing.
    for my $i (1 .. 20) {
        my $gone = udp_socket();
        send($gone, dns_query(0x4000 + $i, 0, "gone-$i.example"), 0, $to) // die "send: $!";
        close($gone);
        $sent++;
        $forwardable++;
        pause_ms(2);
    }
    srand($seed);
    for my $i (1 .. $random_count) {
        # A third are short and mostly header, to reach the name reader with
        # every kind of count; the rest of any length up to past the buffer.
        my $length = $i % 3 ? int(rand(2101)) : int(rand(40));
        my $d = pack('C*', map { int(rand(256)) } 1 .. $length);
        send($s, $d, 0, $to) // die "send: $!";
        $sent++;
        $forwardable += forwardable($length);
        pause_ms(1) if $i % 4 == 0;
    }
    print "sent $sent forwardable $forwardable\n";
    exit 0;
}

if ($mode eq 'flood') {
    my ($bind_addr, $first_port, $count, $per_port, $dest, $port, $prefix) = @ARGV;
    die "usage: flood BIND-ADDR FIRST-PORT COUNT PER-PORT DEST PORT PREFIX\n" unless defined $prefix;
    die "flood: at most 20000 ports and 8 queries each\n" if $count > 20000 || $per_port > 8;
    my $to = sockaddr_in($port, inet_aton($dest));
    my $sent = 0;
    for my $i (0 .. $count - 1) {
        my $source_port = $first_port + $i;
        my $s = udp_socket($bind_addr, $source_port);
        for my $n (1 .. $per_port) {
            my $query = dns_query(($i * 8 + $n) & 0xFFFF, 0, "$prefix-$source_port-$n.hold.example");
            send($s, $query . ("\0" x (2048 - length $query)), 0, $to) // die "send: $!";
            $sent++;
            pause_ms(1) if $sent % 4 == 0;
        }
        close($s);
    }
    print "sent $sent\n";
    exit 0;
}

if ($mode eq 'forge') {
    my ($bind_addr, $bind_port, $dest, $port, $name, $right_hex, $wrong_count) = @ARGV;
    die "usage: forge BIND-ADDR BIND-PORT DEST PORT NAME RIGHT-ID WRONG-COUNT\n"
        unless defined $wrong_count;
    my $s = udp_socket($bind_addr, $bind_port);
    my $to = sockaddr_in($port, inet_aton($dest));
    my $right = hex $right_hex;
    my @ids = ($right);
    for my $k (1 .. $wrong_count) {
        my $step = int(($k + 1) / 2);
        push @ids, ($k % 2 ? $right + $step : $right - $step) & 0xFFFF;
    }
    push @ids, $right, $right;
    my $sent = 0;
    for my $id (@ids) {
        my $forged = pack('n n n n n n', $id, 0x8180, 1, 1, 0, 0) . wire_name($name)
            . pack('n n', 1, 1) . pack('n n n N n C4', 0xC00C, 1, 1, 3600, 4, 203, 0, 113, 66);
        send($s, $forged, 0, $to) // die "send: $!";
        pause_ms(1) if ++$sent % 16 == 0;
    }
    print "sent $sent\n";
    exit 0;
}

if ($mode eq 'ask') {
    my $bind_addr = @ARGV == 5 ? shift @ARGV : undef;
    my ($dest, $port, $name, $wait) = @ARGV;
    die "usage: ask [BIND-ADDR] DEST PORT NAME WAIT-SECONDS\n" unless defined $wait;
    my $s = udp_socket($bind_addr // '0.0.0.0', 0);
    my $id = int(rand(0xFFF0)) + 1;
    send($s, dns_query($id, 0, $name), 0, sockaddr_in($port, inet_aton($dest))) // die "send: $!";
    my ($genuine, $forged, $other) = (0, 0, 0);
    my $select = IO::Select->new($s);
    my $grace = -1;    # tenths of a second left once the genuine answer came
    for (my $tenths = 0; $tenths < $wait * 10 && $grace != 0; $tenths++) {
        $grace-- if $grace > 0;
        next unless $select->can_read(0.1);
        my $msg = '';
        my $from = recv($s, $msg, 65535, 0);
        next unless defined $from;
        my ($from_port, $from_addr) = sockaddr_in($from);
        my $source = inet_ntoa($from_addr) . " $from_port";
        my $address = length($msg) >= 4 ? join('.', unpack('C4', substr($msg, -4))) : '-';
        my $msg_id = length($msg) >= 2 ? unpack('n', $msg) : -1;
        my $kind = 'other';
        if ($address eq '203.0.113.66') {
            $kind = 'forged';
            $forged++;
        } elsif ($msg_id == $id && $source eq "$dest $port" && $address eq '192.0.2.10') {
            $kind = 'genuine';
            $genuine++;
            $grace = 3 if $grace < 0;
        } else {
            $other++;
        }
        printf "from %s id %04X length %d address %s %s\n", $source, $msg_id & 0xFFFF,
            length $msg, $address, $kind;
    }
    print "genuine $genuine forged $forged other $other\n";
    exit($genuine == 1 && $forged == 0 && $other == 0 ? 0 : 1);
}

if ($mode eq 'control') {
    my ($addr, $port, $message) = @ARGV;
    die "usage: control ADDR PORT MESSAGE\n" unless defined $message;
    my $s = udp_socket('127.0.0.1', 0);
    send($s, $message, 0, sockaddr_in($port, inet_aton($addr))) // die "send: $!";
    my $select = IO::Select->new($s);
    die "control: no reply\n" unless $select->can_read(10);
    recv($s, my $reply, 512, 0);
    print "$reply\n";
    exit 0;
}

die "usage: hostile_send.pl malformed|flood|forge|ask|control ...\n";
