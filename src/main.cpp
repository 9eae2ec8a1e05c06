// The program entry: the application titled "Wendrok", its main window first and the other
// windows after it, and the event loop. An exception that escapes an event handler is shown
// to the operator and the program goes on; one that escapes the start is shown and ends it.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <exception>

#include "desktop/Dasdesktop.h"
#include "desktop/Forms.h"
#include "link/Global.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"

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

// A first start with no station remembered opens the sample station, so the program has
// something to show; an operator's own station is never touched.
void OfferSampleStation()
{
    TRegistry reg;
    for (int key = kRegistryVersionKey; key > 0; --key) {
        if (reg.KeyExists(VersionedKeyPath(key / 100.0, QStringLiteral("DasDesktop")))) {
            return;
        }
    }
    const QString sample = InstallSampleStation();
    if (sample.isEmpty() || !QFileInfo::exists(sample)) {
        return;
    }
    if (reg.OpenKey(VersionedKeyPath(kRegistryVersionKey / 100.0, QStringLiteral("DasDesktop")),
                    true)) {
        reg.WriteString(QStringLiteral("INIFile"), MakeDataRelativePath(sample));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    TWendrokApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wendrok"));
    QApplication::setApplicationDisplayName(QStringLiteral("Wendrok"));
    // The program ends when its main window closes, whatever tool windows are open.
    QApplication::setQuitOnLastWindowClosed(false);
    try {
        OfferSampleStation();
        auto* desktop = new TDASDesktopForm;
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
