#include "platform/Prompt.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QSpacerItem>
#include <deque>
#include <utility>

#include "platform/UiPost.h"
#include "platform/WindowPlacement.h"

namespace {

// "Desc (*.a;*.B)|*.a;*.B|Other|*.c" -> "Desc (*.a *.A *.B *.b);;Other (*.c *.C)"
QString ToQtFilter(const QString& filter, int index, QString* selected)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        // Qt reads the patterns in the parentheses, blank-separated; file names are
        // case-sensitive here, so each pattern stands in both cases.
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            for (const QString& form : {pattern, pattern.toLower(), pattern.toUpper()}) {
                if (!patterns.contains(form)) {
                    patterns << form;
                }
            }
        }
        const QString desc = parts[i].section(QLatin1Char('('), 0, 0).trimmed();
        out << desc + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    if (selected != nullptr && index >= 1 && index <= out.size()) {
        *selected = out[index - 1];
    }
    return out.join(QStringLiteral(";;"));
}

QMessageBox::StandardButtons ToQt(TMsgButtons buttons)
{
    switch (buttons) {
    case TMsgButtons::Ok: return QMessageBox::Ok;
    case TMsgButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case TMsgButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case TMsgButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case TMsgButtons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    case TMsgButtons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon ToQt(TMsgIcon icon)
{
    switch (icon) {
    case TMsgIcon::None: return QMessageBox::NoIcon;
    case TMsgIcon::Information: return QMessageBox::Information;
    case TMsgIcon::Warning: return QMessageBox::Warning;
    case TMsgIcon::Error: return QMessageBox::Critical;
    case TMsgIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

TMsgResult FromQt(int button, TMsgButtons buttons)
{
    switch (button) {
    case QMessageBox::Ok: return TMsgResult::Ok;
    case QMessageBox::Yes: return TMsgResult::Yes;
    case QMessageBox::No: return TMsgResult::No;
    case QMessageBox::Retry: return TMsgResult::Retry;
    case QMessageBox::Abort: return TMsgResult::Abort;
    case QMessageBox::Ignore: return TMsgResult::Ignore;
    default: break;
    }
    return buttons == TMsgButtons::YesNo ? TMsgResult::No : TMsgResult::Cancel;
}

// The real dialogs.
class TQtPrompt final : public IPrompt {
public:
    TMsgResult MessageBox(const QString& title, const QString& text, TMsgButtons buttons,
                          TMsgIcon icon) override
    {
        QMessageBox box(ToQt(icon), title, text, ToQt(buttons), QApplication::activeWindow());
        // Texts carry names and replies from the DAS and from files: shown as they are, never
        // read as markup.
        box.setTextFormat(Qt::PlainText);
        // The box sizes itself to its text; a spacer keeps it wide enough for its title.
        if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
            grid->addItem(
                new QSpacerItem(TitleFitWidth(&box), 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                grid->rowCount(), 0, 1, grid->columnCount());
        }
        return FromQt(box.exec(), buttons);
    }

    bool InputQuery(const QString& title, const QString& prompt, QString& value) override
    {
        QInputDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(title);
        dialog.setLabelText(prompt);
        dialog.setTextValue(value);
        FitWindowTitle(&dialog);
        if (dialog.exec() != QDialog::Accepted) {
            return false;
        }
        value = dialog.textValue();
        return true;
    }

    std::optional<QString> OpenFile(const TFileDialogOptions& o) override { return Run(o, false); }
    std::optional<QString> SaveFile(const TFileDialogOptions& o) override { return Run(o, true); }

    std::optional<QString> BrowseFolder(const QString& title, const QString& folder) override
    {
        const QString dir =
            QFileDialog::getExistingDirectory(QApplication::activeWindow(), title, folder);
        if (dir.isEmpty()) {
            return std::nullopt;
        }
        return dir;
    }

private:
    static std::optional<QString> Run(const TFileDialogOptions& o, bool save)
    {
        if (!o.folder.isEmpty()) {
            QDir().mkpath(o.folder);
        }
        QFileDialog dialog(QApplication::activeWindow(), o.title, o.folder);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        // The program asks its own "File Exists. OverWrite?" where it needs to.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        QString selected;
        if (!o.filter.isEmpty()) {
            dialog.setNameFilter(ToQtFilter(o.filter, o.filterIndex, &selected));
            if (!selected.isEmpty()) {
                dialog.selectNameFilter(selected);
            }
        }
        if (!o.defaultExt.isEmpty()) {
            dialog.setDefaultSuffix(o.defaultExt);
        }
        if (!o.fileName.isEmpty() && !o.fileName.contains(QLatin1Char('*'))) {
            dialog.selectFile(o.fileName);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return dialog.selectedFiles().constFirst();
    }
};

TQtPrompt g_qtPrompt;
IPrompt* g_prompt = nullptr;

// The service installed, without the held boxes' turn first (Prompt()).
IPrompt& Installed() { return g_prompt != nullptr ? *g_prompt : g_qtPrompt; }

}  // namespace

IPrompt* SetPrompt(IPrompt* prompt)
{
    IPrompt* previous = g_prompt;
    g_prompt = prompt;
    return previous;
}

QString ApplicationTitle() { return QStringLiteral("Wendrok"); }

void NameApplication() { QCoreApplication::setApplicationName(ApplicationTitle()); }

namespace {

// The messages held back by the open message groups (UI thread only).
struct TGroupedMessages {
    int depth = 0;
    QStringList texts;
};

TGroupedMessages& Grouped()
{
    static TGroupedMessages grouped;
    return grouped;
}

// The boxes held back by the living THeldMessageBoxes, in the order they reached the UI
// thread, and those still waiting to be shown after them (UI thread only).
struct THeldBox {
    QString title;
    QString text;
    TMsgIcon icon;
};
struct THeldBoxes {
    int depth = 0;
    bool showing = false;  // a held box is open
    std::deque<THeldBox> boxes;
};

THeldBoxes& Held()
{
    static THeldBoxes held;
    return held;
}

// UI thread: a box that has reached the UI thread opens now, unless boxes are held: then it
// waits behind them, so that none opens inside the held work and all open in order.
void ShowOrHold(const THeldBox& box)
{
    THeldBoxes& held = Held();
    if (held.depth > 0 || held.showing || !held.boxes.empty()) {
        held.boxes.push_back(box);
        return;
    }
    Prompt().MessageBox(box.title, box.text, TMsgButtons::Ok, box.icon);
}

// UI thread: opens the held boxes one after the other, also those that arrive while one is
// open, until none is left or a new hold begins (its end shows the rest).
void ShowHeldBoxes()
{
    THeldBoxes& held = Held();
    if (held.showing) {
        return;
    }
    held.showing = true;
    while (held.depth == 0 && !held.boxes.empty()) {
        const THeldBox box = std::move(held.boxes.front());
        held.boxes.pop_front();
        Installed().MessageBox(box.title, box.text, TMsgButtons::Ok, box.icon);
    }
    held.showing = false;
}

// The service as the program calls it: a dialog opened on the UI thread once a hold has
// ended opens after the held boxes still waiting, which open first, in order, so that the
// caller gets its own answer. Inside a hold it opens at once, as it must answer the work;
// so does one raised while a held box is open, as its caller waits inside that box.
class THeldBoxesFirst final : public IPrompt {
public:
    TMsgResult MessageBox(const QString& title, const QString& text, TMsgButtons buttons,
                          TMsgIcon icon) override
    {
        HeldBoxesFirst();
        return Installed().MessageBox(title, text, buttons, icon);
    }
    bool InputQuery(const QString& title, const QString& prompt, QString& value) override
    {
        HeldBoxesFirst();
        return Installed().InputQuery(title, prompt, value);
    }
    std::optional<QString> OpenFile(const TFileDialogOptions& options) override
    {
        HeldBoxesFirst();
        return Installed().OpenFile(options);
    }
    std::optional<QString> SaveFile(const TFileDialogOptions& options) override
    {
        HeldBoxesFirst();
        return Installed().SaveFile(options);
    }
    std::optional<QString> BrowseFolder(const QString& title, const QString& folder) override
    {
        HeldBoxesFirst();
        return Installed().BrowseFolder(title, folder);
    }

private:
    static void HeldBoxesFirst()
    {
        if (IsUiThread()) {
            ShowHeldBoxes();
        }
    }
};

THeldBoxesFirst g_heldBoxesFirst;

// Any thread: the box opens on the UI thread once the events posted before it have run.
void ShowPosted(const QString& title, const QString& text, TMsgIcon icon)
{
    PostToUi([box = THeldBox{title, text, icon}] { ShowOrHold(box); });
}

}  // namespace

IPrompt& Prompt() { return g_heldBoxesFirst; }

THeldMessageBoxes::THeldMessageBoxes() { ++Held().depth; }

THeldMessageBoxes::~THeldMessageBoxes()
{
    // Posted behind whatever is on its way to the UI thread already: a box among that joins
    // the held ones before they open.
    if (--Held().depth == 0 && !Held().boxes.empty()) {
        PostToUi(&ShowHeldBoxes);
    }
}

void ShowMessage(const QString& text)
{
    // No answer is waited for: while a held box is open this one joins those after it.
    if (Held().depth > 0 || Held().showing) {
        Held().boxes.push_back({ApplicationTitle(), text, TMsgIcon::None});
        return;
    }
    if (Grouped().depth > 0) {
        Grouped().texts << text;
        return;
    }
    Prompt().MessageBox(ApplicationTitle(), text, TMsgButtons::Ok, TMsgIcon::None);
}

TMessageGroup::TMessageGroup() { ++Grouped().depth; }

TMessageGroup::~TMessageGroup()
{
    TGroupedMessages& grouped = Grouped();
    if (--grouped.depth > 0 || grouped.texts.isEmpty()) {
        return;
    }
    const QStringList texts = std::exchange(grouped.texts, {});
    QStringList lines = texts.mid(0, kMessageGroupLines);
    if (texts.size() > kMessageGroupLines) {
        lines << QStringLiteral("... and %1 more.").arg(texts.size() - kMessageGroupLines);
    }
    ShowMessage(lines.join(QLatin1Char('\n')));
}

TMsgResult MessageDlg(const QString& title, const QString& text, TMsgButtons buttons,
                      TMsgIcon icon)
{
    return Prompt().MessageBox(title, text, buttons, icon);
}

bool AskYesNo(const QString& title, const QString& text)
{
    return Prompt().MessageBox(title, text, TMsgButtons::YesNo, TMsgIcon::Question) ==
           TMsgResult::Yes;
}

namespace {

// Boxes raised on this thread are posted while above 0.
thread_local int tPostMessageBoxes = 0;

}  // namespace

TPostMessageBoxes::TPostMessageBoxes() { ++tPostMessageBoxes; }

TPostMessageBoxes::~TPostMessageBoxes() { --tPostMessageBoxes; }

void PostMessageBox(const QString& title, const QString& text, TMsgIcon icon)
{
    if (!IsUiThread() || (tPostMessageBoxes > 0 && Held().depth == 0)) {
        ShowPosted(title, text, icon);
    } else {
        ShowOrHold({title, text, icon});
    }
}
