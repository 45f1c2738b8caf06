#include "attribution/RecentProcesses.h"

#include <algorithm>

namespace corvane {

const RecentProcess* RecentProcesses::find(std::int32_t pid, std::uint64_t startTime) const {
    const auto found = std::find_if(processes_.begin(), processes_.end(), [&](const auto& p) {
        return p.pid == pid && p.startTime == startTime;
    });
    return found == processes_.end() ? nullptr : &*found;
}

void RecentProcesses::note(const RecentProcess& process) {
    if (capacity_ == 0) {
        return;
    }
    const auto same = std::find_if(processes_.begin(), processes_.end(),
                                   [&](const auto& p) { return p.pid == process.pid; });
    if (same != processes_.end()) {
        processes_.erase(same);
    } else if (processes_.size() >= capacity_) {
        processes_.pop_back();
    }
    processes_.insert(processes_.begin(), process);
}

}  // namespace corvane
