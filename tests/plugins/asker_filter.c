/* A test filter plug-in that exports FilterQueryFrom and FilterQuery both,
 * and writes what each call was given to the file "asker.log" in the working
 * directory, one line a call:
 *
 *   from NAME TRANSPORT ADDRESS PORT RESULT PID UID PROGRAM
 *   query NAME                         (FilterQuery: should never be called)
 *
 * TRANSPORT is the client's transport number, ADDRESS its dotted quad, RESULT
 * what the asker callback returned, PROGRAM the program's name with every
 * character outside printable ASCII as '?' ("-" when empty). It asks for the
 * asker on every call. Its verdict: BlockReply for names starting with
 * "reply.", Forward for the rest, so that a test sees the asker looked up
 * before a reply that goes out at once. Written in C: the header's second
 * export is usable from C. */
#include <corvane/filter.h>
#include <stddef.h>
#include <stdio.h>

static void writeText(FILE* out, const char16_t* text) {
    if (text == NULL || *text == 0) {
        fputc('-', out);
        return;
    }
    for (; *text != 0; ++text) {
        fputc(*text > 0x20 && *text < 0x7F ? (int)*text : '?', out);
    }
}

static int startsWithReply(const char16_t* name) {
    const char16_t* prefix = u"reply.";
    while (*prefix != 0 && *name == *prefix) {
        ++name;
        ++prefix;
    }
    return *prefix == 0;
}

int32_t FilterQueryFrom(const char16_t* name, const struct CorvaneQueryClient* client) {
    struct CorvaneAsker asker = {sizeof asker, -7, -7, NULL};
    const int32_t result = client->asker(client, &asker);
    FILE* out = fopen("asker.log", "a");
    if (out != NULL) {
        fputs("from ", out);
        writeText(out, name);
        fprintf(out, " %u %u.%u.%u.%u %u %d %d %lld ", client->transport, client->address[0],
                client->address[1], client->address[2], client->address[3], client->port,
                (int)result, (int)asker.pid, (long long)asker.uid);
        writeText(out, asker.program);
        fputc('\n', out);
        fclose(out);
    }
    return startsWithReply(name) ? BlockReply : Forward;
}

int32_t FilterQuery(const char16_t* name) {
    FILE* out = fopen("asker.log", "a");
    if (out != NULL) {
        fputs("query ", out);
        writeText(out, name);
        fputc('\n', out);
        fclose(out);
    }
    return Forward;
}
