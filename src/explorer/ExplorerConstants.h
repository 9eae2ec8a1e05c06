#pragma once
// Numbers and texts the DAS explorer shares between its units.

#include <QByteArray>
#include <QString>
#include <Qt>

#include "link/ChannelInterfaces.h"

// Item data of the tree nodes and list items.
constexpr int kImageRole = Qt::UserRole + 1;        // image index (int)
constexpr int kSeenRole = Qt::UserRole + 2;         // folder node named by the last listing (0/1)
constexpr int kHasChildrenRole = Qt::UserRole + 3;  // the node shows an expand button (bool)
constexpr int kSortKeyRole = Qt::UserRole + 4;      // size or date of a list cell (qint64)

// Tree images: folder and drive.
constexpr int kTreeFolderImage = 1;
constexpr int kTreeDriveImage = 2;
// List images: a folder, and what an icon index of 0 or 3 becomes for a file.
constexpr int kListFolderImage = 3;
constexpr int kListFileImage = 4;

// The list's columns.
enum TExplorerColumn { kColName = 0, kColSize = 1, kColType = 2, kColModified = 3 };
constexpr int kListColumnCount = 4;

// The list's view styles, numbered as the configuration file stores them.
enum TExplorerViewStyle {
    kExplorerLargeIcons = 0,
    kExplorerSmallIcons = 1,
    kExplorerList = 2,
    kExplorerDetails = 3
};

// Drives C (0) to Z (23).
constexpr int kHighestDriveLimit = 23;
// The status bar's panels and their widths.
constexpr int kExplorerPanelCount = 4;
constexpr int kExplorerPanelWidths[kExplorerPanelCount] = {100, 100, 150, 150};

// A listing's last line holds this text.
inline const QByteArray& kListingEndMarker = kDirectoryListingEnd;
// Listing bytes kept while no end marker comes; more than this is dropped as garbage (a
// listing of ten thousand entries is about half a megabyte).
constexpr qsizetype kMaxListingBytes = 4 * 1024 * 1024;
// Names of a placeholder file's extension are at most this long.
constexpr int kMaxPlaceholderExtChars = 12;

// The script editor takes files below this many bytes.
constexpr qint64 kScriptEditorLimitBytes = 32769;
// A mouse move this far from the press (in x or y) starts a drag.
constexpr int kDragThresholdPx = 10;

// Texts the operator sees.
inline const QString kExplorerCaption = QStringLiteral("DASExplorer");
inline const QString kExplorerPlacement = QStringLiteral("DasExplorer");
inline const QString kCacheFolderName = QStringLiteral("DASExplorer");
inline const QString kErrorReceiving = QStringLiteral("Error Recieving ");
inline const QString kRaiseHighestDrive =
    QStringLiteral("Error: Must Increase the Highest Drive Letter Under \"Manage Partitions\"");
