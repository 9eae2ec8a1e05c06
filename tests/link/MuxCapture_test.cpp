#include "link/MuxClasses.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "link/Global.h"
#include "platform/Clocks.h"
#include "support/FakePrompt.h"
#include "support/QtHelpers.h"
#include "support/TestFiles.h"

namespace {

class FakeWindow final : public ITerminalView {
public:
    void ShowData(const char* bytes, int count) override { shown.append(bytes, count); }
    void SetHostChannel(TMux*) override {}
    void ClearReceived() override {}
    void SetCaption(const QString& text) override { caption = text; }
    void ShowNormal() override {}
    void ChannelStateChanged() override { ++stateChanges; }
    void DestroyView() override {}

    QByteArray shown;
    QString caption;
    int stateChanges = 0;
};

// A device whose capture target the test sets.
class FakeCaptureDevice final : public IChannelDevice {
public:
    QString GetName() const override { return QStringLiteral("CTD"); }
    void SetPortActivity() override {}
    void RefreshListRow() override { ++rowRefreshes; }
    void SetDataActive(bool) override {}
    void SetBusy(bool) override {}
    void SetCaptureOn(bool) override {}
    TCaptureTarget CaptureTarget() const override { return target; }
    void CaptureStopped() override { ++captureStops; }
    TChannelSerialSettings EchoSettings() const override { return {}; }
    TChannelPortInfo PortInfo() const override { return {}; }

    TCaptureTarget target;
    int rowRefreshes = 0;
    int captureStops = 0;
};

// A capture file that takes every byte but cannot be closed (its last bytes never reached the
// disk).
class UnclosableFile final : public IChannelFile {
public:
    bool Write(const char*, int) override { return true; }
    int Read(char*, int) override { return 0; }
    bool Close() override { return false; }
};

class FakeServices final : public IChannelServices {
public:
    QString CaptureFolder() const override { return folder; }
    void SetupDeviceCapture(IChannelDevice& device) override { setupFor.append(device.GetName()); }
    IProgressView* CreateProgress(TMux&, const QString&, const QString&, int, int64_t) override
    {
        return nullptr;
    }
    void ExecProgress(IProgressView&) override {}

    QString folder;
    QStringList setupFor;
};

class MuxCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        services.folder = StoredPath(dir.path() + QStringLiteral("/"));
        table.SetChannelServices(&services);
    }

    // Data arriving on the channel, then the service pass that writes it.
    void Receive(TMux* mux, const QByteArray& bytes)
    {
        mux->PutData(bytes.constData(), static_cast<int>(bytes.size()));
        table.Service(NowDateTime());
    }

    TFakePrompt prompt;
    QTemporaryDir dir;
    FakeServices services;
    // Outlive the table, which tells them goodbye.
    FakeWindow window;
    FakeCaptureDevice device;
    TMuxArray table;
};

TEST_F(MuxCaptureTest, NamingAChannelGivesItsDefaultCaptureFileOnce)
{
    services.folder = QStringLiteral("D:\\Data\\");
    TMux* mux = table.AddChannel(21, &window);
    mux->SetAppend(false);
    mux->SetNumbering(true);
    mux->SetName(QStringLiteral("CTD #1"));
    EXPECT_EQ(window.caption, QStringLiteral("CTD #1"));
    EXPECT_EQ(mux->GetCaptureFileName(), QStringLiteral("D:\\Data\\CTD__1.CAP"));
    EXPECT_TRUE(mux->GetAppend());
    EXPECT_FALSE(mux->GetNumbering());

    // A renamed channel keeps the file it has.
    mux->SetName(QStringLiteral("Other"));
    EXPECT_EQ(mux->GetCaptureFileName(), QStringLiteral("D:\\Data\\CTD__1.CAP"));

    // Without services the folder is the data folder's "Data\".
    TMuxArray bare;
    TMux* plain = bare.AddChannel(22);
    plain->SetName(QStringLiteral("a.b"));
    EXPECT_EQ(plain->GetCaptureFileName(), QStringLiteral("Data\\a_b.CAP"));
}

TEST_F(MuxCaptureTest, SetupAsksForTheFileThenAppendThenNumbering)
{
    TMux* mux = table.AddChannel(21);
    mux->SetName(QStringLiteral("Sonar"));
    const QString chosen = dir.filePath(QStringLiteral("sonar.dat"));

    prompt.QueueFile(chosen);
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    mux->SetupCapture();
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].kind, QStringLiteral("save"));
    EXPECT_EQ(prompt.shown[0].title, QStringLiteral("Capture File Name for Sonar"));
    EXPECT_EQ(prompt.lastFileOptions.filter,
              QStringLiteral("Text files|*.TXT;*.ASC;*.CAP;*.DAT|Binary Files|*.BIN"));
    EXPECT_EQ(prompt.lastFileOptions.fileName, dir.filePath(QStringLiteral("Sonar.CAP")));
    EXPECT_EQ(prompt.shown[1].title, QStringLiteral("Capture"));
    EXPECT_EQ(prompt.shown[1].text, QStringLiteral("If File Exists, Append the File?"));
    EXPECT_EQ(NativePath(mux->GetCaptureFileName()), chosen);
    EXPECT_TRUE(mux->GetAppend());

    prompt.QueueFile(chosen);
    prompt.QueueMessageAnswer(TMsgResult::No);
    prompt.QueueMessageAnswer(TMsgResult::Yes);
    mux->SetupCapture();
    ASSERT_EQ(prompt.shown.size(), 5u);
    EXPECT_EQ(prompt.shown[4].text, QStringLiteral("Sequentially Number FileNames?"));
    EXPECT_FALSE(mux->GetAppend());
    EXPECT_TRUE(mux->GetNumbering());

    // Cancel changes nothing; a device channel opens the device's capture settings instead.
    prompt.QueueFile(std::nullopt);
    mux->SetupCapture();
    EXPECT_EQ(prompt.shown.size(), 6u);
    EXPECT_EQ(NativePath(mux->GetCaptureFileName()), chosen);
    table.AddChannel(30, &device)->SetupCapture();
    EXPECT_EQ(services.setupFor, QStringList{QStringLiteral("CTD")});
    EXPECT_EQ(prompt.shown.size(), 6u);
}

TEST_F(MuxCaptureTest, CaptureAppendsOrTruncatesAnExistingFile)
{
    TMux* mux = table.AddChannel(21, &window);
    const QString path = dir.filePath(QStringLiteral("deep/er/chan.cap"));
    mux->SetCaptureFileName(StoredPath(path));

    mux->SetAppend(true);
    mux->StartCapture();
    ASSERT_TRUE(mux->IsCaptureOnPc());
    EXPECT_TRUE(mux->IsCaptureOn());
    EXPECT_EQ(window.stateChanges, 1);
    Receive(mux, "first,");
    mux->StopCapture();
    mux->StartCapture();
    Receive(mux, "second");
    mux->WriteCapture(QStringLiteral("|label"));
    mux->StopCapture();
    EXPECT_EQ(ReadAll(path), QByteArray("first,second|label"));
    EXPECT_EQ(window.shown, QByteArray("first,second|label"));

    mux->SetAppend(false);
    mux->StartCapture();
    Receive(mux, "fresh");
    mux->StopCapture();
    EXPECT_EQ(ReadAll(path), QByteArray("fresh"));
    EXPECT_FALSE(mux->IsCaptureOn());
    EXPECT_TRUE(prompt.shown.empty());

    // Host-made text reaches only the window while capture is off.
    mux->WriteCapture(QStringLiteral("shown only"));
    EXPECT_EQ(ReadAll(path), QByteArray("fresh"));
}

TEST_F(MuxCaptureTest, AFolderThatCannotBeMadeStopsTheCaptureWithABox)
{
    WriteFile(dir.filePath(QStringLiteral("plainfile")), "x");
    const QString folder = dir.filePath(QStringLiteral("plainfile/sub"));
    TMux* mux = table.AddChannel(21);
    mux->SetName(QStringLiteral("Sonar"));
    mux->SetCaptureFileName(StoredPath(folder + QStringLiteral("/c.cap")));
    mux->StartCapture();
    ASSERT_TRUE(WaitUntil([&] { return !prompt.Messages().isEmpty(); }));
    EXPECT_TRUE(prompt.Messages().first().endsWith(QStringLiteral("Could not create directory ") +
                                                   folder));
    EXPECT_FALSE(mux->IsCaptureOn());
    EXPECT_FALSE(mux->HasCaptureFile());

    // A file that cannot be opened (a folder of that name) is the other failure.
    mux->SetCaptureFileName(StoredPath(dir.path()));
    mux->StartCapture();
    ASSERT_TRUE(WaitUntil([&] { return prompt.Messages().size() == 2; }));
    EXPECT_TRUE(prompt.Messages().last().endsWith(
        QStringLiteral("Error Opening File for Sonar!")));
    EXPECT_FALSE(mux->HasCaptureFile());
}

TEST_F(MuxCaptureTest, DeviceCaptureOnTheDasThenOnThePc)
{
    TMux* mux = table.AddChannel(30, &device);
    device.target.onPc = false;
    mux->StartCapture();
    EXPECT_TRUE(mux->HasCaptureFile());
    EXPECT_TRUE(mux->IsCaptureOn());
    EXPECT_FALSE(mux->IsCaptureOnPc());
    EXPECT_EQ(device.rowRefreshes, 1);
    // A running capture is not started again.
    mux->StartCapture();
    EXPECT_EQ(device.rowRefreshes, 1);

    // Stopping a capture made on the DAS clears the mark and renews the device's path.
    mux->StopCapture();
    EXPECT_FALSE(mux->HasCaptureFile());
    EXPECT_FALSE(mux->IsCaptureOn());
    EXPECT_EQ(device.captureStops, 1);

    // Numbered names are never appended to: the numbered file starts empty.
    const QString numbered = dir.filePath(QStringLiteral("Data/RAW007.DAT"));
    QDir().mkpath(dir.filePath(QStringLiteral("Data")));
    WriteFile(numbered, "stale");
    device.target = {true, true, true, StoredPath(numbered)};
    mux->StartCapture();
    ASSERT_TRUE(mux->IsCaptureOnPc());
    EXPECT_TRUE(mux->GetNumbering());
    EXPECT_FALSE(mux->GetAppend());
    Receive(mux, "data");
    mux->StopCapture();
    EXPECT_EQ(ReadAll(numbered), QByteArray("data"));
    EXPECT_EQ(device.captureStops, 2);

    // An unnumbered device capture takes the device's append setting.
    device.target = {true, true, false, StoredPath(numbered)};
    mux->StartCapture();
    EXPECT_TRUE(mux->GetAppend());
    Receive(mux, "+more");
    mux->StopCapture();
    EXPECT_EQ(ReadAll(numbered), QByteArray("data+more"));
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(MuxCaptureTest, EachPassIsInTheFileBeforeThePassEnds)
{
    TMux* mux = table.AddChannel(21, &window);
    const QString path = dir.filePath(QStringLiteral("live.cap"));
    mux->SetCaptureFileName(StoredPath(path));
    mux->SetAppend(false);
    mux->StartCapture();
    ASSERT_TRUE(mux->IsCaptureOnPc());
    // Read back by another reader while the capture runs, as after a crash.
    Receive(mux, "$GPZDA,1\r\n");
    EXPECT_EQ(ReadAll(path), QByteArray("$GPZDA,1\r\n"));
    Receive(mux, "$GPZDA,2\r\n");
    mux->WriteCapture(QStringLiteral("label"));
    EXPECT_EQ(ReadAll(path), QByteArray("$GPZDA,1\r\n$GPZDA,2\r\nlabel"));
    mux->StopCapture();
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(MuxCaptureTest, EveryCaptureMeetingAFullDiskIsReportedAfterThePass)
{
    // Writes to /dev/full fail as on a full disk.
    if (!QFile::exists(QStringLiteral("/dev/full"))) {
        GTEST_SKIP() << "no /dev/full";
    }
    std::vector<TMux*> channels;
    for (uint8_t channel : {21, 22, 23}) {
        TMux* mux = table.AddChannel(channel);
        mux->SetCaptureFileName(QStringLiteral("/dev/full"));
        mux->SetAppend(true);
        mux->StartCapture();
        ASSERT_TRUE(mux->IsCaptureOnPc());
        mux->PutData("x", 1);
        channels.push_back(mux);
    }
    table.Service(NowDateTime());
    // Every capture stopped at its first write; the boxes wait until the pass is over.
    for (TMux* mux : channels) {
        EXPECT_FALSE(mux->IsCaptureOn());
        EXPECT_FALSE(mux->HasCaptureFile());
    }
    EXPECT_TRUE(prompt.shown.empty());
    ASSERT_TRUE(WaitUntil([&] { return prompt.shown.size() == 3; }));
    const QString title = ApplicationTitle() + QStringLiteral(": ");
    EXPECT_EQ(prompt.Messages(),
              (QStringList{title + QStringLiteral("Capture Error on Host Channel# 21"),
                           title + QStringLiteral("Capture Error on Host Channel# 22"),
                           title + QStringLiteral("Capture Error on Host Channel# 23")}));
}

TEST_F(MuxCaptureTest, AFailedCloseIsReportedAlsoWhenTheChannelGoes)
{
    TMux* mux = table.AddChannel(21);
    mux->SetName(QStringLiteral("Sonar"));
    mux->SetCaptureFile(std::make_unique<UnclosableFile>());
    mux->StopCapture();
    ASSERT_TRUE(WaitUntil([&] { return prompt.shown.size() == 1; }));
    EXPECT_EQ(prompt.Messages().last(),
              ApplicationTitle() + QStringLiteral(": Error Closing File for Sonar!"));

    // At program end the channels go with their captures still open: the box shows at once,
    // since nothing posted would run any more.
    mux->SetCaptureFile(std::make_unique<UnclosableFile>());
    ASSERT_TRUE(table.RemoveChannel(21));
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.Messages().last(),
              ApplicationTitle() + QStringLiteral(": Error Closing File for Sonar!"));
}

}  // namespace
