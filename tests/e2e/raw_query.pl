#!/usr/bin/perl
# Sends one DNS query built byte by byte and prints the first reply whole, so
# a test can check a header field by field or see that no reply came.
# Usage: raw_query.pl SERVER PORT TIMEOUT-SECONDS ID NSCOUNT NAME...
#   ID       the transaction ID, 4 hexadecimal digits
#   NSCOUNT  the value put in the header's NSCOUNT (no records follow it)
#   NAME...  the question names, type A class IN each; QDCOUNT is their number
# Prints the reply as lower-case hex on one line and exits 0; exits 3 when no
# reply came within the time-out.
use strict;
use warnings;
use Socket;
use IO::Select;
use File::Basename ();
use lib File::Basename::dirname(__FILE__);
use DnsUdp qw(udp_socket dns_query);

my ($server, $port, $timeout, $id, $nscount, @names) = @ARGV;
die "usage: raw_query.pl SERVER PORT TIMEOUT ID NSCOUNT NAME...\n"
    unless defined $nscount && $id =~ /^[0-9A-Fa-f]{4}$/;

my $sock = udp_socket();
my $dest = sockaddr_in($port, inet_aton($server));
send($sock, dns_query(hex($id), $nscount, @names), 0, $dest) or die "send: $!";

my $select = IO::Select->new($sock);
exit 3 unless $select->can_read($timeout);
my $reply;
defined recv($sock, $reply, 4096, 0) or die "recv: $!";
print unpack('H*', $reply), "\n";
exit 0;
