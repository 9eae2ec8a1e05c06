#include "link/Thdserialcomm.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QByteArray>
#include <cerrno>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/SerialPort.h"
#include "platform/UiPost.h"
#include "support/QtHelpers.h"

namespace {

using TEvents = std::vector<std::string>;

// What a reader reported, in order: "data:<bytes>" (consecutive data joined), "break on",
// "break off", "error"; and its stopped calls, which must come on the UI thread.
class TRecorder {
public:
    TThdSerialComm::TCallbacks Callbacks()
    {
        TThdSerialComm::TCallbacks callbacks;
        callbacks.onReceive = [this](const char* bytes, int count) {
            std::lock_guard lock(mutex_);
            readerThread_ = std::this_thread::get_id();
            if (!events_.empty() && events_.back().rfind("data:", 0) == 0) {
                events_.back().append(bytes, static_cast<size_t>(count));
            } else {
                events_.push_back("data:" + std::string(bytes, static_cast<size_t>(count)));
            }
        };
        callbacks.onBreak = [this](bool on) { Add(on ? "break on" : "break off"); };
        callbacks.onLineError = [this] { Add("error"); };
        callbacks.onStopped = [this] {
            stoppedOnUi = IsUiThread();
            ++stopped;
        };
        return callbacks;
    }

    TEvents Events() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }
    bool WaitForEvents(size_t count)
    {
        return WaitUntil([&] { return Events().size() >= count; });
    }
    bool WaitForData(const std::string& text)
    {
        return WaitUntil([&] {
            const TEvents events = Events();
            return !events.empty() && events.back() == "data:" + text;
        });
    }
    std::thread::id ReaderThread() const
    {
        std::lock_guard lock(mutex_);
        return readerThread_;
    }

    int stopped = 0;
    bool stoppedOnUi = false;

private:
    void Add(const char* event)
    {
        std::lock_guard lock(mutex_);
        events_.emplace_back(event);
    }

    mutable std::mutex mutex_;
    TEvents events_;
    std::thread::id readerThread_;
};

// Runs the UI thread's posted work up to now.
void FlushPosted()
{
    bool flushed = false;
    PostToUi([&flushed] { flushed = true; });
    ASSERT_TRUE(WaitUntil([&flushed] { return flushed; }));
}

}  // namespace

TEST(EchoReader, HandsOverWhatArrivesInItsOwnThread)
{
    TFakeSerialPort port;
    TRecorder recorder;
    TThdSerialComm reader(port, recorder.Callbacks());
    ASSERT_TRUE(reader.Start());
    port.FeedInput(QByteArray("hello\xFF\0x", 8));
    ASSERT_TRUE(recorder.WaitForData(std::string("hello\xFF\0x", 8)));
    EXPECT_EQ(recorder.Events().size(), 1u);
    EXPECT_NE(recorder.ReaderThread(), std::this_thread::get_id());
    EXPECT_TRUE(port.LineMarksOn());
    EXPECT_FALSE(reader.IsStopped());
}

TEST(EchoReader, BreakIsEndedByTheNextDataASecondBreakOrABadByte)
{
    TFakeSerialPort port;
    TRecorder recorder;
    TThdSerialComm reader(port, recorder.Callbacks());
    ASSERT_TRUE(reader.Start());

    port.FeedBreak();
    ASSERT_TRUE(recorder.WaitForEvents(1));
    port.FeedInput("x");
    ASSERT_TRUE(recorder.WaitForEvents(3));
    EXPECT_EQ(recorder.Events(), (TEvents{"break on", "break off", "data:x"}));

    port.FeedBreak();
    ASSERT_TRUE(recorder.WaitForEvents(4));
    port.FeedBreak();
    ASSERT_TRUE(recorder.WaitForEvents(5));
    port.FeedBreak();
    ASSERT_TRUE(recorder.WaitForEvents(6));
    port.FeedBadByte('q');
    ASSERT_TRUE(recorder.WaitForEvents(9));
    EXPECT_EQ(recorder.Events(), (TEvents{"break on", "break off", "data:x", "break on",
                                          "break off", "break on", "break off", "error",
                                          "data:q"}));
}

TEST(EchoReader, StopJoinsTheThreadSoLaterInputStaysUnread)
{
    TFakeSerialPort port;
    TRecorder recorder;
    TThdSerialComm reader(port, recorder.Callbacks());
    ASSERT_TRUE(reader.Start());
    reader.Stop();
    EXPECT_TRUE(reader.IsStopped());
    port.FeedInput("late");
    port.FeedBreak();
    FlushPosted();
    EXPECT_EQ(port.InQueue(), 7);  // "late" and the marked break
    EXPECT_TRUE(recorder.Events().empty());
    EXPECT_EQ(recorder.stopped, 0);
    EXPECT_FALSE(reader.HadError());
}

TEST(EchoReader, StopsItselfOnAPortFailureAndTellsTheUiThreadOnce)
{
    struct TCase {
        const char* name;
        std::function<void(TFakeSerialPort&)> fail;
        int error;
    };
    const TCase cases[] = {
        {"read fails", [](TFakeSerialPort& p) { p.FailOp(TFakeSerialPort::TOp::Read, EIO); },
         EIO},
        {"marks refused",
         [](TFakeSerialPort& p) { p.FailOp(TFakeSerialPort::TOp::LineMarks, ENOTTY); }, ENOTTY},
        {"line hangs up", [](TFakeSerialPort& p) { p.HangUp(); }, EIO},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TFakeSerialPort port;
        c.fail(port);
        TRecorder recorder;
        TThdSerialComm reader(port, recorder.Callbacks());
        ASSERT_TRUE(reader.Start());
        ASSERT_TRUE(WaitUntil([&] { return recorder.stopped > 0; }));
        FlushPosted();
        EXPECT_EQ(recorder.stopped, 1);
        EXPECT_TRUE(recorder.stoppedOnUi);
        EXPECT_TRUE(reader.IsStopped());
        EXPECT_TRUE(reader.HadError());
        EXPECT_EQ(reader.ErrorCode(), c.error);
        // A stop after the reader stopped itself joins it quietly.
        reader.Stop();
        FlushPosted();
        EXPECT_EQ(recorder.stopped, 1);
    }
}

TEST(EchoReader, ADeletedReaderNeverRunsItsPostedStoppedCall)
{
    TFakeSerialPort port;
    port.FailOp(TFakeSerialPort::TOp::Read, EIO);
    TRecorder recorder;
    auto reader = std::make_unique<TThdSerialComm>(port, recorder.Callbacks());
    ASSERT_TRUE(reader->Start());
    // The UI thread's queue is not run meanwhile, so the stopped call stays posted.
    while (!reader->IsStopped()) {
        std::this_thread::yield();
    }
    reader.reset();
    FlushPosted();
    EXPECT_EQ(recorder.stopped, 0);
}

TEST(EchoReader, CarriesBytesBothWaysOverAPseudoTerminalAndStopsWhenItHangsUp)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::unique_ptr<TTermiosPort> port =
        TTermiosPort::Open(QString::fromLocal8Bit(::ptsname(master)));
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(port->ApplySettings(TSerialSettings{}));
    TRecorder recorder;
    TThdSerialComm reader(*port, recorder.Callbacks());
    ASSERT_TRUE(reader.Start());
    const std::string in("a\xFF" "b\0c", 5);
    ASSERT_EQ(::write(master, in.data(), in.size()), static_cast<ssize_t>(in.size()));
    ASSERT_TRUE(recorder.WaitForData(in));

    const QByteArray out("out\xFF\0", 5);
    ASSERT_TRUE(reader.WritePort(out.constData(), static_cast<int>(out.size())));
    QByteArray got;
    while (got.size() < out.size()) {
        pollfd p{master, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, kTestWaitMs), 1);
        char buffer[16];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        got.append(buffer, n);
    }
    EXPECT_EQ(got, out);

    ::close(master);
    ASSERT_TRUE(WaitUntil([&] { return recorder.stopped > 0; }));
    EXPECT_EQ(reader.ErrorCode(), EIO);
    EXPECT_EQ(recorder.Events(), (TEvents{"data:" + in}));
}
