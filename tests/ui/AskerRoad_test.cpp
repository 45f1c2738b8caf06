// The whole road of who asked, as the program wires it, on 127.0.0.1 only:
// the real sockets, the kernel's socket lookup and /proc, the loop, the log
// and the window's log view. A socket of this very test process asks; the
// tips of the query's line and of its answer's name this process.
#include <arpa/inet.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QScrollBar>
#include <string>

#include "attribution/AskerEngine.h"
#include "attribution/SystemAttribution.h"
#include "attribution/SystemUserNames.h"
#include "log/Logger.h"
#include "net/PosixNetwork.h"
#include "proxy/ProxyLoop.h"
#include "tests/net/NetTestSupport.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestSeed.h"
#include "tests/ui/QtApp.h"
#include "ui/LogViewSink.h"
#include "ui/LogViewWidget.h"

namespace corvane {
namespace {

class NoWindow final : public WindowPoll {
public:
    std::int32_t eventPoll() override { return 0; }
    void waitIdle(int, std::int32_t) override {}
};

std::string ownProgram() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return {};
    }
    const std::string whole(path, static_cast<std::size_t>(length));
    return whole.substr(whole.rfind('/') + 1);
}

// A client as the C library's resolver makes one: a UDP socket connected to
// the server, found by the kernel only from both ends.
class ConnectedClient {
public:
    explicit ConnectedClient(std::uint16_t serverPort)
        : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(serverPort);
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = fd_.valid() &&
                     ::connect(fd_.get(), reinterpret_cast<sockaddr*>(&server), sizeof server) == 0;
    }
    bool connected() const { return connected_; }
    std::uint16_t port() const {
        sockaddr_in local{};
        socklen_t length = sizeof local;
        ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&local), &length);
        return ntohs(local.sin_port);
    }
    bool send(const test::Bytes& bytes) const {
        return ::send(fd_.get(), bytes.data(), bytes.size(), 0) ==
               static_cast<ssize_t>(bytes.size());
    }
    bool replied(int timeoutMs) const {
        pollfd entry{fd_.get(), POLLIN, 0};
        return ::poll(&entry, 1, timeoutMs) == 1;
    }

private:
    UniqueFd fd_;
    bool connected_ = false;
};

// How the description names the user this process runs as.
std::string ownUser() {
    const passwd* entry = ::getpwuid(::geteuid());
    return entry != nullptr ? std::string("user ") + entry->pw_name
                            : "uid " + std::to_string(::geteuid());
}

TEST(AskerRoad, TheLinesOfAQueryAndItsAnswerNameTheProcessThatAsked) {
    test::ensureQtApp();
    LogViewWidget view;
    view.resize(600, 200);
    test::TempFolder folder;
    ASSERT_TRUE(folder.ok());
    test::FakeClock clock;
    Logger logger(clock, folder.file("log.log"));
    SystemUserNames users;
    LogViewSink sink(&view, &users);
    logger.setView(&sink);

    test::UdpProbe upstream;
    ASSERT_TRUE(upstream.bound());
    PosixNetwork network;
    NoWindow window;
    ProxyLoop loop(network, logger, clock, window, test::testSeed());
    SteadyClock steady;
    SystemAttribution system(steady);
    AskerEngine engine(system, steady);
    loop.setAttribution(engine);
    loop.startNetwork({0, "127.0.0.1", upstream.port()});
    ASSERT_TRUE(loop.running());
    const std::uint16_t port = network.listenerPort(loop.listener());

    ConnectedClient client(port);
    ASSERT_TRUE(client.connected());
    const test::Bytes query = {0x12, 0x34, 0x01, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 'a', 0, 0, 1, 0, 1};
    ASSERT_TRUE(client.send(query));
    std::optional<test::ProbeDatagram> forwarded;
    for (int turn = 0; turn < 200 && !forwarded; ++turn) {
        loop.turn();
        forwarded = upstream.receive(10);
    }
    ASSERT_TRUE(forwarded);
    test::Bytes answer = forwarded->bytes;
    answer[2] |= 0x80;
    ASSERT_TRUE(upstream.sendTo("127.0.0.1", forwarded->port, answer));
    bool replied = false;
    for (int turn = 0; turn < 200 && !replied; ++turn) {
        loop.turn();
        replied = client.replied(10);
    }
    ASSERT_TRUE(replied);
    // Lookups that did not settle at once settle in the turns after.
    for (int turn = 0; turn < 2000 && engine.hasQueuedLookups(); ++turn) {
        loop.turn();
    }
    loop.shutdownNetwork();

    const QString expected =
        QString::fromStdString(ownProgram() + " (pid " + std::to_string(::getpid()) + ", " +
                               ownUser() + "), UDP 127.0.0.1:" + std::to_string(client.port()));
    view.flushFrame();
    ASSERT_GE(view.model().lineCount(), 2);
    const int spacing = QFontMetrics(view.font()).lineSpacing();
    const int last = view.model().lineCount() - 1;
    view.verticalScrollBar()->setValue(last - 1);
    const int top = view.firstVisibleLine();
    EXPECT_TRUE(view.model().lineText(last - 1).endsWith(u"Q  [1234] : a"));
    EXPECT_TRUE(view.model().lineText(last).endsWith(u"A  [1234] = 19b"));
    EXPECT_EQ(view.noteTextAt(QPoint(10, (last - 1 - top) * spacing + spacing / 2)), expected);
    EXPECT_EQ(view.noteTextAt(QPoint(10, (last - top) * spacing + spacing / 2)), expected);
}

}  // namespace
}  // namespace corvane
