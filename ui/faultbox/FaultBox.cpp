#include "ui/faultbox/FaultBox.h"

namespace corvane {

std::unique_ptr<QMessageBox> makeFaultBox(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto box = std::make_unique<QMessageBox>(QMessageBox::Critical, QStringLiteral("Critical shit"),
                                             shown, QMessageBox::Ok);
    // The report is plain text; a description must never be read as markup.
    box->setTextFormat(Qt::PlainText);
    // The faulted window is frozen behind it; the box must not get lost
    // under it or under any other window.
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return box;
}

}  // namespace corvane
