#!/usr/bin/perl
# The start-up benchmark's client, on 127.0.0.1:53.
#   probe.pl first START-NS   asks every 2 ms until the first answer comes
#                             (10 s at most); prints the milliseconds from
#                             START-NS (nanoseconds since the epoch) to it
#   probe.pl load COUNT       asks COUNT names one after another, each waiting
#                             1 s at most; prints how many were answered
use strict;
use warnings;
use Socket;
use IO::Select;
use Time::HiRes qw(time);
use File::Basename ();
use lib File::Basename::dirname(__FILE__) . '/../../tests/e2e';
use DnsUdp qw(udp_socket dns_query);

my ($mode, $value) = @ARGV;
die "usage: probe.pl first START-NS | load COUNT\n" unless defined $value;
my $sock = udp_socket('127.0.0.1');
my $dest = sockaddr_in(53, inet_aton('127.0.0.1'));
my $select = IO::Select->new($sock);

# Sends one query and waits at most WAIT seconds for an answer to it.
sub ask {
    my ($id, $name, $wait) = @_;
    send($sock, dns_query($id, 0, $name), 0, $dest);
    my $deadline = time + $wait;
    while ((my $left = $deadline - time) > 0) {
        next unless $select->can_read($left);
        my $answer;
        defined recv($sock, $answer, 4096, 0) or return 0;
        return 1 if length($answer) >= 12 && unpack('n', $answer) == $id;
    }
    return 0;
}

if ($mode eq 'first') {
    my $end = time + 10;
    for (my $id = 1; time < $end; $id = $id % 0xFFFF + 1) {
        if (ask($id, 'first.wild.test', 0.002)) {
            printf "%.1f\n", (time - $value / 1e9) * 1000;
            exit 0;
        }
    }
    exit 1;
}
my $answered = 0;
for my $n (1 .. $value) {
    $answered += ask($n % 0xFFFF + 1, "q$n.wild.test", 1);
}
print "$answered\n";
exit($answered == $value ? 0 : 1);
