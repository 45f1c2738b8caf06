#pragma once

namespace corvane {

// Suspends the calling thread for `ms` milliseconds (nothing for ms <= 0).
// Linux sleeps already have sub-millisecond resolution, so there is no timer
// resolution to raise first.
void sleepMs(int ms);

}  // namespace corvane
