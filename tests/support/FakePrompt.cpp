#include "support/FakePrompt.h"

#include <gtest/gtest.h>

TFakePrompt::TFakePrompt() : previous_(SetPrompt(this)) {}

TFakePrompt::~TFakePrompt() { SetPrompt(previous_); }

TMsgResult TFakePrompt::MessageBox(const QString& title, const QString& text,
                                   TMsgButtons buttons, TMsgIcon)
{
    shown.push_back({QStringLiteral("message"), title, text});
    if (onMessage) {
        const TShownDialog box = shown.back();  // the check may open boxes of its own
        onMessage(box);
    }
    if (!messageAnswers.empty()) {
        const TMsgResult answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    if (buttons == TMsgButtons::Ok && okBoxesAnswerThemselves) {
        return TMsgResult::Ok;
    }
    ADD_FAILURE() << "unexpected message box: " << title.toStdString() << ": "
                  << text.toStdString();
    return buttons == TMsgButtons::YesNo ? TMsgResult::No : TMsgResult::Cancel;
}

bool TFakePrompt::InputQuery(const QString& title, const QString& prompt, QString& value)
{
    shown.push_back({QStringLiteral("input"), title, prompt});
    if (inputAnswers.empty()) {
        ADD_FAILURE() << "unexpected input box: " << title.toStdString() << ": "
                      << prompt.toStdString();
        return false;
    }
    std::optional<QString> answer = inputAnswers.front();
    inputAnswers.pop_front();
    if (!answer) {
        return false;
    }
    value = *answer;
    return true;
}

namespace {

// The first queued answer, taken out of the queue.
std::optional<QString> TakeFront(std::deque<std::optional<QString>>& answers)
{
    const bool given = answers.front().has_value();
    const QString text = answers.front().value_or(QString());
    answers.pop_front();
    return given ? std::optional<QString>(text) : std::nullopt;
}

}  // namespace

std::optional<QString> TFakePrompt::File(const char* kind, const TFileDialogOptions& options)
{
    shown.push_back({QString::fromLatin1(kind), options.title, options.filter});
    lastFileOptions = options;
    if (fileAnswers.empty()) {
        ADD_FAILURE() << "unexpected file dialog: " << options.title.toStdString();
        return std::nullopt;
    }
    return TakeFront(fileAnswers);
}

std::optional<QString> TFakePrompt::OpenFile(const TFileDialogOptions& options)
{
    return File("open", options);
}

std::optional<QString> TFakePrompt::SaveFile(const TFileDialogOptions& options)
{
    return File("save", options);
}

std::optional<QString> TFakePrompt::BrowseFolder(const QString& title, const QString& folder)
{
    shown.push_back({QStringLiteral("folder"), title, folder});
    if (folderAnswers.empty()) {
        ADD_FAILURE() << "unexpected folder dialog: " << title.toStdString();
        return std::nullopt;
    }
    return TakeFront(folderAnswers);
}

QStringList TFakePrompt::Messages() const
{
    QStringList out;
    for (const TShownDialog& d : shown) {
        if (d.kind == QStringLiteral("message")) {
            out << d.title + QStringLiteral(": ") + d.text;
        }
    }
    return out;
}
