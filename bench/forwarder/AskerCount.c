/* A filter plug-in for the forwarding benchmark: it lets every query through
 * and, through FilterQueryFrom, asks who sent it, counting the answers: the
 * program named, only the socket's owner known (the process not found
 * within the time a lookup may take at once), or nothing (the socket gone,
 * another machine). Queries for names under "fresh.bench" (the benchmark's
 * clients that open a socket per query) are counted apart from the rest,
 * and UDP apart from TCP. The counts go to "asker-count.txt" in the working
 * directory when the library is unloaded, at the program's exit:
 *
 *   udp|tcp|fresh NAMED OWNER UNKNOWN
 *
 * A host that does not call FilterQueryFrom gets FilterQuery, which counts
 * nothing. */
#include <corvane/filter.h>
#include <stdio.h>

enum { Udp, Tcp, Fresh, Kinds };
enum { Named, Owner, Unknown, Outcomes };
static unsigned long long counts[Kinds][Outcomes];

static int isFresh(const char16_t* name) {
    static const char16_t marker[] = u".fresh.bench";
    const size_t markerLength = sizeof marker / sizeof marker[0] - 1;
    size_t length = 0;
    while (name[length] != 0) {
        ++length;
    }
    if (length < markerLength) {
        return 0;
    }
    for (size_t i = 0; i < markerLength; ++i) {
        if (name[length - markerLength + i] != marker[i]) {
            return 0;
        }
    }
    return 1;
}

int32_t FilterQueryFrom(const char16_t* name, const struct CorvaneQueryClient* client) {
    struct CorvaneAsker asker = {sizeof asker, 0, -1, NULL};
    const int32_t named = client->asker(client, &asker);
    const int kind = isFresh(name) ? Fresh : client->transport == CORVANE_TRANSPORT_TCP ? Tcp : Udp;
    const int outcome = named == 1 ? Named : asker.uid >= 0 ? Owner : Unknown;
    ++counts[kind][outcome];
    return Forward;
}

int32_t FilterQuery(const char16_t* name) {
    (void)name;
    return Forward;
}

__attribute__((destructor)) static void writeCounts(void) {
    static const char* const kinds[Kinds] = {"udp", "tcp", "fresh"};
    FILE* out = fopen("asker-count.txt", "w");
    if (out == NULL) {
        return;
    }
    for (int kind = 0; kind < Kinds; ++kind) {
        fprintf(out, "%s %llu %llu %llu\n", kinds[kind], counts[kind][Named], counts[kind][Owner],
                counts[kind][Unknown]);
    }
    fclose(out);
}
