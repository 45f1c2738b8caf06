#!/usr/bin/perl
# A DNS client with several queries in flight on one socket: sends one query
# per name, all before reading, then checks that every answer carries the ID
# and the question of its own query.
# Usage: dns_client.pl SERVER PORT TIMEOUT-SECONDS NAME...
# Prints one line per answer: "ID NAME RCODE ANCOUNT LENGTH"; exits 0 when
# every query was answered so, 1 otherwise.
use strict;
use warnings;
use Socket;
use IO::Select;
use File::Basename ();
use lib File::Basename::dirname(__FILE__);
use DnsUdp qw(udp_socket dns_query);

my ($server, $port, $timeout, @names) = @ARGV;
die "usage: dns_client.pl SERVER PORT TIMEOUT NAME...\n" unless @names;

my $sock = udp_socket();
my $dest = sockaddr_in($port, inet_aton($server));

my %expected;    # id => name
my $id = int(rand(0xF000)) + 0x100;
for my $name (@names) {
    send($sock, dns_query($id, 0, $name), 0, $dest) or die "send: $!";
    $expected{$id} = $name;
    $id = ($id + 0x101) & 0xFFFF;
}

my $select = IO::Select->new($sock);
my $deadline = time + $timeout;
while (%expected && time <= $deadline) {
    next unless $select->can_read(0.2);
    my $answer;
    recv($sock, $answer, 4096, 0) or next;
    next if length($answer) < 12;
    my ($aid, $flags, $qd, $an) = unpack('n n n n', $answer);
    my ($offset, @labels) = (12);
    while ($offset < length($answer)) {
        my $len = ord(substr($answer, $offset, 1));
        $offset++;
        last if $len == 0;
        push @labels, substr($answer, $offset, $len);
        $offset += $len;
    }
    my $qname = join('.', @labels);
    printf "%04X %s %d %d %d\n", $aid, $qname, $flags & 0xF, $an, length($answer);
    if (exists $expected{$aid} && lc $expected{$aid} eq lc $qname) {
        delete $expected{$aid};
    } else {
        print STDERR "unexpected answer: id $aid for '$qname'\n";
        exit 1;
    }
}
if (%expected) {
    print STDERR "unanswered: ", join(', ', map { sprintf('%04X %s', $_, $expected{$_}) } sort keys %expected), "\n";
    exit 1;
}
exit 0;
