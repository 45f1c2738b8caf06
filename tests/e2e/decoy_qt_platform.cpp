// A stand-in for a user's own Qt plug-in: the platform plug-in "offscreen" by
// its metadata, and nothing behind it. Loading it is all it takes for code of
// the user's to run in the program, so it says so on standard error as soon
// as it is loaded, before Qt looks inside.
#include <QObject>
#include <QtPlugin>

#include <cstdio>

class DecoyPlatformPlugin : public QObject {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QPA.QPlatformIntegrationFactoryInterface.5.3" FILE
                          "decoy_qt_platform.json")
};

namespace {

[[gnu::constructor]] void sayLoaded() {
    std::fputs("decoy Qt plug-in loaded\n", stderr);
}

}  // namespace

#include "decoy_qt_platform.moc"
