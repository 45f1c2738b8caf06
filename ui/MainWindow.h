#pragma once

namespace corvane {

class LogViewWidget;

// The program's window as it stands after startup.
struct MainWindow {
    int font = 0;     // the gadget font, 0 when none could be made
    int dialog = 0;   // the dialog; it has no window when the open failed
    int window = -1;  // -1 when the window could not be opened
    // The log view txtLog; nullptr without a window.
    LogViewWidget* logView = nullptr;
};

// Builds the window from the dialog document and shows it, in the order the
// program starts: the gadget font ("Consolas", 10 points), the dialog, the
// parsed document, the window "wndMain"; only when it opened, its title,
// the buttons' tooltips and a fresh layout; then the parsed tree is freed.
// A window that cannot be opened is no error: the program runs on without.
// Needs a QApplication.
MainWindow openMainWindow();

}  // namespace corvane
