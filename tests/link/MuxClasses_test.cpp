#include "link/MuxClasses.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/FakePrompt.h"
#include "support/QtHelpers.h"

namespace {

using TLog = std::vector<std::string>;

std::string Text(const char* bytes, int count) { return std::string(bytes, count); }

class FakeTerminal final : public ITerminalView {
public:
    explicit FakeTerminal(TLog* log = nullptr, std::string tag = "window")
        : log_(log), tag_(std::move(tag))
    {
    }
    void ShowData(const char* bytes, int count) override
    {
        shown += Text(bytes, count);
        Note(tag_ + ":" + Text(bytes, count));
        if (onShow) {
            onShow();
        }
    }
    void SetHostChannel(TMux* mux) override { channel = mux; }
    void ClearReceived() override { shown.clear(); }
    void SetCaption(const QString& text) override { caption = text; }
    void ShowNormal() override { Note(tag_ + ":shown normal"); }
    void ChannelStateChanged() override { ++stateChanges; }
    void DestroyView() override { destroyed = true; }

    std::string shown;
    TMux* channel = nullptr;
    QString caption;
    int stateChanges = 0;
    bool destroyed = false;
    std::function<void()> onShow;

private:
    void Note(const std::string& entry)
    {
        if (log_ != nullptr) {
            log_->push_back(entry);
        }
    }
    TLog* log_;
    std::string tag_;
};

class FakeDevice final : public IChannelDevice {
public:
    explicit FakeDevice(TLog* log) : log_(log) {}
    QString GetName() const override { return QStringLiteral("CTD"); }
    void SetPortActivity() override { log_->push_back("activity"); }
    void RefreshListRow() override {}
    void SetDataActive(bool) override {}
    void SetBusy(bool) override {}
    void SetCaptureOn(bool) override {}
    TCaptureTarget CaptureTarget() const override { return {}; }
    void CaptureStopped() override { log_->push_back("capture stopped"); }
    TChannelSerialSettings EchoSettings() const override { return {}; }
    TChannelPortInfo PortInfo() const override { return {}; }

private:
    TLog* log_;
};

// A file or port that logs what it is given and can be told to fail.
struct TSinkState {
    std::string written;
    bool fail = false;
    bool closed = false;
    bool destroyed = false;
};

class FakeFile final : public IChannelFile {
public:
    FakeFile(TSinkState& state, TLog& log, std::string tag)
        : state_(state), log_(log), tag_(std::move(tag))
    {
    }
    ~FakeFile() override { state_.destroyed = true; }
    bool Write(const char* bytes, int count) override
    {
        if (state_.fail) {
            return false;
        }
        state_.written += Text(bytes, count);
        log_.push_back(tag_ + ":" + Text(bytes, count));
        return true;
    }
    int Read(char*, int) override { return 0; }
    bool Close() override
    {
        state_.closed = true;
        return true;
    }

private:
    TSinkState& state_;
    TLog& log_;
    std::string tag_;
};

class FakeEcho final : public IEchoPort {
public:
    FakeEcho(TSinkState& state, TLog& log) : state_(state), log_(log) {}
    ~FakeEcho() override { state_.destroyed = true; }
    bool WritePort(const char* bytes, int count) override
    {
        if (state_.fail) {
            return false;
        }
        state_.written += Text(bytes, count);
        log_.push_back("echo:" + Text(bytes, count));
        return true;
    }

private:
    TSinkState& state_;
    TLog& log_;
};

class FakeReaders final : public IFixedChannelReaders {
public:
    void OnStatusChannelData(uint8_t channel, const char* bytes, int count) override
    {
        log.push_back("status" + std::to_string(channel) + ":" + Text(bytes, count));
    }
    void ReceiveDateReply(const char* bytes, int count) override
    {
        log.push_back("clock:" + Text(bytes, count));
    }
    void ReceiveListing(const char* bytes, int count) override
    {
        log.push_back("sysvars:" + Text(bytes, count));
    }
    void ReceiveListingData(const char* bytes, int count) override
    {
        log.push_back("listing:" + Text(bytes, count));
    }
    void ReceiveControlText(const char* bytes, int count) override
    {
        log.push_back("control:" + Text(bytes, count));
    }
    TLog log;
};

class FakeProgress final : public IProgressView {
public:
    void Refresh() override { ++refreshes; }
    void CloseView() override { closed = true; }
    void DestroyView() override { destroyed = true; }
    int refreshes = 0;
    bool closed = false;
    bool destroyed = false;
};

void Put(TMux* mux, const std::string& text, int tag = kNoTag)
{
    mux->PutData(text.data(), static_cast<int>(text.size()), tag);
}

bool WaitForMessages(const TFakePrompt& prompt, int count)
{
    return WaitUntil([&] { return prompt.Messages().size() >= count; });
}

}  // namespace

TEST(MuxDispatch, ConsumersGetBytesInOrderAndEachFailureClosesOnlyItsOwn)
{
    TFakePrompt prompt;
    TLog log;
    FakeDevice device(&log);
    FakeTerminal window(&log);
    TMuxArray table;
    TMux* mux = table.AddChannel(12, &device, &window);
    TSinkState echo, fetch, capture;
    mux->SetEchoPort(std::make_unique<FakeEcho>(echo, log));
    mux->SetGetFile(std::make_unique<FakeFile>(fetch, log, "fetch"));
    mux->SetCaptureFile(std::make_unique<FakeFile>(capture, log, "capture"));

    Put(mux, "one");
    EXPECT_TRUE(table.Service(1.0));
    EXPECT_EQ(log, (TLog{"echo:one", "fetch:one", "capture:one", "window:one", "activity"}));

    echo.fail = true;
    const int stateChanges = window.stateChanges;
    Put(mux, "two");
    table.Service(1.0);
    ASSERT_TRUE(WaitForMessages(prompt, 1));
    EXPECT_TRUE(prompt.Messages().last().endsWith("Echo Serial Port Error on Host Channel# 12"));
    EXPECT_FALSE(mux->IsEchoOpen());
    // The window's echo item follows the closed port.
    EXPECT_GT(window.stateChanges, stateChanges);
    EXPECT_TRUE(echo.destroyed);
    EXPECT_EQ(fetch.written, "onetwo");

    fetch.fail = true;
    Put(mux, "three");
    table.Service(1.0);
    ASSERT_TRUE(WaitForMessages(prompt, 2));
    EXPECT_TRUE(prompt.Messages().last().endsWith("File Get Error on Host Channel# 12"));
    EXPECT_EQ(mux->GetGetFile(), nullptr);
    EXPECT_EQ(mux->GetGetState(), kGetIdle);
    EXPECT_EQ(capture.written, "onetwothree");

    capture.fail = true;
    Put(mux, "four");
    table.Service(1.0);
    ASSERT_TRUE(WaitForMessages(prompt, 3));
    EXPECT_TRUE(prompt.Messages().last().endsWith("Capture Error on Host Channel# 12"));
    EXPECT_FALSE(mux->IsCaptureOn());
    EXPECT_TRUE(capture.closed);
    capture.fail = false;
    Put(mux, "five");
    table.Service(1.0);
    EXPECT_EQ(capture.written, "onetwothree");
    EXPECT_EQ(window.shown, "onetwothreefourfive");
    EXPECT_EQ(prompt.Messages().size(), 3);
    EXPECT_EQ(log.back(), "activity");
}

TEST(MuxDispatch, ChannelWithoutConsumerKeepsItsBytes)
{
    TMuxArray table;
    TMux* mux = table.AddChannel(kFileChannel);
    Put(mux, "stale");
    EXPECT_FALSE(table.Service(1.0));
    EXPECT_TRUE(mux->HasData());
    EXPECT_FALSE(mux->ProcessData());
    EXPECT_EQ(mux->ReadQueue(), 5);
    EXPECT_STREQ(mux->Scratch(), "stale");
}

TEST(MuxDispatch, ErrorChannelComesToFrontAfterShowingItsData)
{
    TLog log;
    FakeTerminal window(&log);
    TMuxArray table;
    TMux* mux = table.AddChannel(kErrorChannel, &window);
    Put(mux, "ERROR 12 bad command");
    table.Service(1.0);
    EXPECT_EQ(log, (TLog{"window:ERROR 12 bad command", "window:shown normal"}));
}

TEST(MuxDispatch, FixedChannelsReachTheirReadersWithoutWindows)
{
    FakeReaders readers;
    TMuxArray table;
    table.SetFixedChannelReaders(&readers);
    for (uint8_t channel : {247, 248, 249, 251, 252, 254, 255}) {
        table.AddChannel(channel);
    }
    Put(table.GetChannel(255), "DataStart 12\r\n");
    Put(table.GetChannel(247), "S");
    Put(table.GetChannel(248), "C");
    Put(table.GetChannel(249), "V");
    Put(table.GetChannel(251), "L");
    Put(table.GetChannel(252), "M");
    Put(table.GetChannel(254), "parsed");
    EXPECT_TRUE(table.Service(1.0));
    EXPECT_EQ(readers.log, (TLog{"control:DataStart 12\r\n", "status247:S", "clock:C", "sysvars:V",
                                 "listing:L", "status252:M"}));
    EXPECT_FALSE(table.GetChannel(254)->HasData());

    table.SetFixedChannelReaders(nullptr);  // the no-op readers take over
    Put(table.GetChannel(255), "x");
    EXPECT_TRUE(table.Service(1.0));
    EXPECT_EQ(readers.log.size(), 6u);
}

TEST(MuxPutData, TaggedSegmentIsTextUpToZeroNeverPastItsLength)
{
    FakeTerminal info;
    TMuxArray table;
    TMux* mux = table.AddChannel(kInfoChannel, &info);
    EXPECT_EQ(mux->PutData("ab\0cd", 5, 99), 5);
    table.Service(1.0);
    EXPECT_EQ(info.shown, "[99]ab");

    const char noZero[] = "xyzNEXT SEGMENT";
    EXPECT_EQ(mux->PutData(noZero, 3, 7), 3);
    table.Service(1.0);
    EXPECT_EQ(info.shown, "[99]ab[7]xyz");
}

TEST(MuxPutData, TakesAtMostOneSegment)
{
    FakeTerminal window;
    TMuxArray table;
    TMux* mux = table.AddChannel(40, &window);
    const std::string big(300, 'q');
    EXPECT_EQ(mux->PutData(big.data(), 300), 254);
    table.Service(1.0);
    EXPECT_EQ(window.shown, std::string(254, 'q'));
}

TEST(MuxTransfer, EndMarkerCompletesFetchOnceRingIsDrained)
{
    TLog log;
    FakeTerminal window;
    TMuxArray table;
    TMux* mux = table.AddChannel(kFileChannel, &window);
    TSinkState fetch;
    mux->SetGetFile(std::make_unique<FakeFile>(fetch, log, "fetch"));
    auto* progress = new FakeProgress;
    mux->SetProgressWindow(progress);

    Put(mux, "abc");
    mux->PutData("", 0);  // the DAS's end marker
    EXPECT_EQ(mux->GetGetState(), kGetComplete);
    EXPECT_EQ(mux->GetBytesTransferred(), 3u);
    mux->UpdateTransfer();  // bytes still in the ring: the file stays open
    EXPECT_FALSE(progress->closed);
    table.Service(1.0);
    EXPECT_EQ(fetch.written, "abc");
    EXPECT_TRUE(fetch.closed);
    EXPECT_TRUE(progress->closed);
    EXPECT_EQ(mux->GetGetState(), kGetIdle);
    mux->CloseProgress();
    EXPECT_TRUE(progress->destroyed);
    delete progress;
}

TEST(MuxWindow, SetWindowReplacesAndFactoryMakesDeviceWindow)
{
    struct Factory final : ITerminalFactory {
        ITerminalView* CreateDeviceWindow(TMux&, IChannelDevice&) override { return &made; }
        FakeTerminal made;
    } factory;
    TLog log;
    FakeDevice device(&log);
    FakeTerminal first;
    TMuxArray table;
    table.SetTerminalFactory(&factory);
    TMux* mux = table.AddChannel(30, &device, &first);
    EXPECT_EQ(first.channel, mux);
    mux->SetWindow(nullptr);
    EXPECT_TRUE(first.destroyed);
    EXPECT_EQ(mux->GetWindow(), &factory.made);
    EXPECT_EQ(factory.made.channel, mux);
    mux->SetName(QStringLiteral("CTD #1"));
    EXPECT_EQ(factory.made.caption, QStringLiteral("CTD #1"));
    EXPECT_EQ(mux->GetName(), QStringLiteral("CTD #1"));

    TMux* plain = table.AddChannel(31);
    plain->SetWindow(nullptr);  // no device: no window
    EXPECT_EQ(plain->GetWindow(), nullptr);
}

TEST(MuxWindow, DeletingChannelFreesWindowProgressAndFiles)
{
    TLog log;
    FakeTerminal window;
    FakeProgress progress;
    TSinkState capture, echo;
    TMuxArray table;
    TMux* mux = table.AddChannel(44, &window);
    mux->SetProgressWindow(&progress);
    mux->SetCaptureFile(std::make_unique<FakeFile>(capture, log, "capture"));
    mux->SetEchoPort(std::make_unique<FakeEcho>(echo, log));
    EXPECT_TRUE(table.RemoveChannel(44));
    EXPECT_TRUE(window.destroyed);
    EXPECT_TRUE(progress.destroyed);
    EXPECT_TRUE(capture.destroyed);
    EXPECT_TRUE(echo.destroyed);
}

TEST(MuxWindow, ARingIsAbandonedWhenItsLastReaderEndsUntilReadOrReadAgain)
{
    TLog log;
    TSinkState fetch;
    FakeTerminal window;
    FakeTerminal scriptWindow;
    TMuxArray table;
    TMux* mux = table.AddChannel(30, &window);
    mux->MarkCaptureNotOnPc();
    // The capture still takes the bytes once the window is closed.
    mux->CloseWindow();
    EXPECT_FALSE(mux->RingAbandoned());
    mux->StopCapture();
    EXPECT_TRUE(mux->RingAbandoned());
    // A reader coming back, or a read, takes the ring up again.
    mux->SetGetFile(std::make_unique<FakeFile>(fetch, log, "fetch"));
    EXPECT_FALSE(mux->RingAbandoned());
    mux->CloseGetFile();
    EXPECT_TRUE(mux->RingAbandoned());
    mux->ReadQueue();
    EXPECT_FALSE(mux->RingAbandoned());
    // A fixed channel keeps its own reader without a window.
    TMux* script = table.AddChannel(kScriptChannel, &scriptWindow);
    script->CloseWindow();
    EXPECT_FALSE(script->RingAbandoned());
}

TEST(MuxTable, ServesChannelsInArrivalOrder)
{
    TLog log;
    FakeTerminal w12(&log, "12"), w5(&log, "5"), w7(&log, "7");
    TMuxArray table;
    table.AddChannel(5, &w5);
    table.AddChannel(7, &w7);
    table.AddChannel(12, &w12);
    Put(table.GetChannel(12), "a");
    Put(table.GetChannel(5), "b");
    Put(table.GetChannel(12), "c");
    Put(table.GetChannel(7), "d");
    EXPECT_TRUE(table.Service(2.5));
    EXPECT_EQ(log, (TLog{"12:ac", "5:b", "7:d"}));
    EXPECT_EQ(table.GetLastDataTime(), 2.5);
    EXPECT_EQ(table.NextPending(), nullptr);

    // After a pass, new arrivals are served in their own order.
    Put(table.GetChannel(7), "e");
    Put(table.GetChannel(5), "f");
    EXPECT_EQ(table.NextPending(), table.GetChannel(7));
    EXPECT_EQ(table.NextPending(), table.GetChannel(5));
    EXPECT_EQ(table.NextPending(), nullptr);
}

TEST(MuxTable, RemovedChannelsAreSkipped)
{
    TLog log;
    FakeTerminal w3(&log, "3"), w9(&log, "9");
    TMuxArray table;
    table.AddChannel(3, &w3);
    table.AddChannel(9, &w9);
    Put(table.GetChannel(3), "x");
    Put(table.GetChannel(9), "y");
    table.RemoveChannel(3);
    EXPECT_TRUE(table.Service(1.0));
    EXPECT_EQ(log, (TLog{"9:y"}));

    // A removed channel's number is skipped also when it was the last one issued.
    Put(table.GetChannel(9), "z");
    table.AddChannel(3, &w3);
    Put(table.GetChannel(3), "w");
    table.RemoveChannel(3);
    EXPECT_EQ(table.NextPending(), table.GetChannel(9));
    EXPECT_EQ(table.NextPending(), nullptr);
    Put(table.GetChannel(9), "v");
    EXPECT_EQ(table.NextPending(), table.GetChannel(9));
}

TEST(MuxTable, PassStartedInsideAPassDoesNothing)
{
    TLog log;
    FakeTerminal first(&log, "20"), second(&log, "21");
    TMuxArray table;
    table.AddChannel(20, &first);
    table.AddChannel(21, &second);
    int nestedResult = -1;
    first.onShow = [&] { nestedResult = table.Service(9.0) ? 1 : 0; };
    Put(table.GetChannel(20), "a");
    Put(table.GetChannel(21), "b");
    EXPECT_TRUE(table.Service(3.0));
    EXPECT_EQ(nestedResult, 0);
    EXPECT_EQ(log, (TLog{"20:a", "21:b"}));
    EXPECT_EQ(table.GetLastDataTime(), 3.0);
}

TEST(MuxTable, ServiceWithoutDispatchKeepsLastDataTime)
{
    TMuxArray table;
    table.AddChannel(kFileChannel);
    const double before = table.GetLastDataTime();
    Put(table.GetChannel(kFileChannel), "x");
    EXPECT_FALSE(table.Service(before + 1.0));
    EXPECT_EQ(table.GetLastDataTime(), before);
}

TEST(MuxTable, AddGetRemoveAndItems)
{
    FakeTerminal window;
    TMuxArray table;
    TMux* first = table.AddChannel(20, &window);
    first->SetName(QStringLiteral("kept"));
    EXPECT_EQ(table.AddChannel(20), nullptr);
    EXPECT_EQ(table.GetChannel(20), first);
    EXPECT_EQ(first->GetWindow(), &window);
    EXPECT_EQ(first->GetName(), QStringLiteral("kept"));
    table.AddChannel(0);
    EXPECT_EQ(table.Count(), 2);
    EXPECT_EQ(table.Items(0), first);
    EXPECT_EQ(table.Items(-1), nullptr);
    EXPECT_EQ(table.Items(2), nullptr);
    EXPECT_TRUE(table.RemoveChannel(20));
    EXPECT_EQ(table.GetChannel(20), nullptr);
    EXPECT_FALSE(table.HoldChannel(20));
    EXPECT_FALSE(table.RemoveChannel(20));
    EXPECT_EQ(table.Count(), 1);
}

TEST(MuxTable, PcDevicePortFeedsTheRingEachPass)
{
    struct Port final : IPcDevicePort {
        int Read(char* dest, int) override
        {
            if (reads++ == 0) {
                dest[0] = 'p';
                return 1;
            }
            return fail ? -1 : 0;
        }
        bool Write(const char*, int) override { return true; }
        int reads = 0;
        bool fail = false;
    };
    TFakePrompt prompt;
    FakeTerminal window;
    TMuxArray table;
    TMux* mux = table.AddChannel(60, &window);
    auto port = std::make_unique<Port>();
    Port* raw = port.get();
    mux->SetPcPort(std::move(port));
    EXPECT_TRUE(table.Service(1.0));
    EXPECT_EQ(window.shown, "p");
    EXPECT_FALSE(table.Service(1.0));  // 0 bytes leave the channel unmarked
    raw->fail = true;
    table.Service(1.0);
    EXPECT_FALSE(mux->HasPCPort());
    ASSERT_TRUE(WaitForMessages(prompt, 1));
    EXPECT_TRUE(prompt.Messages().last().endsWith("PC Port Device Error on Host Channel# 60"));
}

TEST(MuxTable, AHalfFullRingAsksForAServicePassAtOnce)
{
    FakeTerminal window;
    TMuxArray table;
    TMux* mux = table.AddChannel(20, &window);
    const std::string segment(254, 'd');
    for (int i = 0; i < 16; ++i) {
        mux->PutData(segment.data(), 254);
    }
    // 4064 bytes wait for the data timer.
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.shown.empty());
    // Half the ring: the pass comes without the timer, and takes everything.
    mux->PutData(segment.data(), 254);
    mux->PutData(segment.data(), 254);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.shown.size(), 18u * 254u);
    EXPECT_FALSE(mux->HasData());
}

TEST(MuxTable, TheEndOfADirectoryListingAsksForAServicePassAtOnce)
{
    FakeReaders readers;
    TMuxArray table;
    table.SetFixedChannelReaders(&readers);
    TMux* listing = table.AddChannel(kDirectoryChannel);
    TMux* other = table.AddChannel(kSysVarChannel);
    // Listing lines, and the end line on another fixed channel: they wait for the timer.
    Put(listing, "DATA.TXT   1  01-16-24  08:00\r\n");
    Put(other, "Directory Complete\r\n");
    QCoreApplication::processEvents();
    EXPECT_TRUE(readers.log.empty());
    // The end line, split between two segments, asks for the pass.
    Put(listing, "Directory Com");
    QCoreApplication::processEvents();
    EXPECT_TRUE(readers.log.empty());
    Put(listing, "plete\r\n");
    QCoreApplication::processEvents();
    EXPECT_EQ(readers.log, (TLog{"listing:DATA.TXT   1  01-16-24  08:00\r\nDirectory Complete\r\n",
                                 "sysvars:Directory Complete\r\n"}));
    // The next listing's end asks again.
    Put(listing, "Directory Complete\r\n");
    QCoreApplication::processEvents();
    EXPECT_EQ(readers.log.back(), "listing:Directory Complete\r\n");
}

TEST(MuxThreads, LinkWriterAndServiceDeliverEveryByteOnceInOrder)
{
    constexpr int kChannels = 10;
    constexpr int kBytesPerChannel = 8000;  // below the ring size: nothing may be dropped
    std::vector<std::unique_ptr<FakeTerminal>> windows;
    FakeTerminal doomedWindow;
    TMuxArray table;  // after the windows: it frees them when it goes
    for (int c = 0; c < kChannels; ++c) {
        windows.push_back(std::make_unique<FakeTerminal>());
        table.AddChannel(static_cast<uint8_t>(100 + c), windows.back().get());
    }
    table.AddChannel(99, &doomedWindow);

    std::atomic<bool> done{false};
    std::thread link([&] {
        std::string segment;
        for (int sent = 0; sent < kBytesPerChannel; sent += 200) {
            for (int c = 0; c < kChannels; ++c) {
                segment.clear();
                for (int i = 0; i < 200; ++i) {
                    segment += static_cast<char>('A' + (sent + i + c) % 26);
                }
                TChannelHold hold = table.HoldChannel(static_cast<uint8_t>(100 + c));
                hold->PutData(segment.data(), static_cast<int>(segment.size()));
            }
            if (TChannelHold doomed = table.HoldChannel(99)) {
                doomed->PutData("x", 1);
            }
        }
        done = true;
    });
    int passes = 0;
    while (!done.load()) {
        table.Service(1.0);
        if (++passes == 20) {
            table.RemoveChannel(99);
        }
    }
    link.join();
    table.Service(1.0);
    table.RemoveChannel(99);
    for (int c = 0; c < kChannels; ++c) {
        std::string expected;
        for (int i = 0; i < kBytesPerChannel; ++i) {
            expected += static_cast<char>('A' + (i + c) % 26);
        }
        EXPECT_EQ(windows[static_cast<size_t>(c)]->shown, expected) << "channel " << 100 + c;
    }
}
