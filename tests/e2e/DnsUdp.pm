# What the Perl tools of the end-to-end tests share: UDP sockets and DNS
# queries built byte by byte.
package DnsUdp;
use strict;
use warnings;
use Socket;
use Exporter 'import';
our @EXPORT_OK = qw(udp_socket wire_name dns_query);

# A UDP socket, bound to BIND-ADDR:BIND-PORT (port 0 when not given) when
# BIND-ADDR is given, else left for the first send to bind.
sub udp_socket {
    my ($bind_addr, $bind_port) = @_;
    socket(my $s, PF_INET, SOCK_DGRAM, getprotobyname('udp')) or die "socket: $!";
    if (defined $bind_addr) {
        bind($s, sockaddr_in($bind_port // 0, inet_aton($bind_addr)))
            or die "bind $bind_addr:" . ($bind_port // 0) . ": $!";
    }
    return $s;
}

# NAME as the wire has it: each label after its length, then the root's 0.
sub wire_name {
    my ($name) = @_;
    return join('', map { chr(length $_) . $_ } split(/\./, $name)) . "\0";
}

# dns_query(ID, NSCOUNT, NAME...): a query asking for recursion, with one
# question of type A class IN per NAME and NSCOUNT in its header as given
# (no records follow).
sub dns_query {
    my ($id, $nscount, @names) = @_;
    my $query = pack('n n n n n n', $id, 0x0100, scalar(@names), 0, $nscount, 0);
    $query .= wire_name($_) . pack('n n', 1, 1) for @names;
    return $query;
}

1;
