// The engine on the real kernel and /proc: sockets on 127.0.0.1 made by this
// test process and the children it starts, which the engine must name by
// their ends alone.
#include "attribution/SystemAttribution.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "attribution/AskerEngine.h"
#include "attribution/MonotonicClock.h"
#include "net/UniqueFd.h"
#include "tests/attribution/AttributionTestSupport.h"
#include "tests/support/TempFolder.h"

namespace corvane {
namespace {

using test::ipv4;

sockaddr_in loopback(std::uint16_t port = 0) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ipv4(127, 0, 0, 1);
    address.sin_port = htons(port);
    return address;
}

sockaddr_in localEnd(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return address;
}

std::uint64_t inodeOf(int fd) {
    struct stat status {};
    fstat(fd, &status);
    return status.st_ino;
}

std::string ownProgram() {
    return std::filesystem::read_symlink("/proc/self/exe").filename().string();
}

// A plain socket, without close-on-exec, so that a child can keep it.
UniqueFd plainSocket(int type) {
    return UniqueFd(::socket(AF_INET, type, 0));
}

bool bindTo(int fd, const sockaddr_in& address) {
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool connectTo(int fd, const sockaddr_in& address) {
    return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// A child process that is killed and reaped when the test ends.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {}
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    pid_t pid() const { return pid_; }
    // Its exit status, once it ends by itself; -1 when it had to be killed.
    int waitForExit() {
        int status = 0;
        for (int tries = 0; tries < 1000; ++tries) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

private:
    pid_t pid_;
};

// Waits (2 s at most) until pid runs the program named name.
bool runs(pid_t pid, const std::string& name) {
    for (int tries = 0; tries < 200; ++tries) {
        std::error_code error;
        const auto exe =
            std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
        if (!error && exe.filename().string().starts_with(name)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class SystemAttributionTest : public testing::Test {
protected:
    SystemAttributionTest() {
        EXPECT_TRUE(bindTo(server.get(), loopback()));
        serverPort = ntohs(localEnd(server.get()).sin_port);
    }

    // The client whose socket is fd, as the listener would see it.
    ClientEndpoint endpointOf(int fd, IpProtocol protocol = IpProtocol::Udp) const {
        const sockaddr_in client = localEnd(fd);
        const std::uint32_t address =
            client.sin_addr.s_addr != 0 ? client.sin_addr.s_addr : ipv4(127, 0, 0, 1);
        return ClientEndpoint{ClientKey{protocol, address, ntohs(client.sin_port)},
                              ipv4(127, 0, 0, 1), serverPort};
    }

    Asker lookUpFully(const ClientEndpoint& endpoint) {
        LookupBudget plenty(10 * NanosecondsPerSecond);
        return engine.lookUp(endpoint, plenty);
    }

    void expectThisProcess(const Asker& asker) const {
        EXPECT_TRUE(asker.settled);
        EXPECT_EQ(asker.state, AskerState::Process);
        EXPECT_EQ(asker.pid, getpid());
        EXPECT_EQ(asker.uid, geteuid());
        EXPECT_EQ(asker.program, ownProgram());
    }

    SteadyClock clock;
    SystemAttribution system{clock};
    AskerEngine engine{system, clock};
    // Plays the listener the clients ask.
    UniqueFd server = plainSocket(SOCK_DGRAM);
    std::uint16_t serverPort = 0;
};

// The kinds of UDP client socket: the C library's (connected), and the
// unconnected ones of hand-made clients, bound or bound by their first send.
enum class UdpKind { SentFrom, BoundToAny, BoundToLoopback, Connected, BoundToAnyAndConnected };

class UdpClientSocket : public SystemAttributionTest, public testing::WithParamInterface<UdpKind> {
protected:
    UniqueFd make() const {
        UniqueFd client = plainSocket(SOCK_DGRAM);
        const sockaddr_in to = loopback(serverPort);
        switch (GetParam()) {
            case UdpKind::SentFrom:
                ::sendto(client.get(), "q", 1, 0, reinterpret_cast<const sockaddr*>(&to),
                         sizeof to);
                break;
            case UdpKind::BoundToAny: {
                sockaddr_in any = loopback();
                any.sin_addr.s_addr = INADDR_ANY;
                bindTo(client.get(), any);
                break;
            }
            case UdpKind::BoundToLoopback:
                bindTo(client.get(), loopback());
                break;
            case UdpKind::Connected:
                connectTo(client.get(), to);
                break;
            case UdpKind::BoundToAnyAndConnected: {
                sockaddr_in any = loopback();
                any.sin_addr.s_addr = INADDR_ANY;
                bindTo(client.get(), any);
                connectTo(client.get(), to);
                break;
            }
        }
        return client;
    }
};

TEST_P(UdpClientSocket, IsFoundByItsEndsAndNamesThisProcess) {
    const UniqueFd client = make();
    ASSERT_NE(localEnd(client.get()).sin_port, 0);
    // The very socket, not the listener's, which this process holds too.
    SockDiag diag;
    SocketRecord record;
    ASSERT_EQ(diag.find(endpointOf(client.get()), record), SocketLookup::Found);
    EXPECT_EQ(record.inode, inodeOf(client.get()));
    EXPECT_NE(record.inode, inodeOf(server.get()));
    EXPECT_EQ(record.uid, geteuid());
    expectThisProcess(lookUpFully(endpointOf(client.get())));
}

const char* nameOf(UdpKind kind) {
    switch (kind) {
        case UdpKind::SentFrom:
            return "SentFrom";
        case UdpKind::BoundToAny:
            return "BoundToAny";
        case UdpKind::BoundToLoopback:
            return "BoundToLoopback";
        case UdpKind::Connected:
            return "Connected";
        case UdpKind::BoundToAnyAndConnected:
            return "BoundToAnyAndConnected";
    }
    return "?";
}

INSTANTIATE_TEST_SUITE_P(Kinds, UdpClientSocket,
                         testing::Values(UdpKind::SentFrom, UdpKind::BoundToAny,
                                         UdpKind::BoundToLoopback, UdpKind::Connected,
                                         UdpKind::BoundToAnyAndConnected),
                         [](const auto& testCase) { return std::string(nameOf(testCase.param)); });

// Some runtimes ask from an IPv6 socket that speaks IPv4 too, at
// ::ffff:127.0.0.1; the listener sees an IPv4 client.
TEST_F(SystemAttributionTest, AnIPv6SocketSpeakingIPv4IsFoundToo) {
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    ASSERT_EQ(inet_pton(AF_INET6, "::ffff:127.0.0.1", &to.sin6_addr), 1);
    to.sin6_port = htons(serverPort);
    for (const bool connected : {false, true}) {
        const UniqueFd client(::socket(AF_INET6, SOCK_DGRAM, 0));
        const auto* address = reinterpret_cast<const sockaddr*>(&to);
        ASSERT_EQ(connected ? ::connect(client.get(), address, sizeof to)
                            : ::sendto(client.get(), "q", 1, 0, address, sizeof to) - 1,
                  0);
        sockaddr_in6 own{};
        socklen_t length = sizeof own;
        getsockname(client.get(), reinterpret_cast<sockaddr*>(&own), &length);
        const ClientEndpoint endpoint{
            ClientKey{IpProtocol::Udp, ipv4(127, 0, 0, 1), ntohs(own.sin6_port)},
            ipv4(127, 0, 0, 1), serverPort};
        SockDiag diag;
        SocketRecord record;
        ASSERT_EQ(diag.find(endpoint, record), SocketLookup::Found) << connected;
        EXPECT_EQ(record.inode, inodeOf(client.get()));
        expectThisProcess(lookUpFully(endpoint));
    }
}

// A reply from another port never reaches a connected socket.
TEST_F(SystemAttributionTest, AConnectedSocketIsNotFoundFromAnotherServerPort) {
    const UniqueFd client = plainSocket(SOCK_DGRAM);
    ASSERT_TRUE(connectTo(client.get(), loopback(serverPort)));
    ClientEndpoint elsewhere = endpointOf(client.get());
    elsewhere.serverPort = static_cast<std::uint16_t>(serverPort + 1);
    EXPECT_EQ(lookUpFully(elsewhere).state, AskerState::Unknown);
}

TEST_F(SystemAttributionTest, ATcpClientIsFoundByItsConnectionNotTheAcceptedEnd) {
    const UniqueFd listener = plainSocket(SOCK_STREAM);
    ASSERT_TRUE(bindTo(listener.get(), loopback()));
    ASSERT_EQ(::listen(listener.get(), 4), 0);
    serverPort = ntohs(localEnd(listener.get()).sin_port);
    const UniqueFd client = plainSocket(SOCK_STREAM);
    ASSERT_TRUE(connectTo(client.get(), loopback(serverPort)));
    const UniqueFd accepted(::accept(listener.get(), nullptr, nullptr));
    ASSERT_TRUE(accepted.valid());

    SockDiag diag;
    SocketRecord record;
    ASSERT_EQ(diag.find(endpointOf(client.get(), IpProtocol::Tcp), record), SocketLookup::Found);
    EXPECT_EQ(record.inode, inodeOf(client.get()));
    expectThisProcess(lookUpFully(endpointOf(client.get(), IpProtocol::Tcp)));
}

// The accepted end and the listener stay open, held by this process: a
// lookup that fell back to either would name it.
TEST_F(SystemAttributionTest, ASocketClosedBeforeTheLookupIsUnknown) {
    UniqueFd udp = plainSocket(SOCK_DGRAM);
    ASSERT_TRUE(connectTo(udp.get(), loopback(serverPort)));
    const ClientEndpoint udpClient = endpointOf(udp.get());
    udp.reset();
    EXPECT_EQ(lookUpFully(udpClient).state, AskerState::Unknown);

    const UniqueFd listener = plainSocket(SOCK_STREAM);
    ASSERT_TRUE(bindTo(listener.get(), loopback()));
    ASSERT_EQ(::listen(listener.get(), 4), 0);
    serverPort = ntohs(localEnd(listener.get()).sin_port);
    UniqueFd tcp = plainSocket(SOCK_STREAM);
    ASSERT_TRUE(connectTo(tcp.get(), loopback(serverPort)));
    const UniqueFd accepted(::accept(listener.get(), nullptr, nullptr));
    const ClientEndpoint tcpClient = endpointOf(tcp.get(), IpProtocol::Tcp);
    tcp.reset();
    EXPECT_EQ(lookUpFully(tcpClient).state, AskerState::Unknown);
}

// Replies to another machine's port would reach this unconnected socket,
// bound to every address, if the lookup were made: it must not be.
TEST_F(SystemAttributionTest, AClientOfAnotherMachineIsNotMistakenForALocalSocket) {
    const UniqueFd wildcard = plainSocket(SOCK_DGRAM);
    sockaddr_in any = loopback();
    any.sin_addr.s_addr = INADDR_ANY;
    ASSERT_TRUE(bindTo(wildcard.get(), any));
    ClientEndpoint remote = endpointOf(wildcard.get());
    remote.client.address = ipv4(192, 0, 2, 7);
    ASSERT_FALSE(system.isLocalAddress(remote.client.address));
    SockDiag diag;
    SocketRecord record;
    ASSERT_EQ(diag.find(remote, record), SocketLookup::Found);  // what the guard is for
    const Asker asker = lookUpFully(remote);
    EXPECT_EQ(asker.state, AskerState::Remote);
    EXPECT_EQ(asker.pid, 0);
}

TEST_F(SystemAttributionTest, TheMachinesOwnAddressesAreLocal) {
    ifaddrs* list = nullptr;
    ASSERT_EQ(getifaddrs(&list), 0);
    int seen = 0;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            EXPECT_TRUE(system.isLocalAddress(address->sin_addr.s_addr));
            ++seen;
        }
    }
    freeifaddrs(list);
    EXPECT_GT(seen, 0);
}

// A socket passed on to a child, which the parent then closed: the child
// is the one that asks.
TEST_F(SystemAttributionTest, AForkedChildHoldingTheOnlyCopyIsNamed) {
    UniqueFd client = plainSocket(SOCK_DGRAM);
    ASSERT_TRUE(connectTo(client.get(), loopback(serverPort)));
    const ClientEndpoint endpoint = endpointOf(client.get());
    int hold[2];
    ASSERT_EQ(::pipe(hold), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        char byte;
        ::close(hold[1]);
        (void)!::read(hold[0], &byte, 1);  // until the parent is done
        ::_exit(0);
    }
    Child child(pid);
    ::close(hold[0]);
    client.reset();
    const Asker asker = lookUpFully(endpoint);
    ::close(hold[1]);
    EXPECT_EQ(asker.state, AskerState::Process);
    EXPECT_EQ(asker.pid, pid);
    EXPECT_EQ(asker.program, ownProgram());
}

// A child that runs another program with the socket: named after that
// program, here a copy removed from disk while it runs, whose executable
// the kernel then shows with " (deleted)".
TEST_F(SystemAttributionTest, AProgramRemovedFromDiskIsNamedWithoutTheKernelsMark) {
    test::TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::filesystem::path copy = folder.path() / "resolver-probe";
    ASSERT_TRUE(std::filesystem::copy_file("/bin/sleep", copy));
    std::filesystem::permissions(copy, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    UniqueFd client = plainSocket(SOCK_DGRAM);
    ASSERT_TRUE(connectTo(client.get(), loopback(serverPort)));
    const ClientEndpoint endpoint = endpointOf(client.get());
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(copy.c_str(), "resolver-probe", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    Child child(pid);
    ASSERT_TRUE(runs(pid, "resolver-probe"));
    client.reset();
    std::filesystem::remove(copy);
    const Asker asker = lookUpFully(endpoint);
    EXPECT_EQ(asker.state, AskerState::Process);
    EXPECT_EQ(asker.pid, pid);
    EXPECT_EQ(asker.program, "resolver-probe");
}

// Run as a user, Corvane sees only that user's processes: a root process's
// socket is told by its owner alone, while the user's own are named.
TEST_F(SystemAttributionTest, AnotherUsersProcessIsToldByItsOwnerAlone) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root, to become another user";
    }
    UniqueFd rootsClient = plainSocket(SOCK_DGRAM);
    ASSERT_TRUE(connectTo(rootsClient.get(), loopback(serverPort)));
    const ClientEndpoint rootsEndpoint = endpointOf(rootsClient.get());
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The child's copy would be readable by the child itself.
        rootsClient.reset();
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(10);
        }
        SteadyClock childClock;
        SystemAttribution childSystem(childClock);
        AskerEngine childEngine(childSystem, childClock);
        LookupBudget plenty(10 * NanosecondsPerSecond);
        const Asker roots = childEngine.lookUp(rootsEndpoint, plenty);
        if (roots.state != AskerState::Owner || roots.uid != 0 || roots.pid != 0) {
            ::_exit(11);
        }
        const UniqueFd own = plainSocket(SOCK_DGRAM);
        const sockaddr_in to = loopback(serverPort);
        if (!connectTo(own.get(), to)) {
            ::_exit(12);
        }
        const Asker mine = childEngine.lookUp(endpointOf(own.get()), plenty);
        ::_exit(mine.state == AskerState::Process && mine.pid == getpid() && mine.uid == 65534
                    ? 0
                    : 13);
    }
    Child child(pid);
    EXPECT_EQ(child.waitForExit(), 0);
}

}  // namespace
}  // namespace corvane
