#include "ui/MainWindow.h"

#include "ui/DialogApi.h"
#include "ui/DialogDocument.h"
#include "ui/Font.h"
#include "ui/LogViewWidget.h"
#include "ui/WindowTitle.h"

namespace corvane {

MainWindow openMainWindow() {
    MainWindow main;
    main.font = fontOpen(u"Consolas", 10);
    defaultFontSet(main.font);
    main.dialog = dialogNew();

    const int xml = xmlParse(dialogDocument);
    if (dialogOpen(main.dialog, xml, u"wndMain") != 0) {
        main.window = dialogWindowHandle(main.dialog);
        titleSet(main.window, MainWindowTitle);
        // The buttons do nothing; their tooltips say so.
        tooltipSet(dialogFind(main.dialog, u"button1"), u"does nothing");
        tooltipSet(dialogFind(main.dialog, u"button2"), u"does nothing");
        dialogRelayout(main.dialog);
        main.logView =
            qobject_cast<LogViewWidget*>(gadgetWidget(dialogFind(main.dialog, u"txtLog")));
    }
    if (xmlValid(xml)) {
        xmlFree(xml);
    }
    return main;
}

}  // namespace corvane
