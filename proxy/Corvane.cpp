// Corvane: the program's entry, startup and shutdown. Everything runs on this
// one thread: the window, both network endpoints, the plug-in and the log.
#include <ctime>

#include "log/Clock.h"
#include "log/FaultReport.h"
#include "log/LogFile.h"
#include "log/Logger.h"
#include "net/PosixNetwork.h"
#include "proxy/PluginLibrary.h"
#include "proxy/ProxyLoop.h"
#include "proxy/StopSignals.h"

namespace corvane {
namespace {

// The fixed facts of this program: where it listens, where it forwards, which
// plug-in it asks and where it logs. Nothing else in the code knows them.
constexpr std::int64_t ListenPort = 53;
constexpr std::string_view UpstreamHost = "8.8.8.8";
constexpr std::int64_t UpstreamPort = 53;
constexpr std::u16string_view FilterLibraryName = u"Filter.DLL";
constexpr std::u16string_view FilterExportName = u"FilterQuery";
constexpr const char* LogFileName = "log.log";

// Without a window nothing can ask to close, so only a stop signal ends the loop.
class HeadlessWindow final : public WindowPoll {
public:
    std::int32_t eventPoll() override { return stopRequested() ? CloseEvent : 0; }
    void sleepMs(std::int32_t milliseconds) override {
        const timespec pause{0, static_cast<long>(milliseconds) * 1'000'000L};
        nanosleep(&pause, nullptr);
    }
};

int runProgram() {
    // From here on a fault anywhere ends in the report, after the log's
    // buffered lines have been written out.
    FaultReportRegistration faultReport(&LogFile::flushForFault);
    installStopSignals();

    SystemClock clock;
    Logger logger(clock, LogFileName);
    HeadlessWindow window;
    PosixNetwork network;

    ProxyLoop proxy(network, logger, clock, window);
    proxy.startNetwork({ListenPort, UpstreamHost, UpstreamPort});

    PluginLibraries libraries;
    const auto filterLibrary = libraries.openLibrary(FilterLibraryName);
    FilterQueryFn filterQuery = nullptr;
    if (libraries.isLibraryLoaded(filterLibrary)) {
        filterQuery = reinterpret_cast<FilterQueryFn>(
            libraries.findFunction(filterLibrary, FilterExportName));
    }
    if (filterQuery == nullptr) {
        logger.logLine(u"Filter.DLL not loaded/unrecognized");
    }
    proxy.setFilter(filterQuery);

    proxy.run();

    if (libraries.isLibraryLoaded(filterLibrary)) {
        libraries.closeLibrary(filterLibrary);
    }
    proxy.shutdownNetwork();
    network.netShutdown();
    return 0;
}

}  // namespace
}  // namespace corvane

int main() {
    return corvane::runProgram();
}
