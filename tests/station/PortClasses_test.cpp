#include "station/PortClasses.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

TPort* AddDasPort(TPortArray& table, const QString& name, int powerSwitch,
                  const QString& type = QStringLiteral("Serial"), int hostChannel = 1)
{
    return table.AddPort(name, QStringLiteral("J") + name, hostChannel, 1, 0, powerSwitch, type);
}

QStringList PowerWalk(const TPortArray& table)
{
    QStringList names;
    for (TPort* p = table.FirstInPowerOrder(); p != nullptr; p = table.NextInPowerOrder(p)) {
        names << p->GetName();
        if (names.size() > 100) {
            break;  // a ring that never closes
        }
    }
    return names;
}

QList<int> Order(const TPortArray& table)
{
    QList<int> order;
    for (int p = 0; p < kSwitchCount; ++p) {
        order << table.SwitchNumberAt(p);
    }
    return order;
}

QList<int> Iota(std::initializer_list<int> front, int skip = -1)
{
    QList<int> order(front);
    for (int i = 0; i < kSwitchCount; ++i) {
        if (i != skip && !order.contains(i)) {
            order << i;
        }
    }
    return order;
}

}  // namespace

TEST(PortArray, NewTableHasDefaultOrderAndDelays)
{
    TPortArray table;
    TPort* p0 = AddDasPort(table, QStringLiteral("P0"), 0);
    EXPECT_EQ(Order(table), Iota({}));
    EXPECT_EQ(table.GetHighestSwitch(), 0);
    EXPECT_EQ(table.GetPowerOnDelay(p0), 30);
    for (int s = 0; s < kSwitchCount; ++s) {
        TPort* p = AddDasPort(table, QStringLiteral("S%1").arg(s), s);
        EXPECT_EQ(table.GetPowerOnDelay(p), 30) << s;
    }
    EXPECT_EQ(table.GetHighestSwitch(), 16);
}

TEST(PortArray, RingReadsHeadThenNewestToOldest)
{
    TPortArray table;
    AddDasPort(table, QStringLiteral("P1"), 3);
    AddDasPort(table, QStringLiteral("P2"), 3);
    AddDasPort(table, QStringLiteral("P3"), 3);
    EXPECT_EQ(PowerWalk(table), (QStringList{"P1", "P3", "P2"}));
    EXPECT_EQ(table.SwitchAt(3)->GetName(), QStringLiteral("P1"));
    EXPECT_EQ(table.PortsOnSwitch(3), 3);
    EXPECT_EQ(table.GetHighestSwitch(), 3);
}

TEST(PortArray, SwitchZeroIsNeverMovedByItself)
{
    TPortArray table;
    TPort* p0 = AddDasPort(table, QStringLiteral("P0"), 0);
    EXPECT_EQ(table.SetPowerOnPriority(p0, 5), 0);
    EXPECT_EQ(table.SetPowerOnPriority(nullptr, 5), 0);
    EXPECT_EQ(Order(table), Iota({}));
}

TEST(PortArray, MovesSwitchToClampedPosition)
{
    TPortArray table;
    TPort* p0 = AddDasPort(table, QStringLiteral("P0"), 0);
    TPort* p7 = AddDasPort(table, QStringLiteral("P7"), 7);

    EXPECT_EQ(table.SetPowerOnPriority(p7, 40), 16);
    EXPECT_EQ(Order(table), (QList<int>{0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 7}));
    EXPECT_EQ(table.GetPowerOnPriority(p7), 16);

    EXPECT_EQ(table.SetPowerOnPriority(p7, -3), 0);
    EXPECT_EQ(Order(table), Iota({7}));
    EXPECT_EQ(table.GetPowerOnPriority(p0), 1);
    EXPECT_EQ(table.GetPowerOnPriority(p7), 0);
}

TEST(PortArray, WalkFollowsPowerOrder)
{
    TPortArray table;
    TPort* a = AddDasPort(table, QStringLiteral("A0"), 0);
    AddDasPort(table, QStringLiteral("B3"), 3);
    TPort* c = AddDasPort(table, QStringLiteral("C5"), 5);
    AddDasPort(table, QStringLiteral("D5"), 5);
    table.SetPowerOnPriority(c, 1);
    EXPECT_EQ(PowerWalk(table), (QStringList{"A0", "C5", "D5", "B3"}));
    // Continuing from a port: the rest of its ring, then the following positions.
    EXPECT_EQ(table.NextInPowerOrder(c)->GetName(), QStringLiteral("D5"));
    EXPECT_EQ(table.NextInPowerOrder(a)->GetName(), QStringLiteral("C5"));
    EXPECT_EQ(table.SwitchAt(17), table.SwitchAt(16));
    EXPECT_EQ(table.SwitchAt(-1), nullptr);
}

TEST(PortArray, DelayBelongsToTheSwitch)
{
    TPortArray table;
    TPort* a = AddDasPort(table, QStringLiteral("A"), 4);
    TPort* b = AddDasPort(table, QStringLiteral("B"), 4);
    TPort* c = AddDasPort(table, QStringLiteral("C"), 5);
    table.SetPowerOnDelay(a, 12345);
    EXPECT_EQ(table.GetPowerOnDelay(b), 12345);
    EXPECT_EQ(table.GetPowerOnDelay(c), 30);
    table.SetPowerOnDelay(c, -5);  // stored as given
    EXPECT_EQ(table.GetPowerOnDelay(c), -5);
}

TEST(PortArray, FindsLastAddedAndFirstFreePortOfAnyType)
{
    TPortArray table;
    TPort* debug = AddDasPort(table, QStringLiteral("DBG"), 0, QStringLiteral("Debug"));
    AddDasPort(table, QStringLiteral("S1"), 1);
    TPort* second = AddDasPort(table, QStringLiteral("S1"), 2);
    EXPECT_EQ(table.FindPort(QStringLiteral("S1")), second);
    EXPECT_EQ(table.FindPort(QStringLiteral("s1")), nullptr);
    EXPECT_EQ(table.FindPort(QStringLiteral("none")), nullptr);

    EXPECT_EQ(table.FirstFreePort(), debug);
    for (int i = 0; i < table.Count(); ++i) {
        table.Get(i)->SetDevice(reinterpret_cast<TDevice*>(table.Get(i)));
    }
    EXPECT_EQ(table.FirstFreePort(), nullptr);
    EXPECT_EQ(table.Get(3), nullptr);
    EXPECT_EQ(table.Get(-1), nullptr);
    for (int i = 0; i < table.Count(); ++i) {
        table.Get(i)->SetDevice(nullptr);
    }
}

TEST(PortArray, TypeNamesMatchExactly)
{
    TPortArray table;
    TPort* serial = AddDasPort(table, QStringLiteral("A"), 0, QStringLiteral("Serial"));
    TPort* pc = table.AddPCPort(3);
    TPort* lower = AddDasPort(table, QStringLiteral("C"), 0, QStringLiteral("serial"));
    TPort* noPort = AddDasPort(table, QStringLiteral("D"), 0, QStringLiteral("NoPort"));
    EXPECT_TRUE(serial->IsSerial());
    EXPECT_FALSE(serial->IsPCSerial());
    EXPECT_TRUE(pc->IsSerial());
    EXPECT_TRUE(pc->IsPCSerial());
    EXPECT_EQ(pc->GetName(), QStringLiteral("COM3:"));
    EXPECT_EQ(pc->GetConnectorName(), QStringLiteral("PC COM3:"));
    EXPECT_EQ(pc->GetHostChannel(), 3);
    EXPECT_EQ(pc->GetSerialPort(), 3);
    EXPECT_EQ(lower->GetType(), TPortType::NoPortType);
    EXPECT_FALSE(lower->IsSerial());
    EXPECT_EQ(noPort->GetType(), TPortType::NoPortType);
    EXPECT_EQ(table.Count(), 4);
}

TEST(PortArray, PortOutsideSwitchRangeBelongsToNoRing)
{
    TPortArray table;
    TPort* p2 = AddDasPort(table, QStringLiteral("P2"), 2);
    TPort* high = AddDasPort(table, QStringLiteral("HIGH"), 17);
    TPort* low = AddDasPort(table, QStringLiteral("LOW"), -1);
    EXPECT_EQ(table.Count(), 3);
    EXPECT_EQ(table.FindPort(QStringLiteral("HIGH")), high);
    EXPECT_EQ(table.GetHighestSwitch(), 2);
    EXPECT_EQ(PowerWalk(table), QStringList{"P2"});
    for (TPort* p : {high, low}) {
        EXPECT_EQ(table.NextOnSwitch(p), nullptr);
        EXPECT_EQ(table.NextInPowerOrder(p), nullptr);
        EXPECT_EQ(table.GetPowerOnPriority(p), 0);
        EXPECT_EQ(table.SetPowerOnPriority(p, 4), 0);
        table.SetPowerOnDelay(p, 999);
        EXPECT_EQ(table.GetPowerOnDelay(p), 0);
    }
    EXPECT_EQ(Order(table), Iota({}));
    EXPECT_EQ(table.GetPowerOnDelay(p2), 30);
    EXPECT_EQ(table.PortsOnSwitch(17), 0);
}

TEST(PortArray, RemovesOnlyFreePCPortsAndMendsTheRing)
{
    TPortArray table;
    AddDasPort(table, QStringLiteral("S"), 0);
    TPort* com1 = table.AddPCPort(1);
    table.AddPCPort(2);
    table.AddPCPort(3);
    EXPECT_EQ(PowerWalk(table), (QStringList{"S", "COM3:", "COM2:", "COM1:"}));

    table.RemovePort(QStringLiteral("S"));      // not a PC port
    table.RemovePort(QStringLiteral("COM9:"));  // unknown
    com1->SetDevice(reinterpret_cast<TDevice*>(com1));
    table.RemovePort(QStringLiteral("COM1:"));  // in use
    EXPECT_EQ(table.Count(), 4);
    com1->SetDevice(nullptr);

    table.RemovePort(QStringLiteral("COM2:"));
    EXPECT_EQ(table.FindPort(QStringLiteral("COM2:")), nullptr);
    EXPECT_EQ(PowerWalk(table), (QStringList{"S", "COM3:", "COM1:"}));
    EXPECT_EQ(table.PortsOnSwitch(0), 3);
}

TEST(PortArray, RemovingTheRingHeadKeepsTheEarliestOtherFirst)
{
    TPortArray table;
    table.AddPCPort(1);
    table.AddPCPort(2);
    table.AddPCPort(3);
    table.RemovePort(QStringLiteral("COM1:"));
    EXPECT_EQ(PowerWalk(table), (QStringList{"COM2:", "COM3:"}));
    table.RemovePort(QStringLiteral("COM2:"));
    table.RemovePort(QStringLiteral("COM3:"));
    EXPECT_EQ(PowerWalk(table), QStringList{});
    EXPECT_EQ(table.SwitchAt(0), nullptr);
    EXPECT_EQ(table.Count(), 0);
}

TEST(PortArray, HighestSwitchFallsWhenItsLastPortGoes)
{
    TPortArray table;
    AddDasPort(table, QStringLiteral("A"), 2);
    table.AddPort(QStringLiteral("COM4:"), QStringLiteral("PC COM4:"), 4, 4, 0, 9,
                  QStringLiteral("PCSerial"));
    EXPECT_EQ(table.GetHighestSwitch(), 9);
    table.RemovePort(QStringLiteral("COM4:"));
    EXPECT_EQ(table.GetHighestSwitch(), 2);
}

TEST(Port, ActivityIsClearedOnlyWhenAsked)
{
    TPortArray table;
    TPort* p = AddDasPort(table, QStringLiteral("A"), 0);
    EXPECT_FALSE(p->TestAndClearActivity(true));
    p->SetActivity();
    EXPECT_TRUE(p->TestAndClearActivity(false));
    EXPECT_TRUE(p->TestAndClearActivity(true));
    EXPECT_FALSE(p->TestAndClearActivity(true));
}

TEST(Port, HostChannelOutsideRangeMeansNoChannel)
{
    TPortArray table;
    EXPECT_FALSE(
        AddDasPort(table, QStringLiteral("A"), 0, QStringLiteral("Serial"), 300)->HasHostChannel());
    EXPECT_FALSE(
        AddDasPort(table, QStringLiteral("B"), 0, QStringLiteral("Serial"), 256)->HasHostChannel());
    EXPECT_FALSE(
        AddDasPort(table, QStringLiteral("C"), 0, QStringLiteral("Serial"), -1)->HasHostChannel());
    EXPECT_TRUE(
        AddDasPort(table, QStringLiteral("D"), 0, QStringLiteral("Serial"), 255)->HasHostChannel());
}
