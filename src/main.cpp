// The program entry: the application titled "Wendrok", its main window first and the other
// windows after it, and the event loop. An exception that escapes an event handler is shown
// to the operator and the program goes on; one that escapes the start is shown and ends it.
#include <QApplication>
#include <exception>

#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "explorer/Dasexplorer.h"
#include "platform/Prompt.h"
#include "scripts/ScriptEditForm.h"
#include "scripts/Scriptwizard.h"

namespace {

// The application with the standard display of an escaping exception.
class TWendrokApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            ShowException(e.what());
        } catch (...) {
            ShowException("Unknown exception");
        }
        return false;
    }

    static void ShowException(const char* what)
    {
        MessageDlg(ApplicationTitle(), QString::fromLocal8Bit(what), TMsgButtons::Ok,
                   TMsgIcon::Error);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    TWendrokApplication app(argc, argv);
    NameApplication();
    // The program ends when its main window closes, whatever tool windows are open.
    QApplication::setQuitOnLastWindowClosed(false);
    try {
        // The sample station's files, for demonstrations; an operator's own are never touched.
        InstallSampleStation();
        InstallScriptEditing();
        InstallScriptWizard();
        auto* desktop = new TDASDesktopForm;
        InstallDASExplorer();
        CreateToolForms();
        desktop->show();
        QApplication::exec();
        // The Window menu list goes with the main window, after every other window.
        DeleteToolForms();
        delete desktop;
    } catch (const std::exception& e) {
        TWendrokApplication::ShowException(e.what());
    }
    return 0;
}
