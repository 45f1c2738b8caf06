#include "ui/LogViewModel.h"

#include <algorithm>
#include <vector>

namespace corvane {

namespace {

constexpr QChar ParagraphBreak = u'\n';

bool isBreak(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

// Splits inserted text at its line breaks, as the editor turns each of them
// ("\r\n" counting once) into a paragraph break.
std::vector<QStringView> splitParagraphs(QStringView text) {
    std::vector<QStringView> pieces;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isBreak(text[i])) {
            continue;
        }
        pieces.push_back(text.sliced(begin, i - begin));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++i;
        }
        begin = i + 1;
    }
    pieces.push_back(text.sliced(begin));
    return pieces;
}

}  // namespace

LogViewModel::LogViewModel(const LineWrapper& wrapper) : wrapper_(wrapper) {
    paras_.emplace_back();
    rewrap(paras_.front());
}

int LogViewModel::Paragraph::lineOffset(int line) const {
    return starts.empty() ? 0 : starts[static_cast<std::size_t>(trimmed + line)] - head();
}

QString& LogViewModel::editableText(Paragraph& paragraph) {
    if (paragraph.trimmed > 0) {
        paragraph.text.remove(0, paragraph.head());
        paragraph.trimmed = 0;
    }
    paragraph.starts.clear();
    return paragraph.text;
}

void LogViewModel::rewrap(Paragraph& paragraph) const {
    const QString& text = editableText(paragraph);
    paragraph.starts = wrapper_.lineStarts(text);
    paragraph.width = -1;
}

void LogViewModel::rewrapAll() {
    for (Paragraph& paragraph : paras_) {
        rewrap(paragraph);
    }
    renumber(0, paras_.size() - 1);
}

void LogViewModel::renumber(std::size_t first, std::size_t last) {
    if (first == 0 && last + 1 < paras_.size()) {
        // Anchor the changed front on the first unchanged paragraph.
        for (std::size_t i = last + 1; i-- > 0;) {
            const Paragraph& next = paras_[i + 1];
            paras_[i].start = next.start - paras_[i].size() - 1;
            paras_[i].firstLine = next.firstLine - paras_[i].lines();
        }
        return;
    }
    for (std::size_t i = std::max<std::size_t>(first, 1); i < paras_.size(); ++i) {
        const Paragraph& prev = paras_[i - 1];
        paras_[i].start = prev.start + prev.size() + 1;
        paras_[i].firstLine = prev.firstLine + prev.lines();
    }
}

qint64 LogViewModel::textLength() const {
    const Paragraph& back = paras_.back();
    return back.start + back.size() - paras_.front().start;
}

int LogViewModel::lineCount() const {
    const Paragraph& back = paras_.back();
    return static_cast<int>(back.firstLine + back.lines() - paras_.front().firstLine);
}

int LogViewModel::itemCount() const {
    return emptyLine_.itemCount(isEmptyText(), lineCount());
}

QString LogViewModel::text() const {
    return textRange(0, textLength());
}

qint64 LogViewModel::paragraphStart(int paragraph) const {
    return paras_[index(paragraph)].start - paras_.front().start;
}

int LogViewModel::paragraphFirstLine(int paragraph) const {
    return static_cast<int>(paras_[index(paragraph)].firstLine - paras_.front().firstLine);
}

int LogViewModel::paragraphOfLine(int line) const {
    const qint64 absolute = paras_.front().firstLine + std::clamp(line, 0, lineCount() - 1);
    // The log asks about the first lines and the end far more than anything
    // in between; answer those without a search.
    if (absolute < paras_.front().firstLine + paras_.front().lines()) {
        return 0;
    }
    if (absolute >= paras_.back().firstLine) {
        return paragraphCount() - 1;
    }
    if (absolute < paras_[1].firstLine + paras_[1].lines()) {
        return 1;
    }
    auto it = std::upper_bound(
        paras_.begin(), paras_.end(), absolute,
        [](qint64 value, const Paragraph& paragraph) { return value < paragraph.firstLine; });
    return static_cast<int>(it - paras_.begin()) - 1;
}

int LogViewModel::paragraphOfPosition(qint64 position) const {
    const qint64 absolute = paras_.front().start + std::clamp<qint64>(position, 0, textLength());
    if (absolute >= paras_.back().start) {
        return paragraphCount() - 1;
    }
    if (absolute < paras_[1].start) {
        return 0;
    }
    if (absolute < paras_[1].start + paras_[1].size() + 1) {
        return 1;
    }
    auto it = std::upper_bound(
        paras_.begin(), paras_.end(), absolute,
        [](qint64 value, const Paragraph& paragraph) { return value < paragraph.start; });
    return static_cast<int>(it - paras_.begin()) - 1;
}

LogViewModel::Place LogViewModel::locate(qint64 position) const {
    const int paragraph = paragraphOfPosition(position);
    const qint64 offset = std::clamp<qint64>(position, 0, textLength()) - paragraphStart(paragraph);
    return {index(paragraph), static_cast<int>(offset)};
}

qint64 LogViewModel::lineStart(int line) const {
    const int paragraph = paragraphOfLine(line);
    const int within = std::clamp(line, 0, lineCount() - 1) - paragraphFirstLine(paragraph);
    return paragraphStart(paragraph) + paras_[index(paragraph)].lineOffset(within);
}

QStringView LogViewModel::lineText(int line) const {
    const int paragraph = paragraphOfLine(line);
    const Paragraph& p = paras_[index(paragraph)];
    const int within = std::clamp(line, 0, lineCount() - 1) - paragraphFirstLine(paragraph);
    const int from = p.lineOffset(within);
    const qsizetype to = within + 1 < p.lines() ? p.lineOffset(within + 1) : p.size();
    return p.shown().sliced(from, to - from);
}

int LogViewModel::lineOfPosition(qint64 position) const {
    const Place place = locate(position);
    const Paragraph& p = paras_[place.paragraph];
    int within = 0;
    if (p.lines() > 1) {
        const auto first = p.starts.begin() + p.trimmed;
        within = static_cast<int>(std::upper_bound(first, p.starts.end(), p.head() + place.offset) -
                                  first) -
                 1;
        within = std::clamp(within, 0, p.lines() - 1);
    }
    return paragraphFirstLine(static_cast<int>(place.paragraph)) + within;
}

QString LogViewModel::textRange(qint64 from, qint64 to) const {
    from = std::clamp<qint64>(from, 0, textLength());
    to = std::clamp<qint64>(to, 0, textLength());
    if (from > to) {
        std::swap(from, to);
    }
    QString out;
    out.reserve(static_cast<qsizetype>(to - from));
    const Place first = locate(from);
    const Place last = locate(to);
    for (std::size_t i = first.paragraph; i <= last.paragraph; ++i) {
        const QStringView text = paras_[i].shown();
        const qsizetype begin = i == first.paragraph ? first.offset : 0;
        const qsizetype end = i == last.paragraph ? last.offset : text.size();
        out += text.sliced(begin, end - begin);
        if (i != last.paragraph) {
            out += ParagraphBreak;
        }
    }
    return out;
}

void LogViewModel::setSelection(qint64 anchor, qint64 caret) {
    anchor_ = std::clamp<qint64>(anchor, 0, textLength());
    caret_ = std::clamp<qint64>(caret, 0, textLength());
}

QString LogViewModel::selectedText() const {
    return textRange(anchor_, caret_);
}

void LogViewModel::insertAt(qint64 position, QStringView text) {
    const std::vector<QStringView> pieces = splitParagraphs(text);
    const Place place = locate(position);
    QString& target = editableText(paras_[place.paragraph]);
    QString tail = target.sliced(place.offset);
    target.truncate(place.offset);
    target += pieces.front();
    std::size_t last = place.paragraph;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        Paragraph added;
        added.text = pieces[i].toString();
        paras_.insert(paras_.begin() + static_cast<std::ptrdiff_t>(++last), std::move(added));
    }
    editableText(paras_[last]) += tail;
    for (std::size_t i = place.paragraph; i <= last; ++i) {
        rewrap(paras_[i]);
    }
    renumber(place.paragraph, last);
}

void LogViewModel::removeRange(qint64 from, qint64 to) {
    if (to <= from) {
        return;
    }
    const Place first = locate(from);
    const Place last = locate(to);
    const auto begin = paras_.begin();
    if (first.offset == 0 && last.offset == 0 && first.paragraph < last.paragraph) {
        // Whole paragraphs with their breaks: the one after them is untouched,
        // so nothing needs laying out again (the usual trim of the log).
        keepSpareText(paras_[first.paragraph].text);
        paras_.erase(begin + static_cast<std::ptrdiff_t>(first.paragraph),
                     begin + static_cast<std::ptrdiff_t>(last.paragraph));
        if (first.paragraph > 0) {
            renumber(first.paragraph, first.paragraph);
        }
        return;
    }
    QString& target = editableText(paras_[first.paragraph]);
    if (first.paragraph == last.paragraph) {
        target.remove(first.offset, last.offset - first.offset);
    } else {
        target.truncate(first.offset);
        target += paras_[last.paragraph].shown().sliced(last.offset);
        paras_.erase(begin + static_cast<std::ptrdiff_t>(first.paragraph) + 1,
                     begin + static_cast<std::ptrdiff_t>(last.paragraph) + 1);
    }
    rewrap(paras_[first.paragraph]);
    renumber(first.paragraph, first.paragraph);
}

void LogViewModel::keepSpareText(QString& text) {
    // Only storage that nothing else shares can be written into later.
    if (text.isDetached() && text.capacity() > spareText_.capacity()) {
        spareText_ = std::move(text);
        spareText_.truncate(0);
    }
}

void LogViewModel::trimFirstLine(std::size_t paragraph) {
    ++paras_[paragraph].trimmed;
    paras_[paragraph].width = -1;
    renumber(paragraph, paragraph);
}

void LogViewModel::itemRemove(int index) {
    if (index < 0 || index >= lineCount()) {
        return;
    }
    const qint64 from = lineStart(index);
    const int paragraph = paragraphOfLine(index);
    if (index == paragraphFirstLine(paragraph) && paragraphLines(paragraph) > 1) {
        // The log's trim, line by line through a long entry.
        trimFirstLine(static_cast<std::size_t>(paragraph));
    } else {
        removeRange(from, index + 1 < lineCount() ? lineStart(index + 1) : textLength());
    }
    anchor_ = caret_ = from;
    if (isEmptyText()) {
        emptyLine_.textEmptied();
    }
}

void LogViewModel::itemAdd(int position, QStringView text) {
    if (position < 0 || position >= itemCount()) {
        const qint64 length = textLength();
        // The breaks go in with the text in one edit; the result is the same
        // as inserting them one after the other at the end.
        const qsizetype breaks = emptyLine_.breaksBeforeAppend(length, text.isEmpty());
        if (breaks == 1 && !std::any_of(text.begin(), text.end(), isBreak)) {
            // The log's case: one new paragraph at the end, in the storage of
            // one trimmed from the front when there is one.
            Paragraph added;
            added.text = std::move(spareText_);
            spareText_ = QString();
            added.text.append(text);
            rewrap(added);
            paras_.push_back(std::move(added));
            renumber(paras_.size() - 1, paras_.size() - 1);
        } else if (breaks == 0) {
            insertAt(length, text);
        } else {
            QString insertion(breaks, ParagraphBreak);
            insertion += text;
            insertAt(length, insertion);
        }
        anchor_ = caret_ = textLength();
        return;
    }
    const qint64 at = lineStart(position);
    QString insertion = text.toString();
    insertion += ParagraphBreak;
    insertAt(at, insertion);
    anchor_ = caret_ = at + insertion.size();
    emptyLine_.insertedBeforeLine();
}

void LogViewModel::caretToEnd() {
    anchor_ = caret_ = textLength();
}

void LogViewModel::clear() {
    paras_.clear();
    paras_.emplace_back();
    rewrap(paras_.front());
    emptyLine_.textEmptied();
    anchor_ = caret_ = 0;
}

double LogViewModel::widestParagraph() const {
    double widest = 0;
    for (const Paragraph& paragraph : paras_) {
        if (paragraph.width < 0) {
            paragraph.width = wrapper_.naturalWidth(paragraph.shown());
        }
        widest = std::max(widest, paragraph.width);
    }
    return widest;
}

}  // namespace corvane
