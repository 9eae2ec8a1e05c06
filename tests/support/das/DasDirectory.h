#pragma once
// The stand-in DAS's drives and folders over the disk of TDasFiles, as its disk operating
// system shows them to the host:
//  - "DIR": a listing of the current folder on host channel 251 in the DAS's fixed columns
//    (name padded to 12, three blanks, the size right-aligned in 12 columns with thousands
//    commas or "<DIR>", two blanks, "MM-DD-YY  HH:MM"), the file and folder summaries, and
//    the line "Directory Complete"; every line ends in CR LF;
//  - PicoDos "CD" and "ChDir" (a folder, "..", a path or a drive such as "D:\"), "MkDir",
//    "RmDir" (empty folders only), "Del", "REN" (files and folders) and "Copy" (a file into a
//    folder, or to a new name);
//  - "LoadScript" "name": the file becomes the loaded script; "SENDPARSED" sends the loaded
//    script on host channel 254; "SENDSTRING HOST n" "text" sends the text on channel n.
// A path is a drive letter, ":" and "\"-separated names; names are compared without regard to
// case and listed upper-cased. A file name the host sends for a transfer is taken relative to
// the current folder. TDasFiles keeps each file under its path relative to C:\ ("LOGS\A.TXT",
// "A.TXT" in the root of C) or, on another drive, under its whole path ("D:\A.TXT").
//
// Every public function may be called from any thread; the handlers run on the stand-in's
// thread.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class TDasConsole;
class TDasFiles;
class TDasStandIn;

class TDasDirectory {
public:
    // Registers its handlers on `console` and its name resolver on `files` (all three must
    // outlive it).
    TDasDirectory(TDasStandIn& das, TDasConsole& console, TDasFiles& files);
    // The handlers stay on the console but do nothing from now on; the resolver is removed.
    ~TDasDirectory();
    TDasDirectory(const TDasDirectory&) = delete;
    TDasDirectory& operator=(const TDasDirectory&) = delete;

    // Drives C up to C + count - 1 (1 to 24; 2 by default: C and D).
    void SetDriveCount(int count);
    // Makes the folder of a whole path ("C:\LOGS\OLD") with its missing parents.
    void MakeFolder(const QString& path);
    bool HasFolder(const QString& path) const;
    // Puts a file at a whole path ("C:\LOGS\A.TXT").
    void PutFile(const QString& path, const QByteArray& bytes);
    // The current folder's whole path ("C:\" or "C:\LOGS").
    QString CurrentFolder() const;
    // The listing "DIR" sends for the current folder.
    QByteArray Listing() const;

    // The name TDasFiles keeps the file of a whole path under.
    static QString FileKey(const QString& path);

private:
    struct TState;
    std::shared_ptr<TState> state_;
    TDasFiles& files_;
};
