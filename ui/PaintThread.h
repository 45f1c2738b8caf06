#pragma once

namespace corvane {

// Qt's raster engine hands the rows of a large fill, and of some image
// conversions, to the global thread pool, whose threads end after 30 s idle
// and are started again on demand. Starting a thread takes a descriptor for
// its event dispatcher, and Qt aborts the process when none is left: a paint
// while descriptors run short (connections waiting under a low limit, a
// plug-in that leaks them) would end the program. So the pool is held to one
// thread, started here and kept for the program's life; no paint starts a
// thread after this. Call once, after the application exists.
void keepOnePaintThread();

}  // namespace corvane
