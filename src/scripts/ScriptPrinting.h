#pragma once
// The script editors' printing: the printer set-up dialog and printing a script. The program
// uses the Qt print dialogs; tests install their own, so no test waits on a dialog.
//
// UI thread only.

#include <QString>

class QTextDocument;
class QWidget;

class IScriptPrinter {
public:
    virtual ~IScriptPrinter() = default;
    // The printer set-up dialog.
    virtual void PrintSetup(QWidget* parent) = 0;
    // Prints the document, titled `title` in the print queue (after the print dialog).
    virtual void Print(QWidget* parent, const QString& title, const QTextDocument& document) = 0;
};

// The installed printer service (the Qt dialogs when none is installed).
IScriptPrinter& ScriptPrinter();
// Installs `printer` (not owned; nullptr restores the Qt dialogs); returns the previous one.
IScriptPrinter* SetScriptPrinter(IScriptPrinter* printer);
