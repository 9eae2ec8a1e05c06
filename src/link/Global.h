#pragma once
// Helpers shared by every part of the program: the program and data folders, file name forms
// of the DAS, name cleaning, small text conversions and the toolkit's comma text.
// Paths stored by the program keep "\" as the separator; NativePath turns one into a path the
// file system takes, and only code that touches a file calls it. DAS paths ("C:\...", 8.3
// names) always keep "\". A file name that holds "*" (such as "Config\*.Das") stands for "no
// file chosen yet": the path helpers keep it as it is, and callers test it with IsNoFileName.
//
// Every function here may be called from any thread; results are values the caller owns.

#include <QString>
#include <QStringList>

// The folder of the program file with a final "bin" folder dropped (any case), ending in "/".
QString GetAppDir();
// The same rule applied to a given executable folder (for tests).
QString AppDirFromExeDir(const QString& exeDir);
// The script language's keyword file, "Keywords/Pelagrix.key" in the program folder: the
// script editors colour with it, the command console makes its menu from it.
QString KeywordFilePath();
// The program data folder (the user's data folder + "Wendrok/"), created with its sub-folders
// "Config", "InternalConfig", "Data", "Scripts", "Icons" and "DASExplorer" when missing; ends
// in "/". Worked out once per run.
QString GetProgramDataDir();

// A non-empty path not ending in "\" gets one (DAS and stored paths).
QString IncludeTrailingBackslash(const QString& path);
// A non-empty path not ending in "/" gets one (native paths).
QString IncludeTrailingPathDelimiter(const QString& path);
// Whether a file name stands for "no file": it holds a "*".
bool IsNoFileName(const QString& path);
// A stored path ("\" separators, maybe relative to the data folder) as a native path; the
// same as ExpandDataRelativePath.
QString NativePath(const QString& stored);
// A native path as stored ("\" separators).
QString StoredPath(const QString& native);
// The path relative to the program data folder when it lies under it (stored form), else
// the path unchanged. A final separator is kept ("…/Wendrok/Data/" gives "Data\").
QString MakeDataRelativePath(const QString& path);
// A relative stored path made absolute against the program data folder (native form); an
// absolute path is returned as a native path. A path with a drive letter ("C:\...") cannot be
// resolved on this system and comes back unchanged, so it counts as a missing file; an empty
// path stays empty.
QString ExpandDataRelativePath(const QString& path);

// Whether `path`, taken relative to a folder, names something inside that folder: not empty,
// no leading "\" or "/", no drive ("C:", "C:\"), no ".." part, no control character; "\" and
// "/" both separate parts. A plain file name is such a path. Names the DAS sends and paths
// read from files relative to a program folder are checked with it before any file is touched;
// folders the operator chose as absolute paths are not.
bool IsSafeRelativePath(const QString& path);
// A path stored relative to the program data folder (or absolute), expanded as
// ExpandDataRelativePath does; a relative path that would leave the data folder gives the
// expansion of `fallback` instead, and `refused` (when given) is set.
QString ExpandStoredDataPath(const QString& stored, const QString& fallback,
                             bool* refused = nullptr);

// The trimmed text with every character that is not a letter or digit replaced by "_".
QString MakeValidName(const QString& text);
QString RemoveCommas(const QString& text);
// The 8.3 form of the file name part of a path ("\" or "/" separators).
QString ToDasFileName(const QString& path);
// Whether a DAS file name may stand in a command sent to the DAS: not blank, no wildcard (the
// DAS would act on other files), no double quote or control character (they would end the
// name or the command early), and no blank where the command does not quote it.
bool IsDasCommandName(const QString& name, bool quoted);
// The operator's message for a name IsDasCommandName refuses.
QString NotADasFileNameMessage(const QString& name);
// The file name with up to three "0" dropped from the end of its name part and the number
// put there in at least three digits: "RAW000.DAT", 7 -> "RAW007.DAT". Only the file name
// part of the path has an extension.
QString MakeNumberedFileName(const QString& fileName, int number);
// The index-th (from 0) comma-separated field, leading blanks skipped, at most size - 1
// characters; false (and an empty dest) when the text has fewer fields.
bool GetCommaField(QString& dest, const QString& text, int index, int size);
// 1 -> "1st", 2 -> "2nd", 11 -> "11th", 22 -> "22nd".
QString OrdinalString(int n);
// The text without its last two characters as an integer ("21st" -> 21); 0 when not a number.
int OrdinalToInt(const QString& text);
// The larger of the default and the text as an integer; the default when not a number.
int StrToIntAtLeast(const QString& text, int def);

// The toolkit's comma text of a line list, and back. Writing quotes an item that holds a
// blank, a control character, a comma or a double quote (doubling inner quotes); a list of one
// empty item gives "\"\"". Reading skips blanks between items, unquotes quoted items, ends an
// unquoted item at a blank, control character or comma, and a final comma adds an empty item.
QString LinesToCommaText(const QStringList& lines);
QStringList CommaTextToLines(const QString& text);

// Copies `source` (a file or a Qt resource) to the native path `target` unless a file is
// already there; true when the file exists afterwards. The copy is written whole or not at all.
bool InstallFileIfMissing(const QString& source, const QString& target);
