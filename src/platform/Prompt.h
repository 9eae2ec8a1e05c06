#pragma once
// The prompt service: every message box, question, input box and file or folder dialog of
// the program goes through the one installed IPrompt. The program installs the Qt dialogs;
// tests install a scripted fake.

#include <QString>
#include <QStringList>
#include <optional>

enum class TMsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class TMsgIcon { None, Information, Warning, Error, Question };
enum class TMsgResult { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

// Options of an open or save file dialog. `filter` is in the "Desc (*.a *.b)|*.a;*.b|..."
// pairs form the program's texts use; the service converts it.
struct TFileDialogOptions {
    QString title;
    QString folder;       // initial folder; created when missing
    QString filter;
    QString defaultExt;   // without the dot, e.g. "das"
    QString fileName;     // preselected name; a name holding '*' is not preselected
    int filterIndex = 1;  // 1-based, as the program's texts count them
};

class IPrompt {
public:
    virtual ~IPrompt() = default;
    // A message box; returns the button pressed (closing the box counts as Cancel or No).
    virtual TMsgResult MessageBox(const QString& title, const QString& text, TMsgButtons buttons,
                                  TMsgIcon icon) = 0;
    // An input box: true with `value` changed on OK, false with `value` untouched on Cancel.
    virtual bool InputQuery(const QString& title, const QString& prompt, QString& value) = 0;
    // File dialogs: the chosen path, or nothing on Cancel.
    virtual std::optional<QString> OpenFile(const TFileDialogOptions& options) = 0;
    virtual std::optional<QString> SaveFile(const TFileDialogOptions& options) = 0;
    // Folder picker: the chosen folder, or nothing on Cancel.
    virtual std::optional<QString> BrowseFolder(const QString& title, const QString& folder) = 0;
};

// The installed service (UI thread only). Without one installed, the Qt dialogs are used.
// Its dialogs open after the held boxes still waiting to open (THeldMessageBoxes).
IPrompt& Prompt();
// Installs `prompt` (not owned; nullptr restores the Qt dialogs). Returns the previous one.
IPrompt* SetPrompt(IPrompt* prompt);

// Conveniences on the installed service (UI thread only).
void ShowMessage(const QString& text);  // titled with the application title
TMsgResult MessageDlg(const QString& title, const QString& text, TMsgButtons buttons,
                      TMsgIcon icon = TMsgIcon::Information);
bool AskYesNo(const QString& title, const QString& text);

// UI thread. While one is alive, ShowMessage texts are held back; when the outermost one
// ends they are shown together in one box, one line each (past kMessageGroupLines lines only
// the count of the rest), so that a long run of complaints asks for one click.
class TMessageGroup {
public:
    TMessageGroup();
    ~TMessageGroup();
    TMessageGroup(const TMessageGroup&) = delete;
    TMessageGroup& operator=(const TMessageGroup&) = delete;
};
constexpr int kMessageGroupLines = 30;

// Any thread: shows an Ok box without blocking the caller. Called from a worker thread, or
// while a TPostMessageBoxes lives on the calling thread, the box is posted to the UI thread,
// in order with other posted work. Otherwise it opens at once, or after the held boxes
// while any are held (THeldMessageBoxes).
void PostMessageBox(const QString& title, const QString& text,
                    TMsgIcon icon = TMsgIcon::Information);

// While one lives on a thread, PostMessageBox posts the boxes raised there, also on the UI
// thread, so that no modal loop runs inside the work that raised them (the channel service
// pass holds one: a box opened inside it would keep every channel unserved until it closed).
class TPostMessageBoxes {
public:
    TPostMessageBoxes();
    ~TPostMessageBoxes();
    TPostMessageBoxes(const TPostMessageBoxes&) = delete;
    TPostMessageBoxes& operator=(const TPostMessageBoxes&) = delete;
};

// UI thread. While one is alive, every box that reaches the UI thread is held back: those
// ShowMessage and PostMessageBox raise there, and those posted from other threads (a link
// failure) that an event loop of the work runs meanwhile. When the outermost one ends they
// open after the work has returned, each a box of its own, in the order they reached the UI
// thread, and boxes posted meanwhile open after them. So no box opens before the work that
// runs inside a hold has returned to its caller (a drag's data request: the program that
// asked gives up after a few seconds, and with it every file of the drop).
// A box raised on the UI thread after the hold has ended opens after the held boxes too: a
// call that waits for its answer (a question, an input box, a file dialog) first opens those
// still waiting, one after the other, then its own; ShowMessage while one of them is open
// joins those after it. Only a call that waits for its answer inside an open held box (a
// timer's question) opens on top of it: its caller cannot go on before it is answered.
class THeldMessageBoxes {
public:
    THeldMessageBoxes();
    ~THeldMessageBoxes();
    THeldMessageBoxes(const THeldMessageBoxes&) = delete;
    THeldMessageBoxes& operator=(const THeldMessageBoxes&) = delete;
};

// Title used by ShowMessage.
QString ApplicationTitle();
// UI thread, once the application object exists. Names the application ApplicationTitle() for
// the settings and the window system. It sets no display name: the window system would add
// that to every window's caption, and each window shows its own caption as it sets it.
void NameApplication();
