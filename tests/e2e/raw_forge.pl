#!/usr/bin/perl
# Sends forged DNS answers through a raw IP socket, so that each carries
# whatever source address and port it claims: the off-path forger that a
# forwarder's upstream link must withstand. Needs root (CAP_NET_RAW); run it
# only inside the private namespaces of scripts/lib/netns.sh.
#
# Usage: raw_forge.pl SRC-ADDR SRC-PORT DEST-ADDR DEST-PORT NAME ADDRESS ID...
#   one answer per ID (four hexadecimal digits, the first two bytes as they
#   stand on the wire) to a query for NAME, type A class IN, with one A
#   record carrying ADDRESS. Prints "sent N".
use strict;
use warnings;
use Socket;
use File::Basename ();
use lib File::Basename::dirname(__FILE__);
use DnsUdp qw(wire_name);

my ($src, $sport, $dest, $dport, $name, $address, @ids) = @ARGV;
die "usage: raw_forge.pl SRC-ADDR SRC-PORT DEST-ADDR DEST-PORT NAME ADDRESS ID...\n"
    unless @ids && !grep { !/^[0-9A-Fa-f]{4}$/ } @ids;

# IPPROTO_RAW (255): the header below is sent as it stands; the kernel fills
# in the total length, the checksum and the packet ID.
socket(my $raw, PF_INET, SOCK_RAW, 255) or die "raw socket: $!\n";
my $to = sockaddr_in(0, inet_aton($dest));
my $sent = 0;
for my $id (@ids) {
    my $dns = pack('H4 n n n n n', $id, 0x8180, 1, 1, 0, 0) . wire_name($name) . pack('n n', 1, 1)
        . pack('n n n N n', 0xC00C, 1, 1, 60, 4) . inet_aton($address);
    # UDP checksum 0: none, which IPv4 allows.
    my $udp = pack('n n n n', $sport, $dport, 8 + length $dns, 0) . $dns;
    my $ip = pack('C C n n n C C n a4 a4', 0x45, 0, 20 + length $udp, 0, 0, 64, 17, 0,
        inet_aton($src), inet_aton($dest));
    send($raw, $ip . $udp, 0, $to) // die "send: $!\n";
    # Paced, so that the forwarder's socket is never overrun.
    select(undef, undef, undef, 0.002) if ++$sent % 16 == 0;
}
print "sent $sent\n";
