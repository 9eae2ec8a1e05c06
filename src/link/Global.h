#pragma once
// Helpers shared by every part of the program: the program and data folders, file name forms
// of the DAS, name cleaning, small text conversions and the toolkit's comma text.
// Paths stored by the program keep "\" as the separator; NativePath turns one into a path the
// file system takes, and only code that touches a file calls it.

#include <QString>
#include <QStringList>

// Any thread. The folder of the program file with a final "bin/" dropped (any case), ending
// in "/".
QString GetAppDir();
// The same rule applied to a given executable folder (for tests).
QString AppDirFromExeDir(const QString& exeDir);
// Any thread. The program data folder (the user's data folder + "Wendrok/"), created with its
// sub-folders when missing; ends in "/".
QString GetProgramDataDir();

// A non-empty path not ending in "\" gets one.
QString IncludeTrailingBackslash(const QString& path);
// A non-empty path not ending in "/" gets one.
QString IncludeTrailingPathDelimiter(const QString& path);
// A stored path ("\" separators, maybe relative to the data folder) as a native path.
QString NativePath(const QString& stored);
// A native path as stored ("\" separators).
QString StoredPath(const QString& native);
// The path relative to the program data folder when it lies under it (stored form), else
// the path unchanged.
QString MakeDataRelativePath(const QString& path);
// A relative stored path made absolute against the program data folder (native form); an
// absolute path is returned as a native path.
QString ExpandDataRelativePath(const QString& path);

// The trimmed text with every character that is not a letter or digit replaced by "_".
QString MakeValidName(const QString& text);
QString RemoveCommas(const QString& text);
// The 8.3 form of the file name part of a path.
QString ToDasFileName(const QString& path);
// "RAW000.DAT", 7 -> "RAW007.DAT".
QString MakeNumberedFileName(const QString& fileName, int number);
// The index-th (from 0) comma-separated field, leading blanks skipped, at most size - 1
// characters; false when the text has fewer fields.
bool GetCommaField(QString& dest, const QString& text, int index, int size);
QString OrdinalString(int n);
int OrdinalToInt(const QString& text);
int StrToIntAtLeast(const QString& text, int def);

// The toolkit's comma text of a line list, and back.
QString LinesToCommaText(const QStringList& lines);
QStringList CommaTextToLines(const QString& text);
