#include "support/das/DasDirectory.h"

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "link/MuxClasses.h"
#include "support/das/DasConsole.h"
#include "support/das/DasFiles.h"
#include "support/das/DasStandIn.h"

namespace {

constexpr int kMaxDrives = 24;
// What the stand-in's disk reports as its size.
constexpr qint64 kDiskBytes = 64LL * 1024 * 1024;

bool IsRoot(const QString& path) { return path.size() == 3 && path.endsWith(QLatin1Char('\\')); }

QString Parent(const QString& path)
{
    if (IsRoot(path)) {
        return path;
    }
    const qsizetype slash = path.lastIndexOf(QLatin1Char('\\'));
    return slash <= 2 ? path.left(3) : path.left(slash);
}

QString Leaf(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('\\')) + 1); }

QString Join(const QString& folder, const QString& name)
{
    return IsRoot(folder) ? folder + name : folder + QLatin1Char('\\') + name;
}

// The whole path of a file TDasFiles keeps under `key`.
QString PathOfKey(const QString& key)
{
    const bool whole = key.size() >= 3 && key[1] == QLatin1Char(':') && key[2] == QLatin1Char('\\');
    return whole ? key : QStringLiteral("C:\\") + key;
}

// 1234567 -> "1,234,567".
QByteArray WithCommas(qint64 n)
{
    QByteArray digits = QByteArray::number(n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, ',');
    }
    return digits;
}

QByteArray Padded(const QByteArray& text, int width, bool right)
{
    const QByteArray blanks(std::max<qsizetype>(0, width - text.size()), ' ');
    return right ? blanks + text : text + blanks;
}

QByteArray EntryLine(const QString& name, const QByteArray& size, bool folder,
                     const QDateTime& stamp)
{
    return Padded(name.toLatin1(), 12, false) + "   " + Padded(size, 12, !folder) + "  " +
           stamp.toString(QStringLiteral("MM-dd-yy  hh:mm")).toLatin1() + "\r\n";
}

// The words after the command word of a PicoDos command.
QStringList Arguments(const TConsoleCommand& command)
{
    QStringList words = command.PicoDosText().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!words.isEmpty()) {
        words.removeFirst();
    }
    return words;
}

}  // namespace

struct TDasDirectory::TState {
    TDasStandIn* das = nullptr;
    TDasFiles* files = nullptr;
    mutable std::mutex lock;
    bool detached = false;
    int driveCount = 2;
    // Folders by whole upper-cased path; drive roots are not listed here.
    std::set<QString> folders;
    std::map<QString, QDateTime> stamps;
    QString current = QStringLiteral("C:\\");
    const QDateTime start = QDateTime::currentDateTime();

    // The whole path of `text` taken from the current folder (lock held); none for a drive
    // that does not exist.
    std::optional<QString> Resolve(const QString& text) const
    {
        QString path = text.trimmed().toUpper();
        path.replace(QLatin1Char('/'), QLatin1Char('\\'));
        QString base = current;
        if (path.size() >= 2 && path[1] == QLatin1Char(':')) {
            const int drive = path[0].unicode() - 'C';
            if (drive < 0 || drive >= driveCount) {
                return std::nullopt;
            }
            base = path.left(2) + QLatin1Char('\\');
            path = path.mid(2);
        }
        if (path.startsWith(QLatin1Char('\\'))) {
            base = base.left(3);
        }
        QString result = base;
        for (const QString& name : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
            if (name == QLatin1String("..")) {
                result = Parent(result);
            } else if (name != QLatin1String(".")) {
                result = Join(result, name);
            }
        }
        return result;
    }

    // The whole path of a command's arguments (lock taken here).
    std::optional<QString> ResolveArguments(const TConsoleCommand& command) const
    {
        const QStringList args = Arguments(command);
        const std::lock_guard guard(lock);
        return args.isEmpty() ? std::nullopt : Resolve(args.join(QLatin1Char(' ')));
    }

    bool FolderExists(const QString& path) const
    {
        if (IsRoot(path)) {
            const int drive = path[0].unicode() - 'C';
            return drive >= 0 && drive < driveCount;
        }
        return folders.count(path) > 0;
    }

    QDateTime Stamp(const QString& path) const
    {
        const auto it = stamps.find(path);
        return it != stamps.end() ? it->second : start;
    }

    void AddFolder(const QString& path)
    {
        if (!IsRoot(path) && folders.insert(path).second) {
            stamps[path] = QDateTime::currentDateTime();
        }
    }

    // The whole paths of the files on the disk.
    QStringList FilePaths() const
    {
        QStringList paths;
        for (const QString& key : files->FileNames()) {
            paths << PathOfKey(key);
        }
        return paths;
    }

    QByteArray Listing() const
    {
        const QStringList paths = FilePaths();
        QByteArray fileLines;
        int fileCount = 0;
        qint64 used = 0;
        qint64 listedBytes = 0;
        std::map<QString, qint64> sizes;
        for (const QString& path : paths) {
            sizes[path] = files->File(FileKey(path)).size();
        }
        const std::lock_guard guard(lock);
        for (const auto& [path, size] : sizes) {
            used += size;
            if (Parent(path) == current && !IsRoot(path)) {
                fileLines += EntryLine(Leaf(path), WithCommas(size), false, Stamp(path));
                ++fileCount;
                listedBytes += size;
            }
        }
        QByteArray text = " Volume in drive " + current.left(1).toLatin1() + " is DAS\r\n" +
                          " Volume Serial Number is 1234-ABCD\r\n" + " Directory of " +
                          current.toLatin1() + "\r\n\r\n";
        int dirCount = 0;
        if (!IsRoot(current)) {
            text += EntryLine(QStringLiteral("."), "<DIR>", true, Stamp(current));
            text += EntryLine(QStringLiteral(".."), "<DIR>", true, Stamp(Parent(current)));
            dirCount = 2;
        }
        for (const QString& folder : folders) {
            if (Parent(folder) == current) {
                text += EntryLine(Leaf(folder), "<DIR>", true, Stamp(folder));
                ++dirCount;
            }
        }
        text += fileLines;
        text += Padded(QByteArray::number(fileCount), 10, true) + " file(s)     " +
                Padded(WithCommas(listedBytes) + " bytes", 17, false) + "\r\n";
        text +=
            Padded(QByteArray::number(dirCount), 10, true) + " dir(s)      " +
            Padded(WithCommas(std::max<qint64>(0, kDiskBytes - used)) + " bytes free", 22, false) +
            "\r\n";
        return text + "Directory Complete\r\n";
    }

    void Dir(const TConsoleCommand&) { das->SendChannelData(kDirectoryChannel, Listing()); }

    void ChangeFolder(const TConsoleCommand& command)
    {
        const std::optional<QString> path = ResolveArguments(command);
        const std::lock_guard guard(lock);
        if (path && FolderExists(*path)) {
            current = *path;
        }
    }

    void MakeFolder(const TConsoleCommand& command)
    {
        const std::optional<QString> path = ResolveArguments(command);
        const std::lock_guard guard(lock);
        if (path && !IsRoot(*path) && FolderExists(Parent(*path))) {
            AddFolder(*path);
        }
    }

    // Only an empty folder that is not the current one (nor holds it) goes.
    void RemoveFolder(const TConsoleCommand& command)
    {
        const std::optional<QString> path = ResolveArguments(command);
        const QStringList paths = FilePaths();
        const std::lock_guard guard(lock);
        if (!path || folders.count(*path) == 0 || current == *path ||
            current.startsWith(*path + QLatin1Char('\\'))) {
            return;
        }
        const auto inside = [&](const QString& p) { return Parent(p) == *path; };
        if (std::none_of(folders.begin(), folders.end(), inside) &&
            std::none_of(paths.begin(), paths.end(), inside)) {
            folders.erase(*path);
        }
    }

    void Delete(const TConsoleCommand& command)
    {
        if (const std::optional<QString> path = ResolveArguments(command)) {
            files->RemoveFile(FileKey(*path));
        }
    }

    // "REN OLD NEW": a file, or a folder with everything in it, gets a new name in its folder.
    void Rename(const TConsoleCommand& command)
    {
        const QStringList args = Arguments(command);
        if (args.size() != 2 || args[1].contains(QLatin1Char('\\'))) {
            return;
        }
        const QStringList paths = FilePaths();
        std::optional<QString> from;
        QString to;
        bool folder = false;
        {
            const std::lock_guard guard(lock);
            from = Resolve(args[0]);
            if (!from || IsRoot(*from)) {
                return;
            }
            to = Join(Parent(*from), args[1].toUpper());
            if (*from == to || FolderExists(to)) {
                return;
            }
            folder = folders.count(*from) > 0;
            if (folder) {
                std::set<QString> moved;
                for (const QString& f : folders) {
                    moved.insert(f == *from || f.startsWith(*from + QLatin1Char('\\'))
                                     ? to + f.mid(from->size())
                                     : f);
                }
                folders.swap(moved);
                if (current == *from || current.startsWith(*from + QLatin1Char('\\'))) {
                    current = to + current.mid(from->size());
                }
            }
        }
        for (const QString& path : paths) {
            const bool under = folder ? path.startsWith(*from + QLatin1Char('\\')) : path == *from;
            if (under) {
                const QByteArray bytes = files->File(FileKey(path));
                files->RemoveFile(FileKey(path));
                files->PutFile(FileKey(to + path.mid(from->size())), bytes);
            }
        }
    }

    // "Copy NAME TARGET": into the folder TARGET names, or to the file name TARGET.
    void Copy(const TConsoleCommand& command)
    {
        const QStringList args = Arguments(command);
        if (args.size() != 2) {
            return;
        }
        std::optional<QString> from;
        std::optional<QString> to;
        {
            const std::lock_guard guard(lock);
            from = Resolve(args[0]);
            to = Resolve(args[1]);
            if (!from || !to) {
                return;
            }
            if (FolderExists(*to)) {
                to = Join(*to, Leaf(*from));
            }
        }
        if (*from != *to && files->HasFile(FileKey(*from))) {
            files->PutFile(FileKey(*to), files->File(FileKey(*from)));
        }
    }

    // "LoadScript "NAME"": the file becomes the loaded script.
    void LoadScript(const TConsoleCommand& command)
    {
        std::optional<QString> path;
        {
            const std::lock_guard guard(lock);
            path = Resolve(QString::fromLatin1(command.Quoted()));
        }
        if (path && files->HasFile(FileKey(*path))) {
            const QString text = QString::fromLatin1(files->File(FileKey(*path)));
            files->SetScriptLines(
                text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")), Qt::SkipEmptyParts));
        }
    }

    void SendParsed(const TConsoleCommand&)
    {
        QByteArray text;
        for (const QString& line : files->ScriptLines()) {
            text += line.toLatin1() + "\r\n";
        }
        if (!text.isEmpty()) {
            das->SendChannelData(kScriptChannel, text);
        }
    }
};

TDasDirectory::TDasDirectory(TDasStandIn& das, TDasConsole& console, TDasFiles& files)
    : state_(std::make_shared<TState>()), files_(files)
{
    state_->das = &das;
    state_->files = &files;
    std::weak_ptr<TState> weak = state_;
    files.SetNameResolver([weak](const QString& name) {
        const std::shared_ptr<TState> state = weak.lock();
        if (state == nullptr) {
            return name;
        }
        const std::lock_guard guard(state->lock);
        const std::optional<QString> path = state->Resolve(name);
        return path ? FileKey(*path) : name;
    });
    // Each handler runs while this object lives, and does nothing after.
    const auto on = [weak](void (TState::*handle)(const TConsoleCommand&)) {
        return [weak, handle](const TConsoleCommand& command) {
            const std::shared_ptr<TState> state = weak.lock();
            if (state == nullptr) {
                return;
            }
            {
                const std::lock_guard guard(state->lock);
                if (state->detached) {
                    return;
                }
            }
            ((*state).*handle)(command);
        };
    };
    console.On(QStringLiteral("DIR"), on(&TState::Dir));
    console.OnPicoDos(QStringLiteral("CD"), on(&TState::ChangeFolder));
    console.OnPicoDos(QStringLiteral("ChDir"), on(&TState::ChangeFolder));
    console.OnPicoDos(QStringLiteral("MkDir"), on(&TState::MakeFolder));
    console.OnPicoDos(QStringLiteral("RmDir"), on(&TState::RemoveFolder));
    console.OnPicoDos(QStringLiteral("Del"), on(&TState::Delete));
    console.OnPicoDos(QStringLiteral("REN"), on(&TState::Rename));
    console.OnPicoDos(QStringLiteral("Copy"), on(&TState::Copy));
    console.On(QStringLiteral("LoadScript"), on(&TState::LoadScript));
    console.On(QStringLiteral("SENDPARSED"), on(&TState::SendParsed));
}

TDasDirectory::~TDasDirectory()
{
    files_.SetNameResolver(nullptr);
    const std::lock_guard guard(state_->lock);
    state_->detached = true;
}

void TDasDirectory::SetDriveCount(int count)
{
    const std::lock_guard guard(state_->lock);
    state_->driveCount = std::clamp(count, 1, kMaxDrives);
}

void TDasDirectory::MakeFolder(const QString& path)
{
    const std::lock_guard guard(state_->lock);
    const std::optional<QString> whole = state_->Resolve(path);
    if (!whole) {
        return;
    }
    for (QString folder = *whole; !IsRoot(folder); folder = Parent(folder)) {
        state_->AddFolder(folder);
    }
}

bool TDasDirectory::HasFolder(const QString& path) const
{
    const std::lock_guard guard(state_->lock);
    const std::optional<QString> whole = state_->Resolve(path);
    return whole && state_->FolderExists(*whole);
}

void TDasDirectory::PutFile(const QString& path, const QByteArray& bytes)
{
    std::optional<QString> whole;
    {
        const std::lock_guard guard(state_->lock);
        whole = state_->Resolve(path);
    }
    if (whole) {
        files_.PutFile(FileKey(*whole), bytes);
    }
}

QString TDasDirectory::CurrentFolder() const
{
    const std::lock_guard guard(state_->lock);
    return state_->current;
}

QByteArray TDasDirectory::Listing() const { return state_->Listing(); }

QString TDasDirectory::FileKey(const QString& path)
{
    const QString upper = path.toUpper();
    return upper.startsWith(QLatin1String("C:\\")) ? upper.mid(3) : upper;
}
