#include "link/Global.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

#include "platform/IniFile.h"

namespace {

const QLatin1Char kBackslash('\\');
const QLatin1Char kSlash('/');

qsizetype FileNameStart(const QString& path)
{
    return std::max(path.lastIndexOf(kBackslash), path.lastIndexOf(kSlash)) + 1;
}

bool EndsWithSeparator(const QString& path)
{
    return path.endsWith(kBackslash) || path.endsWith(kSlash);
}

// "C:\..." or "C:name": a path of another system that this one cannot resolve.
bool HasDriveLetter(const QString& path)
{
    return path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).unicode() < 0x80 &&
           path.at(0).isLetter();
}

QString ToSlashes(QString path) { return path.replace(kBackslash, kSlash); }

// A clean absolute native path that keeps a final separator, since stored folder names end in
// one and callers append file names to them.
QString CleanKeepingFinalSeparator(const QString& path, bool folder)
{
    QString clean = QDir::cleanPath(path);
    if (folder) {
        clean = IncludeTrailingPathDelimiter(clean);
    }
    return clean;
}

bool IsCommaTextBlank(QChar c) { return c.unicode() <= 0x20; }

}  // namespace

QString AppDirFromExeDir(const QString& exeDir)
{
    QString dir = QDir::cleanPath(ToSlashes(exeDir));
    const qsizetype cut = dir.lastIndexOf(kSlash);
    if (cut >= 0 && dir.mid(cut + 1).compare(QLatin1String("bin"), Qt::CaseInsensitive) == 0) {
        dir.truncate(cut);
    }
    return IncludeTrailingPathDelimiter(dir.isEmpty() ? QStringLiteral("/") : dir);
}

QString GetAppDir()
{
    static const QString appDir = AppDirFromExeDir(QCoreApplication::applicationDirPath());
    return appDir;
}

QString KeywordFilePath() { return GetAppDir() + QStringLiteral("Keywords/Pelagrix.key"); }

QString GetProgramDataDir()
{
    static const QString dataDir = [] {
        QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        if (base.isEmpty()) {
            base = GetAppDir();
        }
        const QString dir = IncludeTrailingPathDelimiter(base) + QStringLiteral("Wendrok/");
        for (const char* sub :
             {"Config", "InternalConfig", "Data", "Scripts", "Icons", "DASExplorer"}) {
            QDir().mkpath(dir + QLatin1String(sub));
        }
        return dir;
    }();
    return dataDir;
}

QString IncludeTrailingBackslash(const QString& path)
{
    return path.isEmpty() || path.endsWith(kBackslash) ? path : path + kBackslash;
}

QString IncludeTrailingPathDelimiter(const QString& path)
{
    return path.isEmpty() || path.endsWith(kSlash) ? path : path + kSlash;
}

bool IsNoFileName(const QString& path) { return path.contains(QLatin1Char('*')); }

QString NativePath(const QString& stored) { return ExpandDataRelativePath(stored); }

QString StoredPath(const QString& native)
{
    QString stored = native;
    return stored.replace(kSlash, kBackslash);
}

QString MakeDataRelativePath(const QString& path)
{
    const QString native = ToSlashes(path);
    if (path.isEmpty() || HasDriveLetter(path) || !QDir::isAbsolutePath(native)) {
        return path;
    }
    const QString dataDir = GetProgramDataDir();
    const QString clean = QDir::cleanPath(native);
    const QString root = QDir::cleanPath(dataDir);
    if (!clean.startsWith(root + kSlash)) {
        return path;
    }
    QString relative = QDir(root).relativeFilePath(clean);
    if (EndsWithSeparator(path)) {
        relative = IncludeTrailingPathDelimiter(relative);
    }
    return StoredPath(relative);
}

QString ExpandDataRelativePath(const QString& path)
{
    if (path.isEmpty() || HasDriveLetter(path)) {
        return path;
    }
    const QString native = ToSlashes(path);
    const bool folder = EndsWithSeparator(path);
    if (QDir::isAbsolutePath(native)) {
        return CleanKeepingFinalSeparator(native, folder);
    }
    return CleanKeepingFinalSeparator(GetProgramDataDir() + native, folder);
}

bool IsSafeRelativePath(const QString& path)
{
    if (path.isEmpty() || path.startsWith(kBackslash) || path.startsWith(kSlash) ||
        HasDriveLetter(path)) {
        return false;
    }
    if (std::any_of(path.begin(), path.end(),
                    [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; })) {
        return false;
    }
    const QStringList parts = ToSlashes(path).split(kSlash);
    return std::none_of(parts.begin(), parts.end(),
                        [](const QString& part) { return part == QLatin1String(".."); });
}

QString ExpandStoredDataPath(const QString& stored, const QString& fallback, bool* refused)
{
    const bool absolute =
        stored.startsWith(kBackslash) || stored.startsWith(kSlash) || HasDriveLetter(stored);
    const bool refuse = !stored.isEmpty() && !absolute && !IsSafeRelativePath(stored);
    if (refused != nullptr) {
        *refused = refuse;
    }
    return ExpandDataRelativePath(refuse ? fallback : stored);
}

QString MakeValidName(const QString& text)
{
    QString name = text.trimmed();
    for (QChar& c : name) {
        if (!c.isLetter() && !c.isDigit()) {
            c = QLatin1Char('_');
        }
    }
    return name;
}

QString RemoveCommas(const QString& text)
{
    QString plain = text;
    return plain.remove(QLatin1Char(','));
}

QString ToDasFileName(const QString& path)
{
    const QString name = path.mid(FileNameStart(path));
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot < 0) {
        return name.left(8);
    }
    if (dot == 8 && name.size() <= 12) {
        return name;
    }
    const QString extension = name.mid(dot + 1, 3);
    return extension.isEmpty()
               ? name.left(std::min<qsizetype>(dot, 8))
               : name.left(std::min<qsizetype>(dot, 8)) + QLatin1Char('.') + extension;
}

bool IsDasCommandName(const QString& name, bool quoted)
{
    if (name.trimmed().isEmpty()) {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [quoted](QChar c) {
        return c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('"') ||
               c.unicode() < 0x20 || c.unicode() == 0x7F || (!quoted && c == QLatin1Char(' '));
    });
}

QString NotADasFileNameMessage(const QString& name)
{
    return QStringLiteral("\"") + name +
           QStringLiteral("\" is not a DAS file name: it may not be empty or hold *, ?, \", "
                          "blanks or control characters.");
}

QString MakeNumberedFileName(const QString& fileName, int number)
{
    const qsizetype nameStart = FileNameStart(fileName);
    qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < nameStart) {
        dot = fileName.size();
    }
    QString stem = fileName.left(dot);
    for (int i = 0; i < 3 && stem.size() > nameStart && stem.endsWith(QLatin1Char('0')); ++i) {
        stem.chop(1);
    }
    return stem + QString::asprintf("%03d", number) + fileName.mid(dot);
}

bool GetCommaField(QString& dest, const QString& text, int index, int size)
{
    dest.clear();
    qsizetype pos = 0;
    for (int i = 0; i < index; ++i) {
        pos = text.indexOf(QLatin1Char(','), pos);
        if (pos < 0) {
            return false;
        }
        ++pos;
    }
    while (pos < text.size() &&
           (text.at(pos) == QLatin1Char(' ') || text.at(pos) == QLatin1Char('\t'))) {
        ++pos;
    }
    qsizetype end = text.indexOf(QLatin1Char(','), pos);
    if (end < 0) {
        end = text.size();
    }
    dest = text.mid(pos, std::min<qsizetype>(end - pos, std::max(size - 1, 0)));
    return true;
}

QString OrdinalString(int n)
{
    const int lastTwo = std::abs(n % 100);
    const char* suffix = "th";
    if (lastTwo < 11 || lastTwo > 13) {
        switch (lastTwo % 10) {
        case 1:
            suffix = "st";
            break;
        case 2:
            suffix = "nd";
            break;
        case 3:
            suffix = "rd";
            break;
        default:
            break;
        }
    }
    return QString::number(n) + QLatin1String(suffix);
}

int OrdinalToInt(const QString& text)
{
    return ParseIntegerText(text.left(std::max<qsizetype>(text.size() - 2, 0))).value_or(0);
}

int StrToIntAtLeast(const QString& text, int def)
{
    return std::max(def, ParseIntegerText(text).value_or(def));
}

QString LinesToCommaText(const QStringList& lines)
{
    if (lines.size() == 1 && lines.first().isEmpty()) {
        return QStringLiteral("\"\"");
    }
    QStringList items;
    items.reserve(lines.size());
    for (const QString& line : lines) {
        const bool quote = std::any_of(line.begin(), line.end(), [](QChar c) {
            return IsCommaTextBlank(c) || c == QLatin1Char('"') || c == QLatin1Char(',');
        });
        if (quote) {
            QString inner = line;
            items.append(QLatin1Char('"') +
                         inner.replace(QLatin1String("\""), QLatin1String("\"\"")) +
                         QLatin1Char('"'));
        } else {
            items.append(line);
        }
    }
    return items.join(QLatin1Char(','));
}

QStringList CommaTextToLines(const QString& text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype pos = 0;
    auto skipBlanks = [&] {
        while (pos < n && IsCommaTextBlank(text.at(pos))) {
            ++pos;
        }
    };
    skipBlanks();
    while (pos < n) {
        QString item;
        if (text.at(pos) == QLatin1Char('"')) {
            ++pos;
            while (pos < n) {
                if (text.at(pos) == QLatin1Char('"')) {
                    if (pos + 1 < n && text.at(pos + 1) == QLatin1Char('"')) {
                        item += QLatin1Char('"');
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                item += text.at(pos++);
            }
        } else {
            const qsizetype start = pos;
            while (pos < n && !IsCommaTextBlank(text.at(pos)) && text.at(pos) != QLatin1Char(',')) {
                ++pos;
            }
            item = text.mid(start, pos - start);
        }
        lines.append(item);
        skipBlanks();
        if (pos < n && text.at(pos) == QLatin1Char(',')) {
            if (pos + 1 == n) {
                lines.append(QString());
            }
            ++pos;
            skipBlanks();
        }
    }
    return lines;
}

bool InstallFileIfMissing(const QString& source, const QString& target)
{
    if (QFileInfo::exists(target)) {
        return true;
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        return false;
    }
    QDir().mkpath(QFileInfo(target).absolutePath());
    QSaveFile out(target);
    return out.open(QIODevice::WriteOnly) && out.write(in.readAll()) == in.size() && out.commit();
}
