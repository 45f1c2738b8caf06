#include "attribution/AskerDescription.h"

#include "ui/DialogText.h"

namespace corvane {

namespace {

constexpr char16_t Replacement = u'\uFFFD';

bool isHiddenOrReordering(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void appendShown(std::u16string_view text, std::u16string& out) {
    for (const char16_t c : text) {
        out += isHiddenOrReordering(c) ? Replacement : c;
    }
}

void appendAscii(std::string_view text, std::u16string& out) {
    out.append(text.begin(), text.end());
}

void appendDecimal(std::int64_t value, std::u16string& out) {
    appendAscii(std::to_string(value), out);
}

void appendClient(const ClientKey& client, std::u16string& out) {
    appendAscii(client.protocol == IpProtocol::Tcp ? "TCP " : "UDP ", out);
    // The address is in network byte order: its first byte in memory is the
    // first of the dotted quad.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&client.address);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            out += u'.';
        }
        appendDecimal(bytes[i], out);
    }
    out += u':';
    appendDecimal(client.port, out);
}

void appendProcess(const Asker& asker, UserNames& users, std::u16string& out) {
    if (!asker.program.empty()) {
        appendShown(programText(asker.program), out);
        out += u' ';
    }
    appendAscii("(pid ", out);
    appendDecimal(asker.pid, out);
    const std::u16string_view user =
        asker.uid >= 0 ? users.userName(static_cast<std::uint32_t>(asker.uid)) : u"";
    if (!user.empty()) {
        appendAscii(", user ", out);
        appendShown(user, out);
    } else {
        appendAscii(", uid ", out);
        appendDecimal(asker.uid, out);
    }
    appendAscii("), ", out);
}

}  // namespace

std::u16string programText(std::string_view program) {
    return fromUtf8(program);
}

std::u16string describeAsker(const Asker& asker, const ClientKey& client, UserNames& users) {
    std::u16string out;
    switch (asker.state) {
        case AskerState::Process:
            appendProcess(asker, users, out);
            break;
        case AskerState::Owner:
            appendAscii("uid ", out);
            appendDecimal(asker.uid, out);
            appendAscii(", ", out);
            break;
        case AskerState::Unknown:
            appendAscii("unknown, ", out);
            break;
        case AskerState::Remote:
            break;
    }
    appendClient(client, out);
    return out;
}

}  // namespace corvane
