#include "ui/LogViewModel.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace corvane {
namespace {

using EmptyItem = LogViewModel::EmptyItem;

// Breaks every paragraph after each `columns` characters, so that tests know
// exactly where lines wrap; counts the characters it was asked to break.
class ColumnWrapper final : public LineWrapper {
public:
    explicit ColumnWrapper(int columns) : columns_(columns) {}
    std::vector<int> lineStarts(QStringView paragraph) const override {
        charactersWrapped += paragraph.size();
        std::vector<int> starts;
        if (paragraph.size() > columns_) {
            for (int at = 0; at < paragraph.size(); at += columns_) {
                starts.push_back(at);
            }
        }
        return starts;
    }
    double naturalWidth(QStringView paragraph) const override {
        return static_cast<double>(paragraph.size());
    }

    mutable qsizetype charactersWrapped = 0;

private:
    int columns_;
};

class LogViewModelTest : public testing::Test {
protected:
    ColumnWrapper wrapper{10};
    LogViewModel model{wrapper};
};

TEST_F(LogViewModelTest, EmptyItemCountsOneLineUntilRemoved) {
    EXPECT_EQ(model.itemCount(), 0);
    model.itemAdd(-1, u"");
    EXPECT_EQ(model.itemCount(), 1);
    EXPECT_EQ(model.text(), "");
    EXPECT_EQ(model.emptyItem(), EmptyItem::Alone);

    model.itemAdd(-1, u"X");
    EXPECT_EQ(model.text(), "\nX");
    EXPECT_EQ(model.itemCount(), 2);
    EXPECT_EQ(model.emptyItem(), EmptyItem::Broken);

    model.itemRemove(0);
    EXPECT_EQ(model.text(), "X");
    EXPECT_EQ(model.itemCount(), 1);
    model.itemRemove(0);
    EXPECT_EQ(model.text(), "");
    EXPECT_EQ(model.itemCount(), 0);
    EXPECT_EQ(model.emptyItem(), EmptyItem::None);
}

TEST_F(LogViewModelTest, AppendsJoinItemsWithOneBreakAndNoneAtTheEnd) {
    model.itemAdd(-1, u"A");
    model.itemAdd(-1, u"B");
    EXPECT_EQ(model.text(), "A\nB");
    EXPECT_EQ(model.itemCount(), 2);
    model.itemAdd(7, u"C");  // no such line: appended
    EXPECT_EQ(model.text(), "A\nB\nC");
    model.itemAdd(-5, u"D");
    EXPECT_EQ(model.text(), "A\nB\nC\nD");
}

TEST_F(LogViewModelTest, InsertBeforeALineMakesTheNewItemThatLine) {
    model.itemAdd(-1, u"A");
    model.itemAdd(0, u"N");
    EXPECT_EQ(model.text(), "N\nA");
    model.itemAdd(1, u"M");
    EXPECT_EQ(model.text(), "N\nM\nA");
    EXPECT_EQ(model.itemCount(), 3);
    EXPECT_EQ(model.caret(), 4);  // after the inserted item and its break
}

TEST_F(LogViewModelTest, InsertIntoAFreshViewAppendsInsteadOfLeavingAStrayBreak) {
    model.itemAdd(0, u"N");
    EXPECT_EQ(model.text(), "N");
    EXPECT_EQ(model.itemCount(), 1);
}

TEST_F(LogViewModelTest, InsertBeforeTheLoneEmptyItemKeepsItOnce) {
    model.itemAdd(-1, u"");
    model.itemAdd(0, u"N");
    EXPECT_EQ(model.text(), "N\n");
    model.itemAdd(-1, u"Y");
    EXPECT_EQ(model.text(), "N\n\nY");
    EXPECT_EQ(model.itemCount(), 3);
}

TEST_F(LogViewModelTest, WrappedItemCountsSeveralLinesAndLosesOnlyItsFirstLine) {
    model.itemAdd(-1, u"0123456789abcdefghijKLM");  // 3 lines of 10, 10, 3
    model.itemAdd(-1, u"next");
    EXPECT_EQ(model.itemCount(), 4);
    model.itemRemove(0);
    EXPECT_EQ(model.text(), "abcdefghijKLM\nnext");
    EXPECT_EQ(model.itemCount(), 3);
    EXPECT_EQ(model.lineStart(1), 10);
    EXPECT_EQ(model.lineStart(2), 14);
}

TEST_F(LogViewModelTest, RemovingALineInsideAWrappedItemCutsOnlyThoseCharacters) {
    model.itemAdd(-1, u"0123456789abcdefghijKLM");
    model.itemRemove(1);
    EXPECT_EQ(model.text(), "0123456789KLM");
    EXPECT_EQ(model.caret(), 10);
    model.itemRemove(1);  // the last line: up to the end of the text
    EXPECT_EQ(model.text(), "0123456789");
    model.itemRemove(1);  // no such line
    model.itemRemove(-1);
    EXPECT_EQ(model.text(), "0123456789");
}

TEST_F(LogViewModelTest, LineBreaksInsideAnItemBecomeItemBreaks) {
    model.itemAdd(-1, u"a\r\nb\rc\nd");
    EXPECT_EQ(model.text(), "a\nb\nc\nd");
    EXPECT_EQ(model.itemCount(), 4);
}

TEST_F(LogViewModelTest, CaretToEndAndClear) {
    model.itemAdd(-1, u"hello");
    model.itemAdd(-1, u"world");
    model.setSelection(1, 3);
    EXPECT_EQ(model.selectedText(), "el");
    model.caretToEnd();
    EXPECT_FALSE(model.hasSelection());
    EXPECT_EQ(model.caret(), 11);
    model.setSelection(3, 8);
    EXPECT_EQ(model.selectedText(), "lo\nwo");
    model.itemAdd(-1, u"");
    model.clear();
    EXPECT_EQ(model.itemCount(), 0);
    EXPECT_EQ(model.emptyItem(), EmptyItem::None);
    EXPECT_EQ(model.text(), "");
}

TEST_F(LogViewModelTest, RewrapAllCountsAgainAtANewWidth) {
    model.itemAdd(-1, u"0123456789abcdefghij");
    EXPECT_EQ(model.itemCount(), 2);
    ColumnWrapper narrow{5};
    LogViewModel other{narrow};
    other.itemAdd(-1, u"0123456789abcdefghij");
    EXPECT_EQ(other.itemCount(), 4);
    EXPECT_EQ(other.lineOfPosition(12), 2);
    EXPECT_EQ(other.paragraphOfLine(3), 0);
}

// The editor's semantics on a plain string, the obvious way: every operation
// rebuilds the line table from scratch. The model must agree with it after
// any sequence of operations, however it keeps its books.
class ReferenceEditor {
public:
    explicit ReferenceEditor(int columns) : columns_(columns) {}

    int itemCount() const {
        if (text_.empty()) {
            return state_ == EmptyItem::None ? 0 : 1;
        }
        return static_cast<int>(lineStarts().size());
    }
    void itemRemove(int index) {
        const std::vector<std::size_t> starts = lineStarts();
        if (index < 0 || index >= static_cast<int>(starts.size())) {
            return;
        }
        const std::size_t from = starts[static_cast<std::size_t>(index)];
        const std::size_t to = static_cast<std::size_t>(index) + 1 < starts.size()
                                   ? starts[static_cast<std::size_t>(index) + 1]
                                   : text_.size();
        text_.erase(from, to - from);
        if (text_.empty()) {
            state_ = EmptyItem::None;
        }
    }
    void itemAdd(int position, const std::u16string& item) {
        if (position < 0 || position >= itemCount()) {
            const std::size_t n = text_.size();
            if (state_ == EmptyItem::Alone) {
                text_ += u'\n';
                state_ = EmptyItem::Broken;
            }
            if (n > 0) {
                text_ += u'\n';
            } else if (item.empty() && state_ == EmptyItem::None) {
                state_ = EmptyItem::Alone;
            }
            text_ += item;
            return;
        }
        text_.insert(lineStarts()[static_cast<std::size_t>(position)], item + u'\n');
        if (state_ == EmptyItem::Alone) {
            state_ = EmptyItem::Broken;
        }
    }
    const std::u16string& text() const { return text_; }
    EmptyItem state() const { return state_; }

    std::vector<std::size_t> lineStarts() const {
        std::vector<std::size_t> starts;
        std::size_t begin = 0;
        for (;;) {
            std::size_t end = text_.find(u'\n', begin);
            const std::size_t stop = end == std::u16string::npos ? text_.size() : end;
            starts.push_back(begin);
            for (std::size_t at = begin + static_cast<std::size_t>(columns_); at < stop;
                 at += static_cast<std::size_t>(columns_)) {
                starts.push_back(at);
            }
            if (end == std::u16string::npos) {
                return starts;
            }
            begin = end + 1;
        }
    }

private:
    int columns_;
    std::u16string text_;
    EmptyItem state_ = EmptyItem::None;
};

// Every displayed line starts, reads and is found where the reference puts
// it, the lines of paragraphs trimmed from their front included.
testing::AssertionResult sameLines(const LogViewModel& model, const ReferenceEditor& reference) {
    if (reference.text().empty()) {
        return testing::AssertionSuccess();
    }
    const std::vector<std::size_t> starts = reference.lineStarts();
    const std::u16string_view text = reference.text();
    for (std::size_t line = 0; line < starts.size(); ++line) {
        std::size_t end = line + 1 < starts.size() ? starts[line + 1] : text.size();
        if (end > starts[line] && text[end - 1] == u'\n') {
            --end;  // the paragraph's break follows its last line
        }
        const std::u16string_view expected = text.substr(starts[line], end - starts[line]);
        const int at = static_cast<int>(line);
        if (model.lineStart(at) != static_cast<qint64>(starts[line]) ||
            model.lineText(at) !=
                QStringView(expected.data(), static_cast<qsizetype>(expected.size())) ||
            model.lineOfPosition(static_cast<qint64>(starts[line])) != at) {
            return testing::AssertionFailure() << "line " << line;
        }
    }
    return testing::AssertionSuccess();
}

TEST(LogViewModelAgainstReference, RandomOperationSequencesAgree) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        ColumnWrapper wrapper{6};
        LogViewModel model{wrapper};
        ReferenceEditor reference{6};
        for (int step = 0; step < 300; ++step) {
            const int count = reference.itemCount();
            const auto pick = random() % 10;
            if (pick < 3 && count > 0) {
                const int index =
                    pick == 0 ? static_cast<int>(random() % static_cast<unsigned>(count)) : 0;
                model.itemRemove(index);
                reference.itemRemove(index);
            } else {
                std::u16string item(random() % 24, u'x');
                for (char16_t& c : item) {
                    c = static_cast<char16_t>(u'a' + random() % 26);
                }
                const int position =
                    pick < 5 ? static_cast<int>(random() % static_cast<unsigned>(count + 2)) - 1
                             : -1;
                model.itemAdd(position,
                              QStringView(item.data(), static_cast<qsizetype>(item.size())));
                reference.itemAdd(position, item);
            }
            ASSERT_EQ(model.text().toStdU16String(), reference.text())
                << "seed " << seed << " step " << step;
            ASSERT_EQ(model.itemCount(), reference.itemCount())
                << "seed " << seed << " step " << step;
            ASSERT_EQ(model.emptyItem(), reference.state());
            ASSERT_EQ(model.textLength(), static_cast<qint64>(reference.text().size()));
            if (step % 10 == 9) {  // every line of the text: the slowest check
                ASSERT_TRUE(sameLines(model, reference)) << "seed " << seed << " step " << step;
            }
        }
    }
}

TEST(LogViewModelAgainstReference, TrimmingWrappedLogLinesStaysBoundedAndAgrees) {
    ColumnWrapper wrapper{8};
    LogViewModel model{wrapper};
    ReferenceEditor reference{8};
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        std::u16string line = u"line " + std::u16string(random() % 20, u'-');  // 1 to 3 lines
        while (model.itemCount() > 1280) {
            model.itemRemove(0);
        }
        model.itemAdd(-1, QStringView(line.data(), static_cast<qsizetype>(line.size())));
        while (reference.itemCount() > 1280) {
            reference.itemRemove(0);
        }
        reference.itemAdd(-1, line);
    }
    EXPECT_GT(model.itemCount(), 1280);
    EXPECT_LE(model.itemCount(), 1283);
    EXPECT_EQ(model.text().toStdU16String(), reference.text());
}

// The log's cap with entries of many lines: each is trimmed line by line
// from the front, as the sink does it, and the view holds after every append
// exactly what the reference holds.
TEST(LogViewModelAgainstReference, LongEntriesTrimmedLineByLineAgree) {
    constexpr int Cap = 60;
    ColumnWrapper wrapper{7};
    LogViewModel model{wrapper};
    ReferenceEditor reference{7};
    std::mt19937 random(11);
    for (int i = 0; i < 400; ++i) {
        // Mostly one or two lines, now and then up to 80.
        const std::size_t length = i % 9 == 4 ? 100 + random() % 460 : random() % 12;
        std::u16string line(length, u'x');
        for (char16_t& c : line) {
            c = static_cast<char16_t>(u'a' + random() % 26);
        }
        while (model.itemCount() > Cap) {
            model.itemRemove(0);
        }
        while (reference.itemCount() > Cap) {
            reference.itemRemove(0);
        }
        model.itemAdd(-1, QStringView(line.data(), static_cast<qsizetype>(line.size())));
        reference.itemAdd(-1, line);
        ASSERT_EQ(model.text().toStdU16String(), reference.text()) << "append " << i;
        ASSERT_EQ(model.itemCount(), reference.itemCount()) << "append " << i;
        ASSERT_TRUE(sameLines(model, reference)) << "append " << i;
    }
}

// The stall a long name caused: trimming an entry of k lines broke the rest
// of it into lines again for each line removed, k times its length in all.
// Now an entry is broken once, when it comes, and trimming breaks nothing.
TEST(LogViewModelTrimCost, TrimmingAnEntryOfManyLinesBreaksNothingAgain) {
    ColumnWrapper wrapper{8};
    LogViewModel model{wrapper};
    for (int i = 0; i < 100; ++i) {
        model.itemAdd(-1, u"ordinary");
    }
    const std::u16string entry(80000, u'x');  // 10,000 lines
    const qsizetype before = wrapper.charactersWrapped;
    model.itemAdd(-1, QStringView(entry.data(), static_cast<qsizetype>(entry.size())));
    EXPECT_EQ(wrapper.charactersWrapped - before, static_cast<qsizetype>(entry.size()));

    const qsizetype afterEntry = wrapper.charactersWrapped;
    qsizetype appended = 0;
    int removed = 0;
    for (int i = 0; i < 300; ++i) {
        while (model.itemCount() > 100) {
            model.itemRemove(0);
            ++removed;
        }
        model.itemAdd(-1, u"ordinary");
        appended += 8;
    }
    EXPECT_GT(removed, 10000);  // the whole entry went, line by line
    EXPECT_FALSE(model.text().contains(u'x'));
    EXPECT_EQ(wrapper.charactersWrapped - afterEntry, appended);
}

}  // namespace
}  // namespace corvane
