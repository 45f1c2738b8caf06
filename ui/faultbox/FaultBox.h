#pragma once

#include <QMessageBox>
#include <QString>

#include <memory>

namespace corvane {

// The fault report's message box: caption "Critical shit", the error icon,
// one OK button, kept above every other window. text is the report as the
// faulted process wrote it; its CR LF line ends become plain line breaks.
std::unique_ptr<QMessageBox> makeFaultBox(const QString& text);

}  // namespace corvane
