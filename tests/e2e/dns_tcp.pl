#!/usr/bin/perl
# TCP clients for the end-to-end tests of DNS over TCP, each bounded in count
# and time. Every message on the wire follows its two-byte length.
# Usage: dns_tcp.pl MODE SERVER PORT ARGS...
#   pipeline N NAME   N queries for NAME written at once on one connection;
#                     prints "answered K" once K answers with the IDs sent
#                     came back (exit 3 when not all within 10 s)
#   hold N SECONDS [GAP]
#                     opens N connections, prints "held N" when all are
#                     open, keeps them SECONDS, then prints how many the
#                     server closed meanwhile: "closed K"; with GAP, closes
#                     them one at a time, GAP seconds apart, oldest first
#   cap N             opens N connections and one more; prints "extra closed"
#                     when the server ends the extra one within 3 s, else
#                     "extra open"
#   stall             connects, sends one byte of a length and nothing more;
#                     prints "closed after S" (seconds) when the server ends
#                     it within 30 s, else "open"
#   noread NAME       sends TXT queries for NAME (at most 4000, paced) and never
#                     reads; prints "closed after K" when a send fails
#                     because the server gave up on it, else "open"
#   halfclose NAME    sends one query for NAME, shuts down its sending side
#                     and reads: prints "answered" when the answer with its ID
#                     came within 10 s, else "no answer"; then "ended" when
#                     the server closed the connection within 5 s more, else
#                     "open"
#   trickle           sends the length of a 64-byte message, then one byte of
#                     it every 2 s; prints "closed after S" (seconds since
#                     the first byte) when the server ends it within 30 s,
#                     else "open"
#   once NAME         sends one query for NAME and waits 3 s: prints
#                     "reply K" (its length) or "no reply"
use strict;
use warnings;
use Socket;
use IO::Select;
use Time::HiRes qw(time sleep);
use File::Basename ();
use lib File::Basename::dirname(__FILE__);
use DnsUdp qw(dns_query);

my ($mode, $server, $port, @args) = @ARGV;
die "usage: dns_tcp.pl MODE SERVER PORT ARGS...\n" unless defined $port;
$SIG{PIPE} = 'IGNORE';

sub tcp_connect {
    my ($rcvbuf) = @_;
    socket(my $s, PF_INET, SOCK_STREAM, getprotobyname('tcp')) or die "socket: $!";
    setsockopt($s, SOL_SOCKET, SO_RCVBUF, $rcvbuf) or die "rcvbuf: $!" if $rcvbuf;
    connect($s, sockaddr_in($port, inet_aton($server))) or die "connect: $!";
    return $s;
}

sub framed { my ($m) = @_; return pack('n', length $m) . $m; }

# True when the server has ended the connection: readable, and a read gives
# end of stream or an error.
sub ended {
    my ($s, $wait) = @_;
    return 0 unless IO::Select->new($s)->can_read($wait);
    my $got = sysread($s, my $buf, 65536);
    return !defined $got || $got == 0;
}

sub pipeline {
    my ($count, $name) = @_;
    my $s = tcp_connect();
    my %want = map { (0x4000 + $_) => 1 } 1 .. $count;
    my $all = join('', map { framed(dns_query($_, 0, $name)) } sort keys %want);
    syswrite($s, $all) == length $all or die "write: $!";
    my ($buf, $deadline) = ('', time + 10);
    while (%want && time < $deadline) {
        last unless IO::Select->new($s)->can_read($deadline - time);
        my $got = sysread($s, $buf, 65536, length $buf);
        last unless $got;
        while (length $buf >= 2 && length $buf >= 2 + unpack('n', $buf)) {
            my $len = unpack('n', $buf);
            my $id = unpack('n', substr($buf, 2, 2));
            delete $want{$id} if $len >= 12;
            substr($buf, 0, 2 + $len) = '';
        }
    }
    print "answered ", $count - scalar(keys %want), "\n";
    exit(%want ? 3 : 0);
}

sub hold {
    my ($count, $seconds, $gap) = @_;
    my @held = map { tcp_connect() } 1 .. $count;
    $| = 1;
    print "held $count\n";
    sleep $seconds;
    my $closed = grep { ended($_, 0) } @held;
    print "closed $closed\n";
    return unless $gap;
    for my $s (@held) {
        close $s;
        sleep $gap;
    }
}

sub cap {
    my ($count) = @_;
    my @held = map { tcp_connect() } 1 .. $count;
    my $extra = tcp_connect();
    print ended($extra, 3) ? "extra closed\n" : "extra open\n";
}

sub stall {
    my $s = tcp_connect();
    syswrite($s, "\0");
    my $start = time;
    my $closed = ended($s, 30);
    printf $closed ? "closed after %d\n" : "open\n", time - $start;
}

sub noread {
    my ($name) = @_;
    my $s = tcp_connect(4096);
    # dns_query asks for type A; the long answers are TXT (16).
    my $query = dns_query(0x5000, 0, $name);
    substr($query, -4, 2) = pack('n', 16);
    $query = framed($query);
    for my $sent (1 .. 4000) {
        my $put = syswrite($s, $query);
        if (!defined $put) {
            print "closed after $sent\n";
            return;
        }
        sleep 0.005;
    }
    print "open\n";
}

# Reads one framed message within WAIT seconds; undef when none came whole.
sub read_message {
    my ($s, $wait) = @_;
    my ($buf, $deadline) = ('', time + $wait);
    while (length $buf < 2 || length $buf < 2 + unpack('n', $buf)) {
        my $left = $deadline - time;
        return undef if $left <= 0 || !IO::Select->new($s)->can_read($left);
        my $got = sysread($s, $buf, 65536, length $buf);
        return undef unless $got;
    }
    return substr($buf, 2, unpack('n', $buf));
}

sub halfclose {
    my ($name) = @_;
    my $s = tcp_connect();
    my $query = framed(dns_query(0x4242, 0, $name));
    syswrite($s, $query) == length $query or die "write: $!";
    shutdown($s, 1) or die "shutdown: $!";
    my $answer = read_message($s, 10);
    print defined $answer && length $answer >= 12 && unpack('n', $answer) == 0x4242
        ? "answered\n" : "no answer\n";
    print ended($s, 5) ? "ended\n" : "open\n";
}

sub trickle {
    my $s = tcp_connect();
    syswrite($s, pack('n', 64));
    my $start = time;
    while (time - $start < 30) {
        if (ended($s, 2)) {
            printf "closed after %d\n", time - $start;
            return;
        }
        if (!defined syswrite($s, 'x')) {
            printf "closed after %d\n", time - $start;
            return;
        }
    }
    print "open\n";
}

sub once {
    my ($name) = @_;
    my $s = tcp_connect();
    my $query = framed(dns_query(0x5151, 0, $name));
    syswrite($s, $query) == length $query or die "write: $!";
    my $reply = read_message($s, 3);
    print defined $reply ? "reply " . length($reply) . "\n" : "no reply\n";
}

my %modes = (pipeline => \&pipeline, hold => \&hold, cap => \&cap, stall => \&stall,
             noread => \&noread, halfclose => \&halfclose, trickle => \&trickle,
             once => \&once);
my $run = $modes{$mode} or die "unknown mode $mode\n";
$run->(@args);
