#pragma once

#include <span>

namespace corvane {

// What ended an idle wait.
enum class WaitEnd {
    Descriptor,  // one of the descriptors became readable
    Window,      // Qt had something for this thread and delivered it
    Deadline,    // the time given ran out
};

// The idle pause of the main loop: sleeps until one of `descriptors` is
// readable (negative entries are skipped), Qt has something to deliver on this
// thread (a window-system event, a posted event, a timer of its own such as
// the log view's next frame), or `timeoutMs` have passed (negative: no
// deadline; 0: no wait at all). What Qt delivers meanwhile is handled as
// eventPoll would handle it, so events it queues come out of the next poll.
//
// Under the program's own dispatcher (LoopDispatcher) the descriptors are
// watched from the first wait that names them until a wait names others:
// a descriptor named in the last wait must not be closed and another file
// opened under its number, unless forgetWaitDescriptors comes in between.
// The program's descriptors stay open as long as it runs.
WaitEnd waitForWork(std::span<const int> descriptors, int timeoutMs);
void forgetWaitDescriptors();

}  // namespace corvane
