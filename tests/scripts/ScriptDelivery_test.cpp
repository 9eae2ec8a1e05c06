#include "scripts/ScriptDelivery.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "link/Global.h"
#include "link/MuxClasses.h"
#include "station/StationFixture.h"

namespace {

class ScriptDeliveryTest : public StationLinkTest {
protected:
    QStringList Commands()
    {
        QStringList out;
        for (const TTaken& t : Drain(timedQueue)) {
            out << QString::fromLatin1(t.bytes.chopped(1));
        }
        return out;
    }
    QTemporaryDir dir;
};

TEST_F(ScriptDeliveryTest, AScriptNameWithoutFolderGoesToTheScriptsFolder)
{
    EXPECT_EQ(ScriptPathOf(QStringLiteral("Run.pxs")),
              GetProgramDataDir() + QStringLiteral("Scripts/Run.pxs"));
    EXPECT_EQ(ScriptPathOf(QStringLiteral("/data/Run.pxs")), QStringLiteral("/data/Run.pxs"));
    EXPECT_EQ(ScriptPathOf(QStringLiteral("Mine\\Run.pxs")), QStringLiteral("Mine\\Run.pxs"));
}

// The DAS is told to run a script at power-up only once the script is there: a failed upload
// is said, and the DAS keeps its power-up settings.
TEST_F(ScriptDeliveryTest, AutoRunIsSetOnlyForAScriptThatReachedTheDas)
{
    mux.RemoveChannel(kFileChannel);
    const QString path = dir.filePath(QStringLiteral("New/Run.pxs"));

    EXPECT_FALSE(
        SaveAndSendScript(path, {QStringLiteral("; run"), QStringLiteral("  EndScript:")}, true));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("; run\r\n  EndScript:\r\n"));
    EXPECT_EQ(Commands(), QStringList({QStringLiteral("DIR")}));
    EXPECT_EQ(prompt.Messages(), QStringList({QStringLiteral("Wendrok: Auto-Run not set: ") + path +
                                              QStringLiteral(" did not reach the DAS.")}));
}

}  // namespace
