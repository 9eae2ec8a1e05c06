#pragma once
// Fakes of what the link manager reaches above the link layer: a device on a host channel,
// the main window's side of the link, and a PC device port. Each records what it was told.
// Also the link's global queues and channel table, made and freed around one test.

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "link/ChannelInterfaces.h"
#include "link/LinkUi.h"
#include "link/MuxClasses.h"
#include "link/SendQueues.h"

// Makes the link's send queue, timed queue and an empty channel table (UI thread, the link
// thread not running); DeleteLinkGlobals frees them and leaves the globals null.
inline void NewLinkGlobals()
{
    SendQueue = new TDataList;
    TimedQueue = new TDataList;
    MuxArray = new TMuxArray;
}

inline void DeleteLinkGlobals()
{
    delete MuxArray;
    MuxArray = nullptr;
    delete TimedQueue;
    TimedQueue = nullptr;
    delete SendQueue;
    SendQueue = nullptr;
}

// A device that records its host-side command effects as words ("data on", "busy", ...).
class TFakeDevice final : public IChannelDevice {
public:
    QString GetName() const override { return QStringLiteral("Fake"); }
    void SetPortActivity() override {}
    void RefreshListRow() override { events << QStringLiteral("row"); }
    void SetDataActive(bool active) override
    {
        dataActive = active;
        events << (active ? QStringLiteral("data on") : QStringLiteral("data off"));
    }
    void SetBusy(bool on) override
    {
        busy = on;
        events << (on ? QStringLiteral("busy") : QStringLiteral("go"));
    }
    void SetCaptureOn(bool on) override { events << (on ? QStringLiteral("capture on") : QStringLiteral("capture off")); }
    TCaptureTarget CaptureTarget() const override { return {}; }
    void CaptureStopped() override {}
    TChannelSerialSettings EchoSettings() const override { return {}; }
    TChannelPortInfo PortInfo() const override { return {}; }

    // The events without the row refreshes.
    QStringList Effects() const
    {
        QStringList out;
        for (const QString& e : events) {
            if (e != QStringLiteral("row")) {
                out << e;
            }
        }
        return out;
    }

    QStringList events;
    bool dataActive = false;
    bool busy = false;
};

// The main window's side of the link, recorded.
class TFakeLinkUi final : public ILinkUi {
public:
    void ShowToolMessage(const QString& text) override { messages << text; }
    void SetDeviceListGrey(bool on) override { grey = on; }
    bool DeviceListGrey() const override { return grey; }
    void SetArchiveActions(bool recordPlay, bool rewind, bool fast, bool pauseStop) override
    {
        actions = {recordPlay, rewind, fast, pauseStop};
    }
    void AppendDebugMemo(const QString& line) override { memo << line; }
    bool ExplorerVisible() const override { return explorerVisible; }
    void RefreshExplorer() override { ++explorerRefreshes; }
    void NextSeqNum() override { ++nextSeqNums; }

    QString LastMessage() const { return messages.isEmpty() ? QString() : messages.last(); }

    QStringList messages;
    bool grey = false;
    std::vector<bool> actions;
    QStringList memo;
    bool explorerVisible = false;
    int explorerRefreshes = 0;
    int nextSeqNums = 0;
};

// A PC device port that records what was written and whether it was closed.
class TFakePcPort final : public IPcDevicePort {
public:
    explicit TFakePcPort(QByteArray* written, bool* closed) : written_(written), closed_(closed) {}
    ~TFakePcPort() override { *closed_ = true; }
    int Read(char*, int) override { return 0; }
    bool Write(const char* bytes, int count) override
    {
        written_->append(bytes, count);
        return true;
    }

private:
    QByteArray* written_;
    bool* closed_;
};
