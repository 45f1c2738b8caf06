// Who asked, in the window: the tip of a log line, through the view, as the
// pointer resting on it makes it.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>
#include <map>
#include <string>

#include "tests/ui/QtApp.h"
#include "ui/LogViewSink.h"
#include "ui/LogViewWidget.h"

namespace corvane {
namespace {

class KnownUsers final : public UserNames {
public:
    std::map<std::uint32_t, std::u16string> names{{1000, u"alice"}};
    int lookups = 0;
    std::u16string_view userName(std::uint32_t uid) override {
        ++lookups;
        const auto found = names.find(uid);
        return found == names.end() ? std::u16string_view() : found->second;
    }
};

ClientKey clientAt(std::uint32_t hostOrderAddress, std::uint16_t port,
                   IpProtocol protocol = IpProtocol::Udp) {
    return ClientKey{protocol, htonl(hostOrderAddress), port};
}

Asker askerOf(AskerState state, std::int32_t pid, std::int64_t uid, std::string program,
              bool settled = true) {
    Asker asker;
    asker.state = state;
    asker.pid = pid;
    asker.uid = uid;
    asker.program = std::move(program);
    asker.settled = settled;
    return asker;
}

class LogViewAskers : public testing::Test {
protected:
    void SetUp() override {
        view.resize(400, 300);
        view.show();
        QCoreApplication::processEvents();
    }
    // The tip where the pointer rests on displayed line `line`, scrolled
    // into view.
    QString tipOfLine(int line) {
        view.flushFrame();
        view.verticalScrollBar()->setValue(line);
        const int spacing = QFontMetrics(view.font()).lineSpacing();
        return view.noteTextAt(
            QPoint(20, (line - view.firstVisibleLine()) * spacing + spacing / 2));
    }

    QApplication& app = test::ensureQtApp();
    LogViewWidget view;
    KnownUsers users;
    LogViewSink sink{&view, &users};
};

struct TipCase {
    const char* label;
    ClientKey client;
    Asker asker;
    QString tip;
};
void PrintTo(const TipCase& c, std::ostream* os) {
    *os << c.label;
}

class LogViewAskerTips : public LogViewAskers, public testing::WithParamInterface<TipCase> {};

TEST_P(LogViewAskerTips, ALinesTipSaysWhoAskedItsQueryAndItsTextStaysAsItWas) {
    sink.appendLine(u"12:00:00 | Filter.DLL not loaded/unrecognized");
    sink.appendQueryLine(u"12:00:01 | Q  [1234] : www.example", GetParam().client,
                         GetParam().asker);
    EXPECT_EQ(view.text(),
              "12:00:00 | Filter.DLL not loaded/unrecognized\n12:00:01 | Q  [1234] : www.example");
    EXPECT_EQ(tipOfLine(0), QString()) << "a line about no query has no tip";
    EXPECT_EQ(tipOfLine(1), GetParam().tip);
    EXPECT_EQ(tipOfLine(2), QString()) << "below the last line";
}

// Each kind of answer's text is describeAsker's (AskerDescription_test);
// here, that the view shows it as the text it is.
INSTANTIATE_TEST_SUITE_P(
    Askers, LogViewAskerTips,
    testing::Values(TipCase{"process", clientAt(0x7F000001, 51234),
                            askerOf(AskerState::Process, 2412, 1000, "firefox-esr"),
                            "firefox-esr (pid 2412, user alice), UDP 127.0.0.1:51234"},
                    // A name is whatever its owner chose: markup shows as the text it is.
                    TipCase{
                        "markup in a name", clientAt(0x7F000001, 1),
                        askerOf(AskerState::Process, 3, 1000, "<b>bold</b>"),
                        Qt::convertFromPlainText("<b>bold</b> (pid 3, user alice), UDP 127.0.0.1:1",
                                                 Qt::WhiteSpacePre)}),
    [](const auto& param) { return std::to_string(param.index); });

TEST_F(LogViewAskers, TheTipShowsWhenThePointerRestsOnALine) {
    sink.appendQueryLine(u"12:00:01 | Q  [1234] : www.example", clientAt(0x7F000001, 51234),
                         askerOf(AskerState::Process, 2412, 1000, "firefox-esr"));
    view.flushFrame();
    const int spacing = QFontMetrics(view.font()).lineSpacing();
    const QPoint at(30, spacing / 2);
    QHelpEvent rest(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view.viewport(), &rest);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), "firefox-esr (pid 2412, user alice), UDP 127.0.0.1:51234");
    QToolTip::hideText();
}

// Made when shown, not when logged: the user database is asked only then.
TEST_F(LogViewAskers, ADescriptionIsMadeOnlyWhenShownAndFollowsALookupThatSettled) {
    const ClientKey client = clientAt(0x7F000001, 51234);
    const Asker waiting = askerOf(AskerState::Owner, 0, 1000, "", false);
    sink.appendQueryLine(u"Q  [1234] : a.example", client, waiting);
    sink.appendQueryLine(u"A  [1234] = 40b", client, waiting);
    sink.appendQueryLine(u"Q  [5678] : b.example", clientAt(0x7F000001, 51235), waiting);
    EXPECT_EQ(users.lookups, 0);
    EXPECT_EQ(tipOfLine(0), "uid 1000, UDP 127.0.0.1:51234");
    sink.askerSettled(client, askerOf(AskerState::Process, 2412, 1000, "firefox-esr"));
    EXPECT_EQ(tipOfLine(0), "firefox-esr (pid 2412, user alice), UDP 127.0.0.1:51234");
    EXPECT_EQ(tipOfLine(1), "firefox-esr (pid 2412, user alice), UDP 127.0.0.1:51234");
    EXPECT_EQ(tipOfLine(2), "uid 1000, UDP 127.0.0.1:51235") << "another client's lookup";
    // A lookup of the same client that settles later names a later socket:
    // the lines already settled keep what they said.
    sink.askerSettled(client, askerOf(AskerState::Process, 99, 1000, "other"));
    EXPECT_EQ(tipOfLine(0), "firefox-esr (pid 2412, user alice), UDP 127.0.0.1:51234");
}

// The log trims its oldest lines as it goes: every line left, however many
// came and went, keeps its own asker, never a newer line's.
TEST_F(LogViewAskers, EveryLineLeftAfterTheTrimKeepsItsOwnAsker) {
    const int total = 3 * LogViewSink::MaxLinesBeforeTrim + 17;
    for (int i = 0; i < total; ++i) {
        const std::u16string line = u"Q  [0000] : n" + QString::number(i).toStdU16String();
        sink.appendQueryLine(line, clientAt(0x7F000001, static_cast<std::uint16_t>(1000 + i)),
                             askerOf(AskerState::Process, i, 1000, "p"));
    }
    const int shown = view.itemCount();
    ASSERT_LE(shown, LogViewSink::MaxLinesBeforeTrim + 1);
    for (const int line : {0, 1, shown / 2, shown - 1}) {
        const int first = total - shown + line;
        const QString expected =
            QStringLiteral("p (pid %1, user alice), UDP 127.0.0.1:%2").arg(first).arg(1000 + first);
        EXPECT_EQ(view.model().lineText(line), QStringLiteral("Q  [0000] : n%1").arg(first));
        EXPECT_EQ(tipOfLine(line), expected) << "line " << line;
    }
}

}  // namespace
}  // namespace corvane
