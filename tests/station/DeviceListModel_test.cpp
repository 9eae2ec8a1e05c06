#include "station/DeviceListModel.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

TEST(DeviceListModel, RowsCarryCaptionAndSubItems)
{
    TDeviceListModel model;
    EXPECT_EQ(model.columnCount(), 13);
    EXPECT_EQ(model.headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Capture To"));
    EXPECT_EQ(model.headerData(12, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Chan#"));
    TDeviceListItem* a = model.AddItem(QStringLiteral("A"));
    TDeviceListItem* b = model.AddItem(QStringLiteral("B"));
    a->SetSubItem(0, QStringLiteral("ignored"));  // no sub-items yet
    EXPECT_EQ(a->SubItem(0), QString());
    a->SetSubItems(QStringList(12, QString()));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    a->SetSubItem(4, QStringLiteral("Host 007"));
    a->SetSubItem(4, QStringLiteral("Host 007"));  // unchanged text: no signal
    EXPECT_EQ(changed.size(), 1);
    EXPECT_EQ(model.data(model.index(0, 5), Qt::DisplayRole).toString(),
              QStringLiteral("Host 007"));
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), QStringLiteral("B"));
    EXPECT_EQ(b->Index(), 1);
    model.DeleteItem(a);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(b->Index(), 0);
}

TEST(DeviceListModel, CaptionSearchIgnoresCaseAndSelectionFollowsRows)
{
    TDeviceListModel model;
    TDeviceListItem* pump = model.AddItem(QStringLiteral("Pump"));
    TDeviceListItem* twin = model.AddItem(QStringLiteral("PUMP"));
    EXPECT_EQ(model.FindCaption(QStringLiteral("pump")), pump);
    EXPECT_EQ(model.FindCaption(QStringLiteral("pump"), 1), twin);
    EXPECT_EQ(model.FindCaption(QStringLiteral("pum")), nullptr);
    twin->SetSelected(true);
    EXPECT_FALSE(pump->Selected());
    EXPECT_TRUE(twin->Selected());
    EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.flags(model.index(0, 3)) & Qt::ItemIsEditable);
}
