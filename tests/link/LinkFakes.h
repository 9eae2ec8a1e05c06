#pragma once
// Fakes of what the link manager reaches above the link layer: a device on a host channel,
// the main window's side of the link, and a PC device port. Each records what it was told.
// Also the link's global queues and channel table, made and freed around one test, and DAS
// ports as in-memory fakes whose writes can be held as long as a test likes.

#include <QString>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "link/ChannelInterfaces.h"
#include "link/LinkUi.h"
#include "link/MuxClasses.h"
#include "link/Packets.h"
#include "link/SendQueues.h"
#include "link/Serial.h"
#include "platform/SerialPort.h"
#include "support/TestWaits.h"

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

// Holds the writes that pass it while it is closed, as a long write at a low baud rate holds
// its writer: each waits until the hold opens. Any thread.
class TWriteHold {
public:
    void Set(bool closed)
    {
        std::lock_guard lock(mutex_);
        closed_ = closed;
        changed_.notify_all();
    }
    // The writer's side.
    void Pass()
    {
        std::unique_lock lock(mutex_);
        ++held_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !closed_; });
        --held_;
    }
    // Waits until a write is held.
    bool WaitHeld()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(kTestWaitMs),
                                 [this] { return held_ > 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    int held_ = 0;
};

// A PC device port that records what was written and whether it was closed; its writes pass
// `hold` when it has one.
class TFakePcPort final : public IPcDevicePort {
public:
    TFakePcPort(QByteArray* written, bool* closed, std::shared_ptr<TWriteHold> hold = nullptr)
        : written_(written), closed_(closed), hold_(std::move(hold))
    {
    }
    ~TFakePcPort() override { *closed_ = true; }
    int Read(char*, int) override { return 0; }
    bool Write(const char* bytes, int count) override
    {
        if (hold_) {
            hold_->Pass();
        }
        written_->append(bytes, count);
        return true;
    }

private:
    QByteArray* written_;
    bool* closed_;
    std::shared_ptr<TWriteHold> hold_;
};

// A port handed to the serial module that forwards to a fake the test keeps, so the test can
// still feed it and look at it after the module closed the port. Its writes pass `hold` when
// it has one.
class TSharedFakePort final : public ISerialPort {
public:
    TSharedFakePort(std::shared_ptr<TFakeSerialPort> fake, std::shared_ptr<bool> closed,
                    std::shared_ptr<TWriteHold> hold = nullptr)
        : fake_(std::move(fake)), closed_(std::move(closed)), hold_(std::move(hold))
    {
    }
    ~TSharedFakePort() override { *closed_ = true; }
    bool CheckProperties() override { return fake_->CheckProperties(); }
    bool ApplySettings(const TSerialSettings& s) override { return fake_->ApplySettings(s); }
    bool SetBaudRate(uint32_t baud) override { return fake_->SetBaudRate(baud); }
    bool SetRtsToggle() override { return fake_->SetRtsToggle(); }
    bool SetReadTimeout(int ms) override { return fake_->SetReadTimeout(ms); }
    ssize_t Write(const uint8_t* b, size_t n) override
    {
        if (hold_) {
            hold_->Pass();
        }
        return fake_->Write(b, n);
    }
    ssize_t Read(uint8_t* b, size_t n) override { return fake_->Read(b, n); }
    int OutQueue() override { return fake_->OutQueue(); }
    int InQueue() override { return fake_->InQueue(); }
    bool PurgeInput() override { return fake_->PurgeInput(); }
    bool SetBreak(bool on) override { return fake_->SetBreak(on); }
    bool SetLineMarks(bool on) override { return fake_->SetLineMarks(on); }
    bool HungUp() override { return fake_->HungUp(); }

private:
    std::shared_ptr<TFakeSerialPort> fake_;
    std::shared_ptr<bool> closed_;
    std::shared_ptr<TWriteHold> hold_;
};

// While it lives, every port opened (the DAS port among them) is a new in-memory fake that
// the test keeps, in opening order, and every write to one passes `hold`. UI thread.
class TFakeDasPorts {
public:
    TFakeDasPorts()
    {
        SetSerialPortOpenerForTest([this](const QString&) -> std::unique_ptr<ISerialPort> {
            opened.push_back(std::make_shared<TFakeSerialPort>());
            return std::make_unique<TSharedFakePort>(opened.back(), std::make_shared<bool>(),
                                                     hold);
        });
    }
    // Lets a held write go first, so that the link thread can be stopped.
    ~TFakeDasPorts()
    {
        hold->Set(false);
        SetSerialPortOpenerForTest({});
    }
    TFakeDasPorts(const TFakeDasPorts&) = delete;
    TFakeDasPorts& operator=(const TFakeDasPorts&) = delete;

    // Queues `text` for channel 5 with the hold closed: true once the link thread is held
    // writing it.
    bool HoldWriting(const char* text)
    {
        hold->Set(true);
        SendQueue->Add(5, text, static_cast<uint32_t>(std::strlen(text)));
        return hold->WaitHeld();
    }
    // Opens the hold and queues `text` for channel 5: true once the packet of `held` and then
    // that of `text` have gone out on the first port (the error-detecting protocol sends them
    // without waiting for a poll).
    bool ReleaseAndSend(const char* held, const char* text)
    {
        hold->Set(false);
        SendQueue->Add(5, text, static_cast<uint32_t>(std::strlen(text)));
        const auto bytes = 2 * kDataPacketOverhead + std::strlen(held) + std::strlen(text);
        return opened[0]->WaitWritten(static_cast<int>(bytes), kTestWaitMs);
    }

    std::shared_ptr<TWriteHold> hold = std::make_shared<TWriteHold>();
    std::vector<std::shared_ptr<TFakeSerialPort>> opened;
};
