#include "ui/DialogDocument.h"

namespace corvane {

// One line, no declaration, no trailing character; the tab runs between the
// tags are part of the text.
const std::u16string_view dialogDocument =
    u"<dialogs>"
    u"\t<window name='wndMain' flags='#WG_Window_SystemMenu|#WG_Window_SizeGadget|"
    u"#WG_Window_ScreenCentered' minwidth='auto' minheight='auto'>"
    u"\t\t<hbox name='hbox1' expand='item:1'>"
    u"\t\t\t<editor name='txtLog' flags='#WG_Editor_ReadOnly|#WG_Editor_WordWrap' "
    u"height='320' width='512'/>"
    u"\t\t\t<vbox name='vbox1' width='60' align='center' expand='item:3'>"
    u"\t\t\t\t<button name='button1' flags='#WG_Button_Left' text='1'/>"
    u"\t\t\t\t<button name='button2' flags='#WG_Button_Right' text='2'/>"
    u"\t\t\t\t<container name='container1' disabled='yes'>"
    u"\t\t\t\t\t<editor name='editor2' disabled='no' flags='#WG_Editor_WordWrap' "
    u"text='Cor va ne by Tes sa ly' invisible='no'/>"
    u"\t\t\t\t</container>"
    u"\t\t\t</vbox>"
    u"\t\t</hbox>"
    u"\t</window>"
    u"</dialogs>";

}  // namespace corvane
