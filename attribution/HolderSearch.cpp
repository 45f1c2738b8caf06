#include "attribution/HolderSearch.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <utility>

#include "attribution/ProcText.h"

namespace corvane {

namespace {

// The most a step reads: a process's descriptors cost one link read each,
// other processes one owner check each. Each step stays well under a
// hundred microseconds, so a budget is overrun by little.
constexpr std::size_t DescriptorsPerStep = 32;
constexpr int ProcessesPerStep = 16;

bool isLoopback(std::uint32_t address) {
    // Network byte order: the first byte in memory is the first of the quad.
    return reinterpret_cast<const unsigned char*>(&address)[0] == 127;
}

// With a hint, the descriptors nearest it first. Without one, the highest
// first: a process that does not close much gives its newest socket the
// highest number.
void orderForScan(std::vector<int>& descriptors, int hint) {
    if (hint < 0) {
        std::sort(descriptors.begin(), descriptors.end(), std::greater<>());
        return;
    }
    std::stable_sort(descriptors.begin(), descriptors.end(),
                     [hint](int a, int b) { return std::abs(a - hint) < std::abs(b - hint); });
}

}  // namespace

HolderSearch::HolderSearch(const ClientEndpoint& endpoint, std::int64_t startedAt)
    : endpoint_(endpoint), startedAt_(startedAt) {
    asker_.settled = false;
}

void HolderSearch::step(SearchContext& context) {
    switch (phase_) {
        case Phase::Socket:
            findSocket(context);
            break;
        case Phase::Hints:
            tryNextHint(context);
            break;
        case Phase::Scan:
            scanStep(context);
            break;
        case Phase::Settled:
            break;
    }
}

CachedAsker HolderSearch::cacheEntry(std::int64_t now) const {
    return CachedAsker{asker_, inode_, startTime_, descriptor_, now};
}

void HolderSearch::findSocket(SearchContext& context) {
    const std::uint32_t address = endpoint_.client.address;
    if (!isLoopback(address) && !context.system.isLocalAddress(address)) {
        asker_.state = AskerState::Remote;
        settle();
        return;
    }
    SocketRecord record;
    if (context.system.findSocket(endpoint_, record) != SocketLookup::Found) {
        settle();
        return;
    }
    asker_.state = AskerState::Owner;
    asker_.uid = record.uid;
    inode_ = record.inode;
    owner_ = record.uid;
    expectedLink_ = socketLinkText(record.inode);
    if (!context.system.mayReadProcessesOf(record.uid)) {
        settle();
        return;
    }
    gatherCandidates(context, record.uid);
    phase_ = Phase::Hints;
}

void HolderSearch::gatherCandidates(SearchContext& context, std::uint32_t uid) {
    const CachedAsker* known = context.cache.remembered(endpoint_.client);
    if (known != nullptr && known->inode == inode_ && known->asker.state == AskerState::Process) {
        candidates_.push_back(
            {known->asker.pid, known->startTime, known->descriptor, known->asker.program});
    }
    for (const RecentProcess& process : context.recent.inOrder()) {
        if (process.uid == uid && !isCandidate(process.pid)) {
            candidates_.push_back(
                {process.pid, process.startTime, process.descriptor, process.program});
        }
    }
}

void HolderSearch::tryNextHint(SearchContext& context) {
    if (nextHint_ >= candidates_.size()) {
        phase_ = Phase::Scan;
        return;
    }
    const Candidate& candidate = candidates_[nextHint_++];
    const std::unique_ptr<ProcessView> view = context.system.openProcess(candidate.pid);
    if (view && holdsSocket(*view, candidate.descriptor)) {
        nameHolder(context, *view, candidate.pid, candidate.descriptor);
    }
}

void HolderSearch::scanStep(SearchContext& context) {
    if (scan_.view) {
        scanDescriptors(context);
    } else if (!listed_) {
        listed_ = true;
        planScan(context);
    } else {
        scanProcesses(context);
    }
}

void HolderSearch::planScan(SearchContext& context) {
    std::vector<std::int32_t> pids;
    if (!context.system.listProcesses(pids)) {
        pids.clear();  // the hinted processes are all there is to read
    }
    std::sort(pids.begin(), pids.end(), std::greater<>());
    const std::vector<std::int32_t>& listed = context.listedPids;
    const auto wasListed = [&listed](std::int32_t pid) {
        return std::binary_search(listed.begin(), listed.end(), pid);
    };
    for (const std::int32_t pid : pids) {
        if (!wasListed(pid) && !isCandidate(pid)) {
            order_.push_back({pid, -1, false});
        }
    }
    for (const Candidate& candidate : candidates_) {
        order_.push_back({candidate.pid, candidate.descriptor, true});
    }
    for (const std::int32_t pid : pids) {
        if (wasListed(pid) && !isCandidate(pid)) {
            order_.push_back({pid, -1, false});
        }
    }
    context.listedPids.assign(pids.rbegin(), pids.rend());
}

void HolderSearch::scanProcesses(SearchContext& context) {
    for (int checked = 0; checked < ProcessesPerStep && nextItem_ < order_.size(); ++checked) {
        const ScanItem item = order_[nextItem_++];
        if (!item.ownerKnown) {
            const std::optional<std::uint32_t> owner = context.system.processOwner(item.pid);
            if (!owner || *owner != owner_) {
                continue;
            }
        }
        openForScan(context, item.pid, item.hint);
        return;
    }
    if (nextItem_ >= order_.size()) {
        settle();
    }
}

void HolderSearch::openForScan(SearchContext& context, std::int32_t pid, int hint) {
    std::unique_ptr<ProcessView> view = context.system.openProcess(pid);
    if (!view || !view->descriptors(scan_.descriptors)) {
        return;
    }
    orderForScan(scan_.descriptors, hint);
    scan_.view = std::move(view);
    scan_.pid = pid;
    scan_.next = 0;
}

void HolderSearch::scanDescriptors(SearchContext& context) {
    const std::size_t end = std::min(scan_.next + DescriptorsPerStep, scan_.descriptors.size());
    while (scan_.next < end) {
        const int descriptor = scan_.descriptors[scan_.next++];
        if (holdsSocket(*scan_.view, descriptor)) {
            // Named or not (it may have ended just now), this process is done.
            const std::unique_ptr<ProcessView> view = std::move(scan_.view);
            nameHolder(context, *view, scan_.pid, descriptor);
            return;
        }
    }
    if (scan_.next >= scan_.descriptors.size()) {
        scan_.view.reset();
    }
}

bool HolderSearch::holdsSocket(ProcessView& view, int descriptor) {
    return descriptor >= 0 && view.descriptorLink(descriptor, text_) && text_ == expectedLink_;
}

bool HolderSearch::nameHolder(SearchContext& context, ProcessView& view, std::int32_t pid,
                              int descriptor) {
    if (!view.statText(text_)) {
        return false;
    }
    const std::optional<std::uint64_t> startTime = startTimeFromStat(text_);
    if (!startTime) {
        return false;
    }
    std::string program = rememberedProgram(context, pid, *startTime);
    if (program.empty()) {
        std::string executable;
        view.executableLink(executable);  // none for a process of the kernel's
        std::string comm;
        view.commandText(comm);
        program = programName(executable, comm);
    }
    if (program.empty()) {
        return false;  // it ended while being read
    }
    asker_.state = AskerState::Process;
    asker_.pid = pid;
    asker_.program = program;
    startTime_ = *startTime;
    descriptor_ = descriptor;
    context.recent.note({pid, *startTime, owner_, std::move(program), descriptor});
    settle();
    return true;
}

std::string HolderSearch::rememberedProgram(const SearchContext& context, std::int32_t pid,
                                            std::uint64_t startTime) const {
    for (const Candidate& candidate : candidates_) {
        if (candidate.pid == pid && candidate.startTime == startTime) {
            return candidate.program;
        }
    }
    const RecentProcess* recent = context.recent.find(pid, startTime);
    return recent != nullptr ? recent->program : std::string();
}

bool HolderSearch::isCandidate(std::int32_t pid) const {
    return std::any_of(candidates_.begin(), candidates_.end(),
                       [pid](const Candidate& c) { return c.pid == pid; });
}

void HolderSearch::settle() {
    phase_ = Phase::Settled;
    asker_.settled = true;
    // What a search holds open (a process's entries) is released at once.
    scan_ = ProcessScan{};
    order_ = {};
    candidates_ = {};
}

}  // namespace corvane
