#!/usr/bin/perl
# The traffic of the long-name benchmark, sent from the forwarder's namespace
# to Corvane on 127.0.0.1:53. Bounded in count and in time.
#
#   long_names.pl ORDINARY LONG NAME-BYTES RATE
#
# 1. ORDINARY queries for host.example.test, one at a time, each waiting for
#    its answer (at most 2 s): their lines fill the log view to its cap;
# 2. LONG queries, RATE a second, each for one name of NAME-BYTES bytes 0x01
#    in labels of 63 (logged as about four characters a byte, "\x01");
#    no answer is waited for;
# 3. right after the last of them, one query for host.example.test, timed to
#    its answer (at most 60 s).
# Prints "baseline MS" (the median round trip of step 1), "sent N" and
# "ordinary after long MS" (or "ordinary after long none"); exits 0 when the
# last query was answered.
use strict;
use warnings;
use Socket;
use IO::Select;
use Time::HiRes qw(time sleep);
use File::Basename ();
use lib File::Basename::dirname(__FILE__) . '/../../tests/e2e';
use DnsUdp qw(udp_socket dns_query);

my ($ordinary, $long, $name_bytes, $rate) = @ARGV;
die "usage: long_names.pl ORDINARY LONG NAME-BYTES RATE\n" unless defined $rate;
die "out of bounds\n"
    if $ordinary > 100000 || $long > 10000 || $name_bytes > 2030 || $rate <= 0 || $rate > 10000;

my $dest = sockaddr_in(53, inet_aton('127.0.0.1'));
my $sock = udp_socket();
my $select = IO::Select->new($sock);

# Waits for the answer carrying ID, at most WAIT seconds; the round trip in
# milliseconds, or undef.
sub answer_to {
    my ($id, $sent, $wait) = @_;
    my $deadline = $sent + $wait;
    while ((my $left = $deadline - time) > 0) {
        last unless $select->can_read($left);
        my $reply;
        defined recv($sock, $reply, 65535, 0) or next;
        next if length($reply) < 2;
        return (time - $sent) * 1000 if unpack('n', $reply) == $id;
    }
    return undef;
}

sub ask {
    my ($id, $wait) = @_;
    my $sent = time;
    send($sock, dns_query($id, 0, 'host.example.test'), 0, $dest) or die "send: $!";
    return answer_to($id, $sent, $wait);
}

# A name of LENGTH bytes 0x01, as the wire has it.
sub long_name {
    my ($length) = @_;
    my $wire = '';
    while ($length > 0) {
        my $label = $length > 63 ? 63 : $length;
        $wire .= chr($label) . ("\x01" x $label);
        $length -= $label + 1;
    }
    return $wire . "\0";
}

my @round_trips;
for my $n (1 .. $ordinary) {
    my $ms = ask(($n % 0x7000) + 1, 2);
    push @round_trips, $ms if defined $ms;
}
@round_trips = sort { $a <=> $b } @round_trips;
printf "baseline %.2f\n", @round_trips ? $round_trips[@round_trips / 2] : -1;

my $question = long_name($name_bytes) . pack('n n', 1, 1);
for my $n (1 .. $long) {
    my $header = pack('n n n n n n', 0x8000 + $n, 0x0100, 1, 0, 0, 0);
    send($sock, $header . $question, 0, $dest) or die "send: $!";
    sleep(1 / $rate);
}
print "sent $long\n";

my $after = ask(0x7FFF, 60);
if (defined $after) {
    printf "ordinary after long %.2f\n", $after;
    exit 0;
}
print "ordinary after long none\n";
exit 1;
