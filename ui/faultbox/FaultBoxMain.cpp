// The message box helper: started by a faulted process with the report text
// as its one argument, shows the box and ends when it is dismissed. The
// faulted process waits for it, then ends itself.
#include <QApplication>

#include "ui/faultbox/FaultBox.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    QApplication application(argc, argv);
    const auto box = corvane::makeFaultBox(QString::fromUtf8(argv[1]));
    box->exec();
    return 0;
}
