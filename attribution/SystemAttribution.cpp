#include "attribution/SystemAttribution.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace corvane {

namespace {

// Whether CAP_SYS_PTRACE is in the process's effective set. The C library
// has no call for it (libcap would be a dependency for one bit), so the
// system call is made directly.
bool hasTraceCapability() {
    __user_cap_header_struct header{};
    header.version = _LINUX_CAPABILITY_VERSION_3;
    header.pid = 0;
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    constexpr int Bit = CAP_SYS_PTRACE;
    return (data[Bit / 32].effective & (1u << (Bit % 32))) != 0;
}

}  // namespace

SystemAttribution::SystemAttribution(const MonotonicClock& clock)
    : addresses_(clock), ownUid_(::geteuid()), mayTraceAny_(hasTraceCapability()) {}

bool SystemAttribution::mayReadProcessesOf(std::uint32_t uid) const {
    return mayTraceAny_ || uid == ownUid_;
}

}  // namespace corvane
