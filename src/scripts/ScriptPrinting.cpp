#include "scripts/ScriptPrinting.h"

#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>

namespace {

// The Qt print dialogs on one printer, so the set-up is used by the next print.
class TQtScriptPrinter final : public IScriptPrinter {
public:
    void PrintSetup(QWidget* parent) override
    {
        QPageSetupDialog dialog(&Printer(), parent);
        dialog.exec();
    }

    void Print(QWidget* parent, const QString& title, const QTextDocument& document) override
    {
        QPrinter& printer = Printer();
        QPrintDialog dialog(&printer, parent);
        dialog.setWindowTitle(QStringLiteral("Print Script"));
        if (dialog.exec() != QDialog::Accepted) {
            return;
        }
        printer.setDocName(title);
        document.print(&printer);
    }

private:
    static QPrinter& Printer()
    {
        static QPrinter printer;
        return printer;
    }
};

TQtScriptPrinter g_qtPrinter;
IScriptPrinter* g_printer = nullptr;

}  // namespace

IScriptPrinter& ScriptPrinter() { return g_printer != nullptr ? *g_printer : g_qtPrinter; }

IScriptPrinter* SetScriptPrinter(IScriptPrinter* printer)
{
    IScriptPrinter* previous = g_printer;
    g_printer = printer;
    return previous;
}
