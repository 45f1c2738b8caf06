#!/usr/bin/perl
# A stand-in resolver for the hostile-traffic test, run on 8.8.8.8:53 inside
# the upstream namespace. What it does with a query depends on its first name:
#   *.hold.example     held, answered only when told to (see CONTROL below);
#   *.silent.example   never answered;
#   any other name     answered at once with one A record, 192.0.2.10;
#   no readable name   never answered.
# Every datagram it receives is logged to LOG as one line
#   "SOURCE-PORT ID LENGTH NAME"
# (ID as four hex digits of the first two bytes, NAME "-" when unreadable).
#
# CONTROL: a UDP socket on 127.0.0.1:CONTROL-PORT. The message "release"
# answers every held query (paced, so that the forwarder's socket is not
# overrun) and is acknowledged with "released N".
# Usage: hostile_upstream.pl ADDR PORT CONTROL-PORT LOG
use strict;
use warnings;
use Socket;
use IO::Select;
use File::Basename ();
use lib File::Basename::dirname(__FILE__);
use DnsUdp qw(udp_socket);

my ($addr, $port, $control_port, $log_path) = @ARGV;
die "usage: hostile_upstream.pl ADDR PORT CONTROL-PORT LOG\n" unless defined $log_path;

my $dns = udp_socket($addr, $port);
my $control = udp_socket('127.0.0.1', $control_port);
open(my $log, '>>', $log_path) or die "$log_path: $!";
$log->autoflush(1);

# The first question: its name as text and the offset just past its type and
# class, or () when the datagram holds no complete question.
sub first_question {
    my ($msg) = @_;
    return () if length($msg) < 12;
    my $qdcount = unpack('n', substr($msg, 4, 2));
    return () if $qdcount < 1;
    my ($offset, @labels) = (12);
    while (1) {
        return () if $offset >= length($msg);
        my $len = ord(substr($msg, $offset, 1));
        $offset++;
        last if $len == 0;
        return () if $len > 63 || $offset + $len > length($msg);
        push @labels, substr($msg, $offset, $len);
        $offset += $len;
    }
    return () if $offset + 4 > length($msg) || !@labels;
    return (join('.', @labels), $offset + 4);
}

sub answer {
    my ($msg, $end) = @_;
    my $id = substr($msg, 0, 2);
    my $question = substr($msg, 12, $end - 12);
    return $id . pack('n n n n n', 0x8180, 1, 1, 0, 0) . $question
        . pack('n n n N n C4', 0xC00C, 1, 1, 60, 4, 192, 0, 2, 10);
}

my @held;    # [answer, destination]
my $select = IO::Select->new($dns, $control);
while (1) {
    for my $ready ($select->can_read(1)) {
        my $msg = '';
        my $from = recv($ready, $msg, 65535, 0);
        next unless defined $from && length $from;
        if ($ready == $control) {
            next unless $msg eq 'release';
            my $count = 0;
            for my $h (@held) {
                send($dns, $h->[0], 0, $h->[1]);
                # A short pause now and then: the forwarder takes one answer
                # per turn, and its socket holds only so many.
                select(undef, undef, undef, 0.003) if ++$count % 32 == 0;
            }
            @held = ();
            send($control, "released $count", 0, $from);
            next;
        }
        my ($src_port) = sockaddr_in($from);
        my @q = first_question($msg);
        my $name = @q ? $q[0] : '-';
        $name =~ s/[^\x21-\x7e]/?/g;
        printf $log "%d %s %d %s\n", $src_port,
            length($msg) >= 2 ? uc unpack('H4', $msg) : '-', length($msg), $name;
        next unless @q;
        if ($q[0] =~ /(^|\.)hold\.example$/i) {
            push @held, [answer($msg, $q[1]), $from];
        } elsif ($q[0] !~ /(^|\.)silent\.example$/i) {
            send($dns, answer($msg, $q[1]), 0, $from);
        }
    }
}
