// Corvane: the program's entry, startup and shutdown. Everything runs on this
// one thread: the window, both network endpoints, the plug-in and the log
// (Qt's one helper for large fills aside).
#include <unistd.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <corvane/filter.h>

#include "attribution/AskerEngine.h"
#include "attribution/MonotonicClock.h"
#include "attribution/SystemAttribution.h"
#include "attribution/SystemUserNames.h"
#include "log/Clock.h"
#include "log/FaultBoxLauncher.h"
#include "log/FaultReport.h"
#include "log/LogFile.h"
#include "log/Logger.h"
#include "net/PosixNetwork.h"
#include "proxy/PluginLibraries.h"
#include "proxy/ProxyLoop.h"
#include "proxy/SecureEnvironment.h"
#include "proxy/StopSignals.h"
#include "proxy/SystemSeed.h"
#include "ui/DialogApi.h"
#include "ui/EventPoll.h"
#include "ui/IdleWait.h"
#include "ui/LogViewSink.h"
#include "ui/LogViewWidget.h"
#include "ui/LoopDispatcher.h"
#include "ui/MainWindowHandles.h"
#include "ui/PaintThread.h"

namespace corvane {
namespace {

// The fixed facts of this program: where it listens, where it forwards, which
// plug-in it asks and where it logs. Nothing else in the code knows them.
constexpr std::int64_t ListenPort = 53;
constexpr std::string_view UpstreamHost = "8.8.8.8";
constexpr std::int64_t UpstreamPort = 53;
// What may wait queued for one TCP client: one that never reads is closed
// once this much is held for it.
constexpr std::size_t StreamOutputLimit = 256 * 1024;
// The plug-in's names are those its public header gives, as 16-bit text.
constexpr std::u16string_view FilterLibraryName = u"" CORVANE_FILTER_FILE_NAME;
constexpr std::u16string_view FilterExportName = u"" CORVANE_FILTER_FUNCTION_NAME;
constexpr std::u16string_view FilterFromExportName = u"" CORVANE_FILTER_FROM_FUNCTION_NAME;
constexpr const char* LogFileName = "log.log";

// The window's part in each turn. A stop signal counts as a close request,
// so a program without a visible window (or without any) still ends in order,
// and it ends an idle wait as well. The log view's frames come from a Qt
// timer, so a wait ends in time for the next one.
class ProgramWindow final : public WindowPoll {
public:
    std::int32_t eventPoll() override {
        return stopRequested() ? CloseEvent : ::corvane::eventPoll();
    }
    void waitIdle(int descriptor, std::int32_t timeoutMs) override {
        const int descriptors[] = {stopSignalDescriptor(), descriptor};
        waitForWork(descriptors, timeoutMs);
    }
};

// A forwarder must run on a machine without a display too: there the window
// is built on Qt's offscreen platform, unseen, and everything else works the
// same. A platform the user chose is left alone.
void chooseOffscreenWithoutDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool platformChosen = platform != nullptr && *platform != '\0';
    // The fault report's box asks the same question before it shows itself.
    if (!platformChosen && !displayAvailable(environ)) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
}

// The log line names the port that could not be opened; standard error says
// why, so that a port another server holds (EADDRINUSE) can be told from a
// missing right to it (EACCES).
void sayWhyAPortFailed(const ProxyLoop& proxy, const PosixNetwork& network) {
    const bool udpFailed = proxy.listener() == 0;
    if (network.listenerError() == 0 || (!udpFailed && proxy.streamSessions().listener() != 0)) {
        return;
    }
    std::fprintf(stderr, "%s port %lld: not opened: %s\n", udpFailed ? "UDP" : "TCP",
                 static_cast<long long>(ListenPort), std::strerror(network.listenerError()));
}

// exit() ends the process without the logger's destructor: Qt calls it when
// the X connection breaks, and a plug-in may call it. The lines the log file
// holds back are written out on that road too, and on quick_exit's; the
// flush writes each byte at most once, whichever of these and the fault
// report comes first.
void writeOutTheLogOnExit() {
    std::atexit(&LogFile::flushForFault);
    std::at_quick_exit(&LogFile::flushForFault);
}

// The plug-in's exports: FilterQuery, and FilterQueryFrom, which is called
// instead when the plug-in has it. A library with neither is no filter.
struct FilterExports {
    FilterQueryFunction query = nullptr;
    FilterQueryFromFunction queryFrom = nullptr;
    bool any() const { return query != nullptr || queryFrom != nullptr; }
};

FilterExports findFilterExports(const PluginLibraries& libraries, LibraryHandle library) {
    FilterExports found;
    if (libraries.isLibraryLoaded(library)) {
        found.query = reinterpret_cast<FilterQueryFunction>(
            libraries.findFunction(library, FilterExportName));
        found.queryFrom = reinterpret_cast<FilterQueryFromFunction>(
            libraries.findFunction(library, FilterFromExportName));
    }
    return found;
}

int runProgram() {
    // Upstream transaction numbers anyone could foresee would let forged
    // answers in: without a seed from the system the program does not start.
    const std::optional<RandomSeed> seed = systemSeed();
    if (!seed) {
        return 1;
    }
    chooseOffscreenWithoutDisplay();
    int argc = 1;
    char programName[] = "corvane";
    char* argv[] = {programName, nullptr};
    // The main loop polls the window in every turn, tens of thousands of
    // times a second under load: its dispatcher answers a poll with nothing
    // for Qt without a system call.
    LoopDispatcher::install();
    QApplication application(argc, argv);
    keepOnePaintThread();

    // From here on a fault anywhere ends in the report, after the log's
    // buffered lines have been written out.
    FaultReportRegistration faultReport(&LogFile::flushForFault);
    installStopSignals();

    SystemClock clock;
    Logger logger(clock, LogFileName);
    // After Qt's start, so that these run before Qt's own exit handlers.
    writeOutTheLogOnExit();
    ProgramWindow windowPoll;
    PosixNetwork network(StreamOutputLimit);
    ProxyLoop proxy(network, logger, clock, windowPoll, *seed);
    // Who asked each query: the kernel's socket lookup and /proc, within a
    // millisecond a turn; user names are looked up only when a line's tip
    // is shown, since the user database may wait on a network service.
    SteadyClock steadyClock;
    SystemAttribution attributionSystem(steadyClock);
    AskerEngine askers(attributionSystem, steadyClock);
    SystemUserNames userNames;
    proxy.setAttribution(askers);

    const MainWindowHandles window = openMainWindow();
    LogViewSink logView(window.logView, &userNames);
    logger.setView(&logView);

    proxy.startNetwork({ListenPort, UpstreamHost, UpstreamPort});
    sayWhyAPortFailed(proxy, network);

    PluginLibraries libraries;
    const auto filterLibrary = libraries.openLibrary(FilterLibraryName);
    const FilterExports filter = findFilterExports(libraries, filterLibrary);
    if (!filter.any()) {
        logger.logLine(u"Filter.DLL not loaded/unrecognized");
    }
    proxy.setFilter(filter.query, filter.queryFrom);

    proxy.run();

    if (libraries.isLibraryLoaded(filterLibrary)) {
        libraries.closeLibrary(filterLibrary);
    }
    proxy.shutdownNetwork();
    network.netShutdown();

    // The window, its gadgets and the fonts go while the application exists;
    // the log file is written out and closed as the logger goes.
    logger.setView(nullptr);
    uiCleanup();
    return 0;
}

}  // namespace
}  // namespace corvane

int main() {
    // Before anything reads the environment: Qt's first look comes with the
    // application's construction.
    corvane::restrictEnvironmentInSecureMode();
    return corvane::runProgram();
}
