#include "support/das/DasFiles.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "link/MuxClasses.h"
#include "support/das/DasConsole.h"
#include "support/das/DasStandIn.h"

namespace {

// The DAS's largest transfer block.
constexpr int kFetchBlockBytes = 254;

QString Key(const QString& name) { return name.trimmed().toUpper(); }

// The text between the first and the last double quote of a command; empty when none.
QString QuotedName(const TConsoleCommand& command)
{
    const QString text = command.Text();
    const qsizetype first = text.indexOf(QLatin1Char('"'));
    const qsizetype last = text.lastIndexOf(QLatin1Char('"'));
    return first >= 0 && last > first ? text.mid(first + 1, last - first - 1) : QString();
}

}  // namespace

// What the handlers share with the test; kept alive by the handlers while one runs.
struct TDasFiles::TState {
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    std::map<QString, QByteArray> files;
    std::function<QString(const QString&)> resolver;
    bool answerFetches = true;
    // The file being received on channel 250: its name (empty: none) and bytes so far.
    QString receiving;
    QByteArray incoming;
    // The script buffer.
    QStringList scriptLines;
    QByteArray partialLine;
    bool scriptEnded = false;
    bool scriptChecked = false;

    void ReceiveFileData(const QByteArray& bytes)
    {
        const std::lock_guard guard(lock);
        if (receiving.isEmpty()) {
            return;
        }
        if (!bytes.isEmpty()) {
            incoming.append(bytes);
            return;
        }
        files[receiving] = incoming;
        receiving.clear();
        incoming.clear();
        changed.notify_all();
    }

    void ReceiveScriptData(const QByteArray& bytes)
    {
        const std::lock_guard guard(lock);
        if (bytes.isEmpty()) {
            scriptEnded = true;
        }
        for (const char c : bytes) {
            if (c == '\0') {
                scriptLines.append(QString::fromLatin1(partialLine));
                partialLine.clear();
            } else {
                partialLine.append(c);
            }
        }
        changed.notify_all();
    }

    // The name a file sent or asked for is kept under.
    QString Resolve(const QString& name) const
    {
        std::function<QString(const QString&)> resolve;
        {
            const std::lock_guard guard(lock);
            resolve = resolver;
        }
        return Key(resolve ? resolve(name) : name);
    }
};

TDasFiles::TDasFiles(TDasStandIn& das, TDasConsole& console)
    : das_(das), console_(console), state_(std::make_shared<TState>())
{
    std::shared_ptr<TState> state = state_;
    TDasStandIn* standIn = &das_;
    console_.On(QStringLiteral("RCVFILE"), [state](const TConsoleCommand& command) {
        const QString name = state->Resolve(QuotedName(command));
        const std::lock_guard guard(state->lock);
        state->receiving = name;
        state->incoming.clear();
    });
    console_.On(QStringLiteral("SENDHOSTFILE"), [state, standIn](const TConsoleCommand& command) {
        QByteArray bytes;
        const QString name = state->Resolve(QuotedName(command));
        {
            const std::lock_guard guard(state->lock);
            const auto it = state->files.find(name);
            if (!state->answerFetches || it == state->files.end()) {
                return;
            }
            bytes = it->second;
        }
        for (qsizetype at = 0; at < bytes.size(); at += kFetchBlockBytes) {
            standIn->SendChannelData(kFileChannel, bytes.mid(at, kFetchBlockBytes));
        }
        standIn->SendChannelData(kFileChannel, QByteArray());
    });
    console_.On(QStringLiteral("STOPTRANSFER"), [state](const TConsoleCommand&) {
        const std::lock_guard guard(state->lock);
        state->receiving.clear();
        state->incoming.clear();
    });
    console_.On(QStringLiteral("CLEARSCRIPT"), [state](const TConsoleCommand&) {
        const std::lock_guard guard(state->lock);
        state->scriptLines.clear();
        state->partialLine.clear();
        state->scriptEnded = false;
        state->scriptChecked = false;
    });
    console_.On(QStringLiteral("CHECKSCRIPT"), [state](const TConsoleCommand&) {
        const std::lock_guard guard(state->lock);
        state->scriptChecked = state->scriptEnded;
        state->changed.notify_all();
    });
    das_.OnChannelData(kFileChannel,
                       [state](const QByteArray& bytes) { state->ReceiveFileData(bytes); });
    das_.OnChannelData(kScriptChannel,
                       [state](const QByteArray& bytes) { state->ReceiveScriptData(bytes); });
}

TDasFiles::~TDasFiles()
{
    das_.OnChannelData(kFileChannel, nullptr);
    das_.OnChannelData(kScriptChannel, nullptr);
    for (const char* word : {"RCVFILE", "SENDHOSTFILE", "STOPTRANSFER", "CLEARSCRIPT", "CHECKSCRIPT"}) {
        console_.On(QString::fromLatin1(word), nullptr);
    }
}

void TDasFiles::PutFile(const QString& name, const QByteArray& bytes)
{
    const std::lock_guard guard(state_->lock);
    state_->files[Key(name)] = bytes;
    state_->changed.notify_all();
}

bool TDasFiles::HasFile(const QString& name) const
{
    const std::lock_guard guard(state_->lock);
    return state_->files.count(Key(name)) > 0;
}

QByteArray TDasFiles::File(const QString& name) const
{
    const std::lock_guard guard(state_->lock);
    const auto it = state_->files.find(Key(name));
    return it != state_->files.end() ? it->second : QByteArray();
}

QStringList TDasFiles::FileNames() const
{
    const std::lock_guard guard(state_->lock);
    QStringList names;
    for (const auto& entry : state_->files) {
        names.append(entry.first);
    }
    return names;
}

bool TDasFiles::WaitForFile(const QString& name, int timeoutMs) const
{
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                    [&] { return state_->files.count(Key(name)) > 0; });
}

void TDasFiles::SetAnswerFetches(bool on)
{
    const std::lock_guard guard(state_->lock);
    state_->answerFetches = on;
}

void TDasFiles::RemoveFile(const QString& name)
{
    const std::lock_guard guard(state_->lock);
    state_->files.erase(Key(name));
}

void TDasFiles::SetNameResolver(std::function<QString(const QString&)> resolver)
{
    const std::lock_guard guard(state_->lock);
    state_->resolver = std::move(resolver);
}

QStringList TDasFiles::ScriptLines() const
{
    const std::lock_guard guard(state_->lock);
    return state_->scriptLines;
}

bool TDasFiles::ScriptEnded() const
{
    const std::lock_guard guard(state_->lock);
    return state_->scriptEnded;
}

bool TDasFiles::ScriptChecked() const
{
    const std::lock_guard guard(state_->lock);
    return state_->scriptChecked;
}

void TDasFiles::SetScriptLines(const QStringList& lines)
{
    const std::lock_guard guard(state_->lock);
    state_->scriptLines = lines;
    state_->partialLine.clear();
    state_->scriptEnded = true;
    state_->scriptChecked = true;
}

bool TDasFiles::WaitForScriptChecked(int timeoutMs) const
{
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                    [&] { return state_->scriptChecked; });
}
