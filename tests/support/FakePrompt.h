#pragma once
// A scripted prompt service for tests: records every dialog shown and answers from queues.
// A dialog with no queued answer fails the running test (and answers Cancel), so no test ever
// blocks on a modal loop.

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "platform/Prompt.h"

struct TShownDialog {
    QString kind;  // "message", "input", "open", "save", "folder"
    QString title;
    QString text;  // message text, input prompt, or file dialog filter
};

class TFakePrompt final : public IPrompt {
public:
    // Installs itself as the prompt service; the destructor restores the previous one.
    TFakePrompt();
    ~TFakePrompt() override;
    TFakePrompt(const TFakePrompt&) = delete;
    TFakePrompt& operator=(const TFakePrompt&) = delete;

    // Queued answers, used in order by the dialogs of their kind.
    void QueueMessageAnswer(TMsgResult answer) { messageAnswers.push_back(answer); }
    void QueueInput(std::optional<QString> answer) { inputAnswers.push_back(std::move(answer)); }
    void QueueFile(std::optional<QString> answer) { fileAnswers.push_back(std::move(answer)); }
    void QueueFolder(std::optional<QString> answer) { folderAnswers.push_back(std::move(answer)); }
    // Plain Ok boxes need no queued answer when this is set (the default).
    bool okBoxesAnswerThemselves = true;
    // When set, runs as each message box opens (a test's check of what holds meanwhile).
    std::function<void(const TShownDialog& box)> onMessage;

    TMsgResult MessageBox(const QString& title, const QString& text, TMsgButtons buttons,
                          TMsgIcon icon) override;
    bool InputQuery(const QString& title, const QString& prompt, QString& value) override;
    std::optional<QString> OpenFile(const TFileDialogOptions& options) override;
    std::optional<QString> SaveFile(const TFileDialogOptions& options) override;
    std::optional<QString> BrowseFolder(const QString& title, const QString& folder) override;

    // Everything shown so far, in order.
    std::vector<TShownDialog> shown;
    // Texts of message boxes shown so far ("title: text").
    QStringList Messages() const;
    // Options of the last file dialog.
    TFileDialogOptions lastFileOptions;

private:
    std::optional<QString> File(const char* kind, const TFileDialogOptions& options);

    IPrompt* previous_ = nullptr;
    std::deque<TMsgResult> messageAnswers;
    std::deque<std::optional<QString>> inputAnswers;
    std::deque<std::optional<QString>> fileAnswers;
    std::deque<std::optional<QString>> folderAnswers;
};
