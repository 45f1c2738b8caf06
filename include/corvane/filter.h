/*
 * The contract between Corvane and a filter plug-in.
 *
 * A filter plug-in is a shared library named exactly "Filter.DLL" (that file
 * name, on every platform) which exports one function, FilterQuery. Corvane
 * opens it by that bare name at startup, along the dynamic loader's search
 * order: the folders in LD_LIBRARY_PATH, then the folders of the corvane
 * executable's RUNPATH (in the build tree its own folder, $ORIGIN; installed,
 * its private folder, $ORIGIN/../lib/corvane), then the system library
 * folders. Under a file capability the loader ignores LD_LIBRARY_PATH and
 * trusts the RUNPATH only inside the system's library folders. Without the
 * library, or with a library that lacks the export, every query is forwarded.
 *
 * This header is plain C and C++: include it from either, define FilterQuery
 * with the prototype below, and build a shared library. The library is free to
 * keep files and settings of its own; Corvane passes it nothing but names.
 */
#ifndef CORVANE_FILTER_H
#define CORVANE_FILTER_H

/* <stdint.h>, not <cstdint>, in C++ too: it is the one that promises
 * int32_t in the global namespace, where the prototype below names it. */
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

/*
 * Makes FilterQuery visible in the library's dynamic symbol table. Libraries
 * built with -fvisibility=hidden (recommended, so that nothing else leaks out)
 * still export it because the macro marks the declaration
 * __attribute__((visibility("default"))). C linkage keeps the exported name
 * unmangled, exactly "FilterQuery"; the lookup is case-sensitive.
 */
#ifdef __cplusplus
#define CORVANE_FILTER_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define CORVANE_FILTER_EXPORT __attribute__((visibility("default")))
#endif

/* The file Corvane opens and the export it looks up, as 8-bit text. */
#define CORVANE_FILTER_FILE_NAME "Filter.DLL"
#define CORVANE_FILTER_FUNCTION_NAME "FilterQuery"

/*
 * Verdicts, the values FilterQuery returns.
 *   Forward     the query goes on to the upstream resolver.
 *   Block       the query is dropped; the client gets no reply.
 *   BlockReply  the client gets at once the bare 12-byte header of its own
 *               query: its ID and NSCOUNT kept, flags and the other counts 0.
 * Any other value is treated like Forward and also ends the offering of the
 * query's further names.
 */
enum FilterVerdict { Forward = 0, Block = 1, BlockReply = 2 };

/*
 * FilterQuery is called with one question name of a query and returns its
 * verdict as a signed 32-bit integer.
 *
 * name  A zero-terminated string of 16-bit characters (char16_t). Each byte
 *       of the name on the wire becomes one character of the same value, so
 *       bytes 0x80..0xFF arrive as U+0080..U+00FF; labels are joined with '.';
 *       no trailing dot, no case folding, never empty. The text belongs to the
 *       caller and is valid only during the call: copy what you keep.
 *       It comes from the network: a label may hold any byte but 0, '.'
 *       included, so every character may start what looks like a parent
 *       domain, and a name over TCP may be tens of thousands of characters
 *       long. Bound nothing by the usual shape of names.
 *
 * Calls come from Corvane's main thread only, one at a time, for each
 * non-empty question name of a query in datagram order, until one call
 * returns a value other than Forward; the names after that one are not
 * offered. The same name is offered again for every query that holds it.
 * The whole program waits while FilterQuery runs, so keep it fast.
 *
 * There is no initialisation or shutdown call: prepare lazily on the first
 * call and release in the library's destructors, which run when Corvane
 * unloads it at exit. The function uses the platform's C calling convention.
 * Do not let a C++ exception, longjmp or fault escape from it.
 */
CORVANE_FILTER_EXPORT int32_t FilterQuery(const char16_t* name);

/* The type of FilterQuery, for the side that looks it up. */
typedef int32_t (*FilterQueryFunction)(const char16_t* name);

#endif /* CORVANE_FILTER_H */
