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

my ($server, $port, $timeout, $id, $nscount, @names) = @ARGV;
die "usage: raw_query.pl SERVER PORT TIMEOUT ID NSCOUNT NAME...\n"
    unless defined $nscount && $id =~ /^[0-9A-Fa-f]{4}$/;

socket(my $sock, PF_INET, SOCK_DGRAM, getprotobyname('udp')) or die "socket: $!";
my $dest = sockaddr_in($port, inet_aton($server));

my $query = pack('n n n n n n', hex($id), 0x0100, scalar(@names), 0, $nscount, 0);
for my $name (@names) {
    $query .= join('', map { chr(length $_) . $_ } split(/\./, $name)) . "\0" . pack('n n', 1, 1);
}
send($sock, $query, 0, $dest) or die "send: $!";

my $select = IO::Select->new($sock);
exit 3 unless $select->can_read($timeout);
my $reply;
defined recv($sock, $reply, 4096, 0) or die "recv: $!";
print unpack('H*', $reply), "\n";
exit 0;
