#pragma once
// A station for tests: the channel table with the fixed channels, a port table, the device
// list model and the device list, with fake terminal windows and a fake image list; and the
// same station with the DAS command sender and send queues the command sequences fill; the
// key values of an INI section as lines.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QSize>
#include <vector>

#include "link/Das.h"
#include "link/MuxClasses.h"
#include "link/SendQueues.h"
#include "platform/Clocks.h"
#include "platform/IniFile.h"
#include "platform/WindowPlacement.h"
#include "station/DeviceClasses.h"
#include "support/FakePrompt.h"

// Every key value of `section` in file order, "key=value".
inline QStringList SectionLines(const TMemIniFile& ini, const QString& section)
{
    QStringList lines;
    for (const QString& key : ini.ReadSection(section)) {
        lines << key + QLatin1Char('=') + ini.ReadString(section, key, QString());
    }
    return lines;
}

// A device terminal window that only remembers what it was told.
class TFakeTerminal final : public ITerminalView, public IDeviceTerminal {
public:
    static inline int alive = 0;
    TFakeTerminal() { ++alive; }

    void ShowData(const char*, int) override {}
    void SetHostChannel(TMux*) override {}
    void ClearReceived() override {}
    void SetCaption(const QString& text) override { caption = text; }
    void ShowNormal() override {}
    void ChannelStateChanged() override {}
    void DestroyView() override
    {
        --alive;
        delete this;
    }

    QRect WindowGeometry() const override { return geometry; }
    void SetWindowGeometry(const QRect& g) override { geometry = g; }
    int GetWindowState() const override { return state; }
    void SetWindowState(int s) override { state = s; }
    bool IsWindowVisible() const override { return visible; }
    void SetWindowVisible(bool v) override { visible = v; }
    double GetHexWidth() const override { return hexWidth; }
    void SetViewSplit(double w) override { hexWidth = w; }
    int GetHexWrap() const override { return hexWrap; }
    void SetHexWrap(int n) override { hexWrap = n; }
    QString GetHexWrapString() const override { return hexWrapString; }
    void SetHexWrapString(const QString& s) override { hexWrapString = s; }
    TTerminalFont GetFont() const override { return font; }
    void SetFont(const TTerminalFont& f) override
    {
        font = f;
        ++fontSets;
    }

    QString caption;
    QRect geometry;
    int state = -1;
    bool visible = true;
    double hexWidth = 0.5;
    int hexWrap = -1;
    QString hexWrapString;
    TTerminalFont font{0,    -2147483640, QStringLiteral("Courier New"), 10, false, false,
                       true, false};
    int fontSets = 0;

private:
    ~TFakeTerminal() = default;
};

// Makes device windows the way the desktop does: the window asks its device for its settings.
class TFakeTerminalFactory final : public ITerminalFactory {
public:
    ITerminalView* CreateDeviceWindow(TMux&, IChannelDevice& device) override
    {
        auto* terminal = new TFakeTerminal;
        if (auto* d = dynamic_cast<TDevice*>(&device)) {
            d->RestoreWindow(*terminal);
        }
        ++made;
        return terminal;
    }
    int made = 0;
};

// Image list: a picture is "readable" when its file starts with "BM".
class TFakeImages final : public IDeviceImageList {
public:
    TResult PutDeviceImages(int imageIndex, const QString& path) override
    {
        TResult result;
        QFile file(path);
        result.pictureRead = file.open(QIODevice::ReadOnly) && file.read(2) == "BM";
        result.overlayLoaded = true;
        if (imageIndex < 0) {
            imageIndex = count;
            count += 2;
        }
        result.imageIndex = imageIndex;
        paths << path;
        return result;
    }
    QVariant Icon(int imageIndex) const override { return imageIndex; }
    int count = 0;
    QStringList paths;
};

class StationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPlacementScreenSize(QSize(1000, 800));
        ConfigurationChanged = false;
        mux.SetTerminalFactory(&factory);
        mux.AddChannel(kInfoChannel);
        for (int ch = 247; ch <= 255; ++ch) {
            mux.AddChannel(static_cast<uint8_t>(ch));
        }
        MuxArray = &mux;
        PortArray = &ports;
        Devices = &devices;
    }

    void TearDown() override
    {
        devices.Clear();
        Devices = nullptr;
        PortArray = nullptr;
        MuxArray = nullptr;
        SetPlacementScreenSize(QSize());
    }

    // A DAS serial port: name, host channel, power switch.
    TPort* AddPort(const QString& name, int hostChannel, int powerSwitch,
                   const QString& type = QStringLiteral("Serial"))
    {
        return ports.AddPort(name, QStringLiteral("J") + name, hostChannel, hostChannel, 0,
                             powerSwitch, type);
    }

    TFakeTerminal* TerminalOf(const TDevice* device) const
    {
        TMux* m = device->GetMux();
        return m != nullptr ? dynamic_cast<TFakeTerminal*>(m->GetWindow()) : nullptr;
    }

    QString Row(const TDevice* device, int column) const
    {
        return model.data(model.index(device->GetListItem()->Index(), column), Qt::DisplayRole)
            .toString();
    }

    TFakePrompt prompt;
    TFakeTerminalFactory factory;
    TPortArray ports;
    TMuxArray mux;
    TFakeImages images;
    TDeviceListModel model{nullptr, &images};
    TDevices devices{&model};
};

// A capture file that keeps what was written in a buffer the test owns.
class TMemoryCapture final : public IChannelFile {
public:
    explicit TMemoryCapture(QByteArray* bytes) : bytes_(bytes) {}
    bool Write(const char* bytes, int count) override
    {
        bytes_->append(bytes, count);
        return true;
    }
    int Read(char*, int) override { return -1; }
    bool Close() override { return true; }

private:
    QByteArray* bytes_;
};

// One block taken off a send queue.
struct TTaken {
    uint8_t channel = 0;
    QByteArray bytes;
    int32_t dueMs = 0;  // from the fixture's start time
};

// The station with a DAS command sender and send queues of its own, the queue clock frozen at
// the start time the test gives.
class StationLinkTest : public StationTest {
protected:
    explicit StationLinkTest(uint32_t start = 1'000'000) : start_(start) {}

    void SetUp() override
    {
        StationTest::SetUp();
        FreezeQueueClock(start_);
        Das = &das;
        SendQueue = &sendQueue;
        TimedQueue = &timedQueue;
    }
    void TearDown() override
    {
        Das = nullptr;
        SendQueue = nullptr;
        TimedQueue = nullptr;
        UnfreezeQueueClock();
        StationTest::TearDown();
    }

    // Takes every block off `queue`, in the order the queue hands them out.
    std::vector<TTaken> Drain(TDataList& queue) const
    {
        std::vector<TTaken> out;
        while (queue.Count() > 0) {
            char buffer[512];
            uint32_t length = sizeof buffer;
            TListInfo info;
            queue.Read(buffer, length, info, false);
            out.push_back({info.channel, QByteArray(buffer, static_cast<qsizetype>(length)),
                           QueueTimeDiff(info.time, start_)});
        }
        return out;
    }

    TDas das;
    TDataList sendQueue;
    TDataList timedQueue;

private:
    uint32_t start_;
};
