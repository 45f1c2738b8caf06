#!/usr/bin/perl
# A DNS client whose process a test can name: prints its own pid first, then
# asks for NAME over UDP from SOURCE-PORT (0: any) and either waits for the
# reply or leaves at once, closing its socket before anyone could look at it.
# Usage: asker_client.pl SERVER PORT SOURCE-PORT MODE NAME
#   MODE  wait   waits at most 2 s; prints "reply" or "no reply"
#         leave  exits right after the send
use strict;
use warnings;
use Socket;
use IO::Select;
use File::Basename ();
use lib File::Basename::dirname(__FILE__);
use DnsUdp qw(udp_socket dns_query);

my ($server, $port, $source_port, $mode, $name) = @ARGV;
die "usage: asker_client.pl SERVER PORT SOURCE-PORT wait|leave NAME\n"
    unless defined $name && $mode =~ /^(wait|leave)$/;
$| = 1;
print "pid $$\n";
my $sock = udp_socket('0.0.0.0', $source_port);
send($sock, dns_query(0x5A5A, 0, $name), 0, sockaddr_in($port, inet_aton($server)))
    or die "send: $!";
exit 0 if $mode eq 'leave';
my $select = IO::Select->new($sock);
print $select->can_read(2) ? "reply\n" : "no reply\n";
