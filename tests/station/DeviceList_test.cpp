#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "StationFixture.h"
#include "link/Global.h"
#include "platform/IniFile.h"

namespace {

QString ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

void WriteAll(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

}  // namespace

using DeviceList = StationTest;

TEST_F(DeviceList, AddFailsWhenEveryPortHoldsADevice)
{
    AddPort(QStringLiteral("P1"), 1, 1);
    ports.AddPCPort(2);
    ASSERT_NE(devices.Add(QStringLiteral("A")), nullptr);
    ASSERT_NE(devices.Add(QStringLiteral("B")), nullptr);
    const int channels = mux.Count();
    EXPECT_EQ(devices.Add(QStringLiteral("C")), nullptr);
    EXPECT_EQ(devices.Count(), 2);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(mux.Count(), channels);
}

TEST_F(DeviceList, FindsNamesIgnoringCase)
{
    AddPort(QStringLiteral("P1"), 1, 1);
    AddPort(QStringLiteral("P2"), 2, 1);
    TDevice* pump = devices.Add(QStringLiteral("Pump"));
    EXPECT_EQ(devices.FindByName(QStringLiteral("PUMP")), pump);
    EXPECT_EQ(devices.FindByName(QStringLiteral("Pum")), nullptr);
    EXPECT_FALSE(devices.IsDuplicateName(QStringLiteral("pump")));
    devices.Add(QStringLiteral("PUMP"));
    EXPECT_TRUE(devices.IsDuplicateName(QStringLiteral("pump")));
    EXPECT_EQ(devices.DeviceOfItem(nullptr), nullptr);
    EXPECT_EQ(devices.DeviceOfItem(pump->GetListItem()), pump);
}

TEST_F(DeviceList, CaptureDirEndsWithASeparator)
{
    EXPECT_TRUE(devices.GetCaptureDir().endsWith(QStringLiteral("Data\\")));
    EXPECT_TRUE(QDir(NativePath(devices.GetCaptureDir())).exists());
    EXPECT_TRUE(devices.GetCaptureToHost());
    devices.SetCaptureDir(QStringLiteral("/data/x"));
    EXPECT_EQ(devices.GetCaptureDir(), QStringLiteral("\\data\\x\\"));
    devices.SetCaptureDir(QStringLiteral("\\data\\y\\"));
    EXPECT_EQ(devices.GetCaptureDir(), QStringLiteral("\\data\\y\\"));
    devices.SetCaptureDir(QString());
    EXPECT_EQ(devices.GetCaptureDir(), QString());
}

TEST_F(DeviceList, RowTextsFollowTheDevice)
{
    AddPort(QStringLiteral("P7"), 7, 5);
    TDevice* d = devices.Add(QStringLiteral("CTD 1"));
    EXPECT_EQ(Row(d, kColDevice), QStringLiteral("CTD 1"));
    EXPECT_EQ(Row(d, kColPower), QString());
    EXPECT_EQ(Row(d, kColPort), QStringLiteral("______"));
    EXPECT_EQ(Row(d, kColData), QStringLiteral("off"));
    EXPECT_EQ(Row(d, kColCapture), QStringLiteral("off"));
    EXPECT_EQ(Row(d, kColCaptureTo), QStringLiteral("Host:CTD_1000.RAW"));
    EXPECT_EQ(Row(d, kColEcho), QString());
    EXPECT_EQ(Row(d, kColEchoPort), QStringLiteral("none"));
    EXPECT_EQ(Row(d, kColPSeq), QStringLiteral("5"));
    EXPECT_EQ(Row(d, kColDSeq), QStringLiteral("1"));
    EXPECT_EQ(Row(d, kColPortNo), QStringLiteral("P7"));
    EXPECT_EQ(Row(d, kColConnNo), QStringLiteral("JP7"));
    EXPECT_EQ(Row(d, kColChanNo), QStringLiteral("007"));

    const struct {
        int dest;
        bool toHost;
        const char* text;
    } cases[] = {{0, true, "Host 007"},          {1, true, "Host 012"},
                 {2, true, "Host:CTD_1000.RAW"}, {2, false, "DAS:CTD_1000.RAW"},
                 {3, true, "Host:CTD_1000.RAW"}, {3, false, "DAS:CTD_1000.RAW"}};
    d->SetCaptureDestOther(12);
    for (const auto& c : cases) {
        d->SetCaptureDest(static_cast<int8_t>(c.dest));
        devices.SetCaptureToHost(c.toHost);
        d->UpdateListItem();
        EXPECT_EQ(Row(d, kColCaptureTo), QLatin1String(c.text)) << c.dest << c.toHost;
    }

    d->SetEchoSerial(3);
    d->SetDataActive(true);
    d->SetCaptureOn(true);
    EXPECT_EQ(Row(d, kColEcho), QStringLiteral("off"));
    EXPECT_EQ(Row(d, kColEchoPort), QStringLiteral("COM3"));
    EXPECT_EQ(Row(d, kColData), QStringLiteral("ON"));
    EXPECT_EQ(Row(d, kColCapture), QStringLiteral("ON"));
    d->SetEchoSerial(-1);
    d->UpdateListItem();
    EXPECT_EQ(Row(d, kColEcho), QString());
    EXPECT_EQ(Row(d, kColEchoPort), QStringLiteral("none"));
}

class SeqHost final : public IDeviceListHost {
public:
    int FileSeqNum() const override { return seq; }
    bool ArchivePlaying() const override { return false; }
    bool ExecuteDeviceSetup(TDevice&) override { return false; }
    int seq = 7;
};

TEST_F(DeviceList, NumberedCaptureShowsTheFileSequenceNumber)
{
    SeqHost host;
    TDevices numbered(&model, &host);
    AddPort(QStringLiteral("P3"), 3, 1);
    TDevice* d = numbered.Add(QStringLiteral("CTD 1"));
    EXPECT_EQ(d->GetCaptureFilePath(), QStringLiteral("CTD_1\\CTD_1007.RAW"));
    EXPECT_EQ(Row(d, kColCaptureTo), QStringLiteral("Host:CTD_1007.RAW"));
    numbered.SetCaptureToHost(false);
    host.seq = 8;
    d->CaptureStopped();
    EXPECT_EQ(Row(d, kColCaptureTo), QStringLiteral("DAS:CTD_1008.RAW"));
    numbered.Clear();
}

TEST_F(DeviceList, DeleteRenumbersAndClearRemovesEveryRow)
{
    for (int i = 1; i <= 3; ++i) {
        AddPort(QStringLiteral("P%1").arg(i), i, 1);
    }
    TDevice* a = devices.Add(QStringLiteral("A"));
    TDevice* b = devices.Add(QStringLiteral("B"));
    TDevice* c = devices.Add(QStringLiteral("C"));
    EXPECT_EQ(Row(c, kColDSeq), QStringLiteral("3"));
    devices.Delete(b);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(Row(a, kColDSeq), QStringLiteral("1"));
    EXPECT_EQ(Row(c, kColDSeq), QStringLiteral("2"));
    c->SetName(QStringLiteral("Renamed"));
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), QStringLiteral("Renamed"));

    devices.Clear();
    EXPECT_EQ(devices.Count(), 0);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(mux.GetChannel(1), nullptr);
    EXPECT_EQ(mux.GetChannel(3), nullptr);
    EXPECT_NE(mux.GetChannel(255), nullptr);
    EXPECT_EQ(devices.First(false, true), nullptr);
}

TEST_F(DeviceList, WalksInListAndPowerOrder)
{
    AddPort(QStringLiteral("S3a"), 1, 3);
    AddPort(QStringLiteral("S0"), 2, 0);
    AddPort(QStringLiteral("S3b"), 3, 3);
    AddPort(QStringLiteral("S3c"), 4, 3);
    TDevice* a = devices.Add(QStringLiteral("A"));  // S3a, ring head of switch 3
    TDevice* z = devices.Add(QStringLiteral("Z"));  // S0
    TDevice* b = devices.Add(QStringLiteral("B"));  // S3b
    TDevice* c = devices.Add(QStringLiteral("C"));  // S3c
    auto walk = [this](bool selectedOnly, bool listOrder) {
        QStringList names;
        for (TDevice* d = devices.First(selectedOnly, listOrder); d != nullptr;
             d = devices.Next(d, selectedOnly, listOrder)) {
            names << d->GetName();
        }
        return names;
    };
    EXPECT_EQ(walk(false, true), (QStringList{"A", "Z", "B", "C"}));
    EXPECT_EQ(walk(false, false), (QStringList{"Z", "A", "C", "B"}));
    a->SetSelected(true);
    b->SetSelected(true);
    EXPECT_EQ(walk(true, true), (QStringList{"A", "B"}));
    EXPECT_EQ(walk(true, false), (QStringList{"A", "B"}));
    z->SetSelected(true);
    EXPECT_EQ(walk(true, false), (QStringList{"Z", "A", "B"}));
    devices.SelectAll();
    EXPECT_TRUE(c->IsSelected());

    c->SetPort(nullptr);
    EXPECT_EQ(walk(false, false), (QStringList{"Z", "A", "B"}));
    EXPECT_EQ(devices.Next(c, false, false), nullptr);
    EXPECT_EQ(prompt.Messages().size(), 1);
    EXPECT_TRUE(
        prompt.Messages().at(0).endsWith(QStringLiteral("Error: Device does not have a port!")));
}

TEST_F(DeviceList, SaveDropsStaleSectionsAndKeepsModelSections)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("station.das"));
    WriteAll(file,
             "[Pelagrix]\r\nWarning=keep\r\n[Corvane]\r\nX=1\r\n[Old]\r\nPort=P9\r\n"
             "[PUMP]\r\nPortBaud=1\r\n[pelagrix]\r\nY=2\r\n");
    AddPort(QStringLiteral("P1"), 1, 1);
    AddPort(QStringLiteral("P2"), 2, 1);
    devices.Add(QStringLiteral("Pump"));
    devices.Move(devices.Add(QStringLiteral("CTD 1")), 0);
    ConfigurationChanged = true;
    ASSERT_TRUE(devices.SaveSettings(file));
    EXPECT_FALSE(ConfigurationChanged);

    TMemIniFile ini(file);
    // The model sections in any case stay first; the device sections follow in list order,
    // each under its device's present name.
    EXPECT_EQ(ini.ReadSections(), (QStringList{"Pelagrix", "Corvane", "CTD 1", "Pump"}));
    EXPECT_EQ(ini.ReadString(QStringLiteral("Pelagrix"), QStringLiteral("Warning"), QString()),
              QStringLiteral("keep"));
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("PUMP"), QStringLiteral("PortBaud"), 0), 9600);
    EXPECT_TRUE(ReadAll(file).contains(QStringLiteral("[Pump]\r\n")));

    // Window keys go only into sections that are there.
    ini.EraseSection(QStringLiteral("CTD 1"));
    ASSERT_TRUE(ini.UpdateFile());
    ASSERT_TRUE(devices.SaveWindowSettings(file));
    TMemIniFile after(file);
    EXPECT_FALSE(after.SectionExists(QStringLiteral("CTD 1")));
    EXPECT_TRUE(after.ValueExists(QStringLiteral("PUMP"), QStringLiteral("Visible")));
    EXPECT_FALSE(after.ValueExists(QStringLiteral("Corvane"), QStringLiteral("Visible")));
}

TEST_F(DeviceList, FailedSaveKeepsTheChangedFlag)
{
    AddPort(QStringLiteral("P1"), 1, 1);
    devices.Add(QStringLiteral("A"));
    ConfigurationChanged = true;
    EXPECT_FALSE(devices.SaveSettings(QStringLiteral("/nonexistent-folder/x/station.das")));
    EXPECT_TRUE(ConfigurationChanged);
}

TEST_F(DeviceList, PollAllIsNotReenteredAndSkipsDeletedDevices)
{
    for (int i = 1; i <= 3; ++i) {
        AddPort(QStringLiteral("P%1").arg(i), i, 1);
    }
    TDevice* a = devices.Add(QStringLiteral("A"));
    TDevice* b = devices.Add(QStringLiteral("B"));
    devices.Add(QStringLiteral("C"));
    QStringList polled;
    bool nested = true;
    devices.SetPollFunc([&](TDevice& d, double now) {
        polled << d.GetName();
        if (&d == a) {
            nested = devices.PollAll(now);  // as from a message box's loop
            devices.Delete(b);              // the operator deletes the next device
        }
        return d.GetName() == QStringLiteral("C");
    });
    EXPECT_TRUE(devices.PollAll(1.0));
    EXPECT_FALSE(nested);
    EXPECT_EQ(polled, (QStringList{"A", "C"}));
    devices.SetPollFunc([](TDevice&, double) { return false; });
    EXPECT_FALSE(devices.PollAll(1.0));
}

TEST_F(DeviceList, IconOfAnUnreadableFileIsStillBuilt)
{
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("icon.txt"));
    const QString bitmap = dir.filePath(QStringLiteral("icon.bmp"));
    WriteAll(text, "not a picture");
    WriteAll(bitmap, "BM....");
    AddPort(QStringLiteral("P1"), 1, 1);
    AddPort(QStringLiteral("P2"), 2, 1);
    TDevice* d = devices.Add(QStringLiteral("A"));
    ASSERT_TRUE(d->LoadSettings(
        [&] {
            TMemIniFile ini;
            ini.WriteString(QStringLiteral("A"), QStringLiteral("Image"), text);
            ini.WriteString(QStringLiteral("A"), QStringLiteral("Port"), QStringLiteral("P1"));
            return ini;
        }(),
        false));
    EXPECT_EQ(prompt.Messages().size(), 1);
    EXPECT_TRUE(prompt.Messages().at(0).endsWith(QStringLiteral("Invalid Graphic File (") + text +
                                                 QStringLiteral(") Specified for device: A")));
    EXPECT_EQ(d->GetImageIndex(), 0);
    EXPECT_EQ(model.data(model.index(0, 0), TDeviceListModel::kImageIndexRole).toInt(), 0);
    d->SetBusy(true);
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DecorationRole).toInt(), 1);
    d->ClearBusy();

    // A second device gets the next pair; reloading keeps its index.
    TDevice* e = devices.Add(QStringLiteral("B"));
    e->SetImage(bitmap);
    EXPECT_EQ(e->LoadIcon(), 2);
    EXPECT_EQ(e->LoadIcon(), 2);
    EXPECT_EQ(images.count, 4);
    EXPECT_EQ(prompt.Messages().size(), 1);
}
