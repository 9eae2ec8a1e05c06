// The script editor on a long script: opening and colouring a 5,000-line script, the time
// from a key press to the recoloured line in the middle of it (goal: one frame, 16 ms), and
// saving it. Prints figures only; EDITOR_GRAB=file.png also saves a picture of the window.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <vector>

#include "BenchFigures.h"
#include "link/Global.h"
#include "platform/Prompt.h"
#include "scripts/ScriptEditForm.h"
#include "support/FakePrompt.h"
#include "support/TestHome.h"

namespace {

constexpr int kLines = 5000;
constexpr int kKeys = 200;

// A script of `lines` lines in the shape the script wizard writes.
QByteArray MakeScript(int lines)
{
    QByteArray text;
    for (int i = 0; i < lines; ++i) {
        switch (i % 5) {
        case 0: text += "; Step " + QByteArray::number(i) + " of the sampling loop\r\n"; break;
        case 1: text += "    SetPower Power_CTD On\r\n"; break;
        case 2: text += "    SendString Serial Data_CTD \"GO\" 10\r\n"; break;
        case 3: text += "    WaitTicks " + QByteArray::number(i % 300) + "\r\n"; break;
        default: text += "Label" + QByteArray::number(i) + ":\r\n"; break;
        }
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    UseTestHome(home);
    QApplication app(argc, argv);
    TFakePrompt prompt;
    prompt.okBoxesAnswerThemselves = true;
    InstallScriptEditing();

    const QString path = home.filePath(QStringLiteral("Long.pxs"));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(MakeScript(kLines));
    }
    TScriptEditForms forms(nullptr);
    TScriptEditForm* editor = forms.NewEditor();
    editor->resize(800, 600);
    QApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    editor->OpenFile(path);
    QApplication::processEvents();
    const double openMs = timer.nsecsElapsed() / 1e6;
    // A picture of the window, to look at: EDITOR_GRAB=file.png.
    if (!qEnvironmentVariableIsEmpty("EDITOR_GRAB")) {
        editor->Editor->SetSel(0, 0);
        QApplication::processEvents();
        editor->grab().save(qEnvironmentVariable("EDITOR_GRAB"));
    }

    TRichSyntaxEdit* edit = editor->Editor;
    edit->setFocus();
    edit->SetSel(edit->LineIndex(kLines / 2) + 4, 0);
    std::vector<double> keyMs;
    std::vector<double> spaceMs;
    for (int i = 0; i < kKeys; ++i) {
        const bool space = i % 6 == 5;
        timer.restart();
        QTest::keyClick(edit, space ? Qt::Key_Space : Qt::Key_A, Qt::NoModifier);
        QApplication::processEvents();
        (space ? spaceMs : keyMs).push_back(timer.nsecsElapsed() / 1e6);
    }

    const QString saved = home.filePath(QStringLiteral("Saved.pxs"));
    prompt.QueueFile(saved);
    prompt.QueueMessageAnswer(TMsgResult::No);
    timer.restart();
    editor->FileSaveAsExecute();
    const double saveMs = timer.nsecsElapsed() / 1e6;

    std::printf("script editor, %d-line script\n", kLines);
    std::printf("  open and colour:                 %8.1f ms\n", openMs);
    std::printf("  key press (letter), median/p99:  %8.2f / %.2f ms\n", Percentile(keyMs, 0.5),
                Percentile(keyMs, 0.99));
    std::printf("  key press to recoloured line (space), median/p99: %.2f / %.2f ms (goal 16)\n",
                Percentile(spaceMs, 0.5), Percentile(spaceMs, 0.99));
    std::printf("  save:                            %8.1f ms\n", saveMs);
    editor->Modified = false;
    delete editor;
    return 0;
}
