/*
 * The contract between Corvane and a filter plug-in.
 *
 * A filter plug-in is a shared library named exactly "Filter.DLL" (that file
 * name, on every platform) which exports FilterQuery, or FilterQueryFrom
 * (told who asked; see below), or both. Corvane
 * opens it by that bare name at startup, along the dynamic loader's search
 * order: the folders in LD_LIBRARY_PATH, then the folders of the corvane
 * executable's RUNPATH (in the build tree its own folder, $ORIGIN; installed,
 * its private folder, $ORIGIN/../lib/corvane), then the system library
 * folders. Under a file capability the loader ignores LD_LIBRARY_PATH and
 * trusts the RUNPATH only inside the system's library folders. Without the
 * library, or with a library that exports neither function, every query is
 * forwarded.
 *
 * This header is plain C and C++: include it from either, define FilterQuery
 * with the prototype below, and build a shared library. The library is free to
 * keep files and settings of its own; Corvane passes it nothing but names
 * (and, to FilterQueryFrom below, who asked).
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
 *   BlockReply  the client gets at once a reply saying that the name does not
 *               exist (RCODE NXDOMAIN): its own ID, the response bit and RA
 *               set, its opcode and RD as it asked, its question section,
 *               no records. Resolvers fail the lookup at once ("not found")
 *               and ask no other server.
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

/*
 * FilterQueryFrom, the optional second export: the same question, with who
 * asked it.
 *
 * A library that exports FilterQueryFrom is called through it and never
 * through FilterQuery, for the same names, in the same order, under the same
 * rules as FilterQuery above (verdicts, thread, speed); it may export
 * FilterQuery as well, for a Corvane that knows only that one. A library
 * that exports only FilterQuery is called exactly as before.
 *
 * name    As for FilterQuery.
 * client  The query's client, read-only, owned by Corvane and valid only
 *         during the call; the same for every name of one query. Its
 *         fields:
 *   size       The size of the structure as Corvane filled it. Fields are
 *              only ever added at the end: read one only when size covers
 *              it, offsetof(struct CorvaneQueryClient, field) + sizeof field.
 *   transport  CORVANE_TRANSPORT_UDP or CORVANE_TRANSPORT_TCP, the IP
 *              protocol numbers.
 *   family     4: an IPv4 address in address[0..3], in network byte order
 *              (address[0] is the first number of the dotted quad), the
 *              other bytes 0. (6, reserved: an IPv6 address in all 16.)
 *   port       The client's port, in host byte order.
 *   asker      Asks who sent the query, for a plug-in that needs to know:
 *              call it as client->asker(client, &asker). Nothing is looked
 *              up unless it is called, so a plug-in that does not need the
 *              answer costs nothing for it. The first call for a query looks
 *              up the process whose socket the query came from, within at
 *              most a millisecond; later calls for the same query give the
 *              same answer at once. Call it only during FilterQueryFrom.
 *   context    Corvane's own, for asker; leave it as it is.
 *
 * struct CorvaneAsker is filled by asker:
 *   size       Set by the plug-in, before the call, to
 *              sizeof(struct CorvaneAsker) as it was built; Corvane writes
 *              only the fields that fit, so fields can be added at the end.
 *   pid        The process that asked; 0 when not known.
 *   uid        The user that owns its socket; -1 when not known.
 *   program    The program's name, the file name of its executable (or its
 *              command name when that cannot be read), as zero-terminated
 *              16-bit text, read from the system's bytes as UTF-8 (a byte
 *              that is not valid UTF-8 becomes U+FFFD); "" when not known.
 *              Owned by Corvane, valid until FilterQueryFrom returns.
 * asker returns 1 when the program is known (pid, uid and program set), 0
 * when it is not: the query came from another machine, the socket was gone,
 * the process could not be read (Corvane running as another user sees only
 * that user's processes; uid is then set) or not be found within the time.
 * It returns -1, writing nothing, when out is null or out->size is smaller
 * than this first version's structure.
 */
#define CORVANE_FILTER_FROM_FUNCTION_NAME "FilterQueryFrom"

/* The transports, as their IP protocol numbers. */
#define CORVANE_TRANSPORT_TCP 6
#define CORVANE_TRANSPORT_UDP 17

struct CorvaneAsker {
    uint32_t size;
    int32_t pid;
    int64_t uid;
    const char16_t* program;
};

struct CorvaneQueryClient {
    uint32_t size;
    uint8_t transport;
    uint8_t family;
    uint16_t port;
    uint8_t address[16];
    int32_t (*asker)(const struct CorvaneQueryClient* client, struct CorvaneAsker* out);
    const void* context;
};

CORVANE_FILTER_EXPORT int32_t FilterQueryFrom(const char16_t* name,
                                              const struct CorvaneQueryClient* client);

/* The type of FilterQueryFrom, for the side that looks it up. */
typedef int32_t (*FilterQueryFromFunction)(const char16_t* name,
                                           const struct CorvaneQueryClient* client);

#endif /* CORVANE_FILTER_H */
