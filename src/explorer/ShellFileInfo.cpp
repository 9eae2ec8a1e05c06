#include "explorer/ShellFileInfo.h"

#include <QFileInfo>
#include <QStyle>

#include "desktop/ThemeIcon.h"

TMimeFileInfo::TMimeFileInfo()
{
    icons_ = {
        ThemeIcon(QStringLiteral("unknown"), QStyle::SP_FileIcon),
        ThemeIcon(QStringLiteral("x-office-document"), QStyle::SP_FileIcon),
        ThemeIcon(QStringLiteral("application-x-executable"), QStyle::SP_ComputerIcon),
        ThemeIcon(QStringLiteral("folder"), QStyle::SP_DirIcon),
        ThemeIcon(QStringLiteral("text-x-generic"), QStyle::SP_FileIcon),
    };
}

TShellFileInfo TMimeFileInfo::Query(const QString& path)
{
    const QList<QMimeType> types = mimes_.mimeTypesForFileName(QFileInfo(path).fileName());
    if (types.isEmpty()) {
        return {};
    }
    const QMimeType& type = types.first();
    TShellFileInfo info;
    info.typeName = type.comment();
    const QString iconName = type.iconName();
    const auto known = slotOfIcon_.constFind(iconName);
    if (known != slotOfIcon_.constEnd()) {
        info.iconIndex = known.value();
        return info;
    }
    QIcon icon = QIcon::fromTheme(iconName, QIcon::fromTheme(type.genericIconName()));
    if (icon.isNull()) {
        icon = icons_[kIconFile];
    }
    info.iconIndex = static_cast<int>(icons_.size());
    icons_.push_back(icon);
    slotOfIcon_.insert(iconName, info.iconIndex);
    return info;
}

QIcon TMimeFileInfo::Icon(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= icons_.size()) {
        return icons_[kIconFile];
    }
    return icons_[static_cast<size_t>(index)];
}
