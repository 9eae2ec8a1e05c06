#pragma once
// The stand-in DAS's disk as far as file and script transfers need it: a small in-memory file
// system and the script buffer. It answers through the console's handler table:
//  - "RCVFILE" "name": what arrives next on host channel 250 is stored under that name once
//    the host's zero-length end block arrives;
//  - "SENDHOSTFILE" "name": the stored file goes to the host on channel 250 in blocks of at
//    most 254 bytes, then a zero-length end block (a missing file gets no answer at all);
//  - "STOPTRANSFER": a file being received is dropped;
//  - "CLEARSCRIPT" empties the script buffer, each zero-ended text on channel 254 is one script
//    line, the zero-length block ends the script (it is then loaded), "CHECKSCRIPT" marks it
//    checked;
//  - "OpenFile n "name"" and "OpenFileSeq n "name"" open file slot n on that file (made empty
//    when missing; what the slot takes is appended), "OpenFileSeq" with the DAS's file
//    sequence number in the name's last three digits, "CloseFile n" closes the slot;
//  - "SaveScript "name"" stores the loaded script as a file (its lines ended by CR LF);
//  - "RUNSCRIPT" runs the loaded script and "ENDSCRIPT" halts it (the status report's script
//    state follows).
//  A script command that finds no script answers with a line on the error channel 253, as the
//  DAS's console complains.
// File names are compared without regard to case. Every public function may be called from
// any thread; the handlers run on the stand-in's thread.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "support/TestWaits.h"

class TDasStandIn;
class TDasConsole;

class TDasFiles {
public:
    // Registers its handlers on `console` and its readers of channels 250 and 254 on `das`.
    TDasFiles(TDasStandIn& das, TDasConsole& console);
    // Removes them again (both must still exist).
    ~TDasFiles();
    TDasFiles(const TDasFiles&) = delete;
    TDasFiles& operator=(const TDasFiles&) = delete;

    // --- Files ---
    void PutFile(const QString& name, const QByteArray& bytes);
    bool HasFile(const QString& name) const;
    QByteArray File(const QString& name) const;
    QStringList FileNames() const;
    // Waits until a file of that name is stored.
    bool WaitForFile(const QString& name, int timeoutMs = kTestWaitMs) const;
    // Fetches are read and left unanswered while this is off (on by default).
    void SetAnswerFetches(bool on);
    void RemoveFile(const QString& name);
    // Turns the names the host sends with "RCVFILE" and "SENDHOSTFILE" into the names files
    // are kept under (a DAS with folders resolves them against its current folder); none
    // keeps them as sent. Called on the stand-in's thread, outside this object's lock.
    void SetNameResolver(std::function<QString(const QString&)> resolver);
    // The DAS's file sequence number, which "OpenFileSeq" writes into the file's name (none:
    // the name is kept as sent). Called on the stand-in's thread, outside this object's lock.
    void SetSequenceNumberSource(std::function<int()> source);
    // Appends to the file open on file slot `slot` (nothing when the slot is closed).
    void AppendToSlot(int slot, const QByteArray& bytes);

    // --- Script ---
    QStringList ScriptLines() const;
    // The host's end block of the script arrived / CHECKSCRIPT arrived after it.
    bool ScriptEnded() const;
    bool ScriptChecked() const;
    bool WaitForScriptChecked(int timeoutMs = kTestWaitMs) const;
    // Replaces the script buffer (a script loaded from a file on the disk).
    void SetScriptLines(const QStringList& lines);
    // The script state field of the status report: "xN" no script, "xS" loaded, "xR" running,
    // "xH" halted.
    QByteArray ScriptStateField() const;

private:
    struct TState;
    void AddScriptCommands();
    void AddFileSlotCommands();

    TDasStandIn& das_;
    TDasConsole& console_;
    std::shared_ptr<TState> state_;
};
