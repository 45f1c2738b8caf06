#!/usr/bin/perl
# Sends one query whose question names are given label by label, so that a
# label may hold any byte: '.', NUL, '\', 0x80-0xFF. Over UDP, or over TCP
# behind its two-byte length. Prints the first reply whole as lower-case hex
# and exits 0; exits 3 when none came within the time-out.
# Usage: odd_query.pl udp|tcp SERVER PORT TIMEOUT-SECONDS ID NAME...
#   ID    the transaction ID, 4 hexadecimal digits
#   NAME  its labels separated by '/', each byte as itself or as \xHH (so
#         '/' is \x2f and '\' is \x5c); a label written L*N is N bytes L.
#         Each name is one question of type A class IN; QDCOUNT is their number.
use strict;
use warnings;
use Socket;
use IO::Select;
use Time::HiRes qw(time);

my ($transport, $server, $port, $timeout, $id, @names) = @ARGV;
die "usage: odd_query.pl udp|tcp SERVER PORT TIMEOUT ID NAME...\n"
    unless defined $id && $id =~ /^[0-9A-Fa-f]{4}$/ && $transport =~ /^(udp|tcp)$/;

sub label {
    my ($text) = @_;
    $text =~ s/\\x([0-9A-Fa-f]{2})/chr(hex($1))/ge;
    return $1 x $2 if $text =~ /^(.)\*(\d+)$/s;
    return $text;
}

sub wire_name {
    my ($name) = @_;
    my $wire = '';
    for my $text (split m{/}, $name) {
        my $label = label($text);
        die "label of " . length($label) . " bytes\n" if length $label > 255;
        $wire .= chr(length $label) . $label;
    }
    return $wire . "\0";
}

my $query = pack('n n n n n n', hex($id), 0x0100, scalar(@names), 0, 0, 0);
$query .= wire_name($_) . pack('n n', 1, 1) for @names;
die "query of " . length($query) . " bytes\n" if length $query > 65535;

my $sock;
my $type = $transport eq 'udp' ? SOCK_DGRAM : SOCK_STREAM;
socket($sock, PF_INET, $type, 0) or die "socket: $!";
connect($sock, sockaddr_in($port, inet_aton($server))) or die "connect: $!";
$query = pack('n', length $query) . $query if $transport eq 'tcp';
my $put = syswrite($sock, $query);
die "send: $!" unless defined $put && $put == length $query;

my ($reply, $deadline) = ('', time + $timeout);
my $select = IO::Select->new($sock);
while (1) {
    my $left = $deadline - time;
    exit 3 if $left <= 0 || !$select->can_read($left);
    my $got = sysread($sock, $reply, 65537, length $reply);
    exit 3 unless $got;
    last if $transport eq 'udp';
    last if length $reply >= 2 && length $reply >= 2 + unpack('n', $reply);
}
$reply = substr($reply, 2, unpack('n', $reply)) if $transport eq 'tcp';
print unpack('H*', $reply), "\n";
exit 0;
