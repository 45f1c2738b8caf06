#include "ui/Tooltip.h"

#include <QTextDocument>
#include <QWidget>

namespace corvane {

QString tooltipDisplayText(std::u16string_view text) {
    const QString plain = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    if (!Qt::mightBeRichText(plain)) {
        return plain;
    }
    return Qt::convertFromPlainText(plain, Qt::WhiteSpacePre);
}

void tooltipSet(QWidget* gadget, std::u16string_view text) {
    if (gadget == nullptr) {
        return;
    }
    // The user reads the tips while another window has the focus too.
    gadget->window()->setAttribute(Qt::WA_AlwaysShowToolTips);
    gadget->setToolTip(tooltipDisplayText(text));
}

}  // namespace corvane
