#include "support/das/DasFiles.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "link/Global.h"
#include "link/MuxClasses.h"
#include "support/das/DasConsole.h"
#include "support/das/DasStandIn.h"

namespace {

// The DAS's largest transfer block.
constexpr int kFetchBlockBytes = 254;

QString Key(const QString& name) { return name.trimmed().toUpper(); }

enum class TScriptState : char { None = 'N', Loaded = 'S', Running = 'R', Halted = 'H' };

// The file name of a command: the text between its quotes.
QString QuotedName(const TConsoleCommand& command)
{
    return QString::fromLatin1(command.Quoted());
}

}  // namespace

// What the handlers share with the test; kept alive by the handlers while one runs.
struct TDasFiles::TState {
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    std::map<QString, QByteArray> files;
    std::function<QString(const QString&)> resolver;
    std::function<int()> sequenceNumber;
    bool answerFetches = true;
    // The file being received on channel 250: its name (empty: none) and bytes so far.
    QString receiving;
    QByteArray incoming;
    // The script buffer.
    QStringList scriptLines;
    QByteArray partialLine;
    bool scriptEnded = false;
    bool scriptChecked = false;
    TScriptState scriptState = TScriptState::None;
    // The files open on the file slots of captures on the DAS.
    std::map<int, QString> slots;

    // The loaded script as the DAS keeps it: its lines, each ended by CR LF (lock held).
    QByteArray ScriptText() const
    {
        QByteArray text;
        for (const QString& line : scriptLines) {
            text += line.toLatin1() + "\r\n";
        }
        return text;
    }

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
            scriptState = TScriptState::Loaded;
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
        state->scriptState = TScriptState::None;
    });
    console_.On(QStringLiteral("CHECKSCRIPT"), [state](const TConsoleCommand&) {
        const std::lock_guard guard(state->lock);
        state->scriptChecked = state->scriptEnded;
        state->changed.notify_all();
    });
    AddScriptCommands();
    AddFileSlotCommands();
    das_.OnChannelData(kFileChannel,
                       [state](const QByteArray& bytes) { state->ReceiveFileData(bytes); });
    das_.OnChannelData(kScriptChannel,
                       [state](const QByteArray& bytes) { state->ReceiveScriptData(bytes); });
}

TDasFiles::~TDasFiles()
{
    das_.OnChannelData(kFileChannel, nullptr);
    das_.OnChannelData(kScriptChannel, nullptr);
    for (const char* word : {"RCVFILE", "SENDHOSTFILE", "STOPTRANSFER", "CLEARSCRIPT", "CHECKSCRIPT",
                             "SAVESCRIPT", "RUNSCRIPT", "ENDSCRIPT", "OPENFILE", "OPENFILESEQ",
                             "CLOSEFILE"}) {
        console_.On(QString::fromLatin1(word), nullptr);
    }
}

void TDasFiles::AddScriptCommands()
{
    std::shared_ptr<TState> state = state_;
    TDasStandIn* standIn = &das_;
    // A complaint of the console, on the error channel.
    const auto complain = [standIn](const QString& text) {
        standIn->SendChannelData(kErrorChannel, text.toLatin1() + "\r\n");
    };
    console_.On(QStringLiteral("SAVESCRIPT"), [state, complain](const TConsoleCommand& command) {
        const QString name = QuotedName(command).trimmed();
        const QString key = state->Resolve(name);
        const std::lock_guard guard(state->lock);
        if (state->scriptState == TScriptState::None || name.isEmpty()) {
            complain(QStringLiteral("SaveScript: no script loaded"));
            return;
        }
        state->files[key] = state->ScriptText();
        state->changed.notify_all();
    });
    console_.On(QStringLiteral("RUNSCRIPT"), [state, complain](const TConsoleCommand&) {
        const std::lock_guard guard(state->lock);
        if (state->scriptState == TScriptState::None) {
            complain(QStringLiteral("RunScript: no script loaded"));
            return;
        }
        state->scriptState = TScriptState::Running;
    });
    console_.On(QStringLiteral("ENDSCRIPT"), [state](const TConsoleCommand&) {
        const std::lock_guard guard(state->lock);
        if (state->scriptState == TScriptState::Running) {
            state->scriptState = TScriptState::Halted;
        }
    });
}

void TDasFiles::AddFileSlotCommands()
{
    std::shared_ptr<TState> state = state_;
    // "OpenFile 1 "CTD_000.RAW"": the slot's number, then the file's name; "OpenFileSeq" puts
    // the DAS's file sequence number into the name (CTD_007.RAW at number 7).
    const auto open = [state](const TConsoleCommand& command, bool numbered) {
        const int slot = command.bytes.simplified().split(' ').value(1).toInt();
        QString name = QuotedName(command);
        std::function<int()> sequenceNumber;
        {
            const std::lock_guard guard(state->lock);
            sequenceNumber = state->sequenceNumber;
        }
        if (numbered && sequenceNumber) {
            name = MakeNumberedFileName(name, sequenceNumber());
        }
        const QString key = state->Resolve(name);
        const std::lock_guard guard(state->lock);
        state->slots[slot] = key;
        state->files.try_emplace(key);
        state->changed.notify_all();
    };
    console_.On(QStringLiteral("OPENFILE"),
                [open](const TConsoleCommand& command) { open(command, false); });
    console_.On(QStringLiteral("OPENFILESEQ"),
                [open](const TConsoleCommand& command) { open(command, true); });
    console_.On(QStringLiteral("CLOSEFILE"), [state](const TConsoleCommand& command) {
        const int slot = command.bytes.simplified().split(' ').value(1).toInt();
        const std::lock_guard guard(state->lock);
        state->slots.erase(slot);
    });
}

void TDasFiles::AppendToSlot(int slot, const QByteArray& bytes)
{
    const std::lock_guard guard(state_->lock);
    const auto it = state_->slots.find(slot);
    if (it != state_->slots.end()) {
        state_->files[it->second].append(bytes);
        state_->changed.notify_all();
    }
}

QByteArray TDasFiles::ScriptStateField() const
{
    const std::lock_guard guard(state_->lock);
    return QByteArray("x") + static_cast<char>(state_->scriptState);
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

void TDasFiles::SetSequenceNumberSource(std::function<int()> source)
{
    const std::lock_guard guard(state_->lock);
    state_->sequenceNumber = std::move(source);
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
    state_->scriptState = TScriptState::Loaded;
}

bool TDasFiles::WaitForScriptChecked(int timeoutMs) const
{
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                    [&] { return state_->scriptChecked; });
}
