#!/usr/bin/perl
# A stand-in resolver that speaks TCP, for the tests of what the upstream
# connection does. On ADDR:53 it answers every UDP query and serves TCP
# connections one at a time, answering each query with one A record,
# 192.0.2.10; MODE says what becomes of the first TCP connection:
#   cut    it reads one query, sends the length and half of its answer, and
#          closes
#   wedge  it is accepted and then never read nor answered (held open until
#          the next connection comes)
#   plain  it is served like every other
# Prints "accepted N" for the Nth TCP connection as it comes.
# Ends by itself after 90 seconds.
# Usage: tcp_upstream.pl ADDR MODE
use strict;
use warnings;
use Socket;
use IO::Select;
use File::Basename ();
use lib File::Basename::dirname(__FILE__);
use DnsUdp qw(udp_socket);

my ($addr, $mode) = @ARGV;
die "usage: tcp_upstream.pl ADDR cut|wedge|plain\n"
    unless defined $mode && $mode =~ /^(cut|wedge|plain)$/;
my $udp = udp_socket($addr, 53);
socket(my $listener, PF_INET, SOCK_STREAM, getprotobyname('tcp')) or die "socket: $!";
setsockopt($listener, SOL_SOCKET, SO_REUSEADDR, 1) or die "reuse: $!";
bind($listener, sockaddr_in(53, inet_aton($addr))) or die "bind: $!";
listen($listener, 8) or die "listen: $!";
$| = 1;
alarm 90;

# The answer to QUERY: its header as a response with one record, its
# first question, and the A record by pointer to the question's name.
sub answer {
    my ($query) = @_;
    # Up to the end of the first question: any EDNS record after it is dropped.
    my $end = 12;
    $end += 1 + ord(substr($query, $end, 1)) while $end < length $query && ord(substr($query, $end, 1));
    my $reply = substr($query, 0, $end + 5);
    substr($reply, 2, 2) = pack('n', 0x8180);
    substr($reply, 6, 6) = pack('n n n', 1, 0, 0);
    return $reply . pack('n n n N n C4', 0xC00C, 1, 1, 60, 4, 192, 0, 2, 10);
}

sub read_exactly {
    my ($s, $count) = @_;
    my $buf = '';
    while (length $buf < $count) {
        my $got = sysread($s, $buf, $count - length $buf, length $buf);
        return undef unless $got;
    }
    return $buf;
}

sub serve {
    my ($client, $first) = @_;
    while (defined(my $prefix = read_exactly($client, 2))) {
        my $query = read_exactly($client, unpack('n', $prefix));
        last unless defined $query && length $query >= 12;
        my $reply = answer($query);
        if ($first && $mode eq 'cut') {
            syswrite($client, pack('n', length $reply) . substr($reply, 0, length($reply) / 2));
            last;
        }
        syswrite($client, pack('n', length $reply) . $reply);
    }
}

my ($connections, $wedged) = (0, undef);
my $ready = IO::Select->new($udp, $listener);
while (1) {
    for my $s ($ready->can_read) {
        if ($s == $udp) {
            my $from = recv($udp, my $query, 65535, 0);
            send($udp, answer($query), 0, $from) if defined $from && length $query >= 12;
            next;
        }
        accept(my $client, $listener) or next;
        $connections++;
        print "accepted $connections\n";
        if ($connections == 1 && $mode eq 'wedge') {
            $wedged = $client;
            next;
        }
        serve($client, $connections == 1);
        close($client);
    }
}
