#include "log/WriteAll.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace corvane {
namespace {

// A pipe that takes fewer bytes than offered: writeAll must stop at the
// first error (EAGAIN here) instead of spinning, and say how far it got,
// both in its result and in the progress it keeps.
TEST(WriteAll, StopsAtAnErrorAndCountsWhatWasWritten) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    const int capacity = ::fcntl(fds[1], F_GETPIPE_SZ);
    ASSERT_GT(capacity, 0);
    const std::string bytes(static_cast<std::size_t>(capacity) * 2 + 7, 'x');
    std::atomic<std::size_t> progress{5};

    const std::size_t written = writeAll(fds[1], bytes.data(), bytes.size(), &progress);

    EXPECT_EQ(written, static_cast<std::size_t>(capacity));
    EXPECT_EQ(progress.load(), 5 + written);
    std::string drained(bytes.size(), '\0');
    EXPECT_EQ(::read(fds[0], drained.data(), drained.size()), capacity);
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace
}  // namespace corvane
