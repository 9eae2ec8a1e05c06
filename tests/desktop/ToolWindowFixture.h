#pragma once
// The surroundings of a tool window tested on its own: the DAS unit and the link's queues and
// channel table, a frozen queue clock, a PC clock the test sets, a 1000 x 800 screen and the
// scripted prompt service. Reads back the console commands the window queued, each with the
// ms from now at which it is due.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <vector>

#include "QueuedCommands.h"
#include "link/Das.h"
#include "link/LinkFakes.h"
#include "link/MuxClasses.h"
#include "link/SendQueues.h"
#include "platform/Clocks.h"
#include "platform/DateTimeText.h"
#include "platform/WindowPlacement.h"
#include "support/FakePrompt.h"

class ToolWindowTest : public ::testing::Test {
protected:
    static constexpr uint32_t kQueueNow = 40'000'000;

    void SetUp() override
    {
        NewLinkGlobals();
        Das = new TDas;
        FreezeQueueClock(kQueueNow);
        SetPlacementScreenSize(QSize(1000, 800));
        SetLocalTimeSourceForTest(&PcClock);
    }

    void TearDown() override
    {
        SetLocalTimeSourceForTest(nullptr);
        SetShortDateFormat(QString());
        SetPlacementScreenSize(QSize());
        UnfreezeQueueClock();
        delete Das;
        Das = nullptr;
        DeleteLinkGlobals();
    }

    // The PC's local date and time the program reads.
    static void SetPcClock(const QDateTime& dateTime) { pcClock = DateTimeToValue(dateTime); }

    // Channel 255's timed blocks, taken out of TimedQueue, with their due times.
    static std::vector<TTimedCommand> TakeTimed() { return TakeTimedCommands(kQueueNow); }
    // Their texts alone.
    static QStringList TakeCommands() { return TakeQueuedCommands(); }

    TFakePrompt prompt;

private:
    static double PcClock() { return pcClock; }
    static inline double pcClock = 40000.5;
};
