#include "explorer/ShellFileInfo.h"

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
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const auto answered = answers_.constFind(name);
    if (answered != answers_.constEnd()) {
        return answered.value();
    }
    // The database matches some of its name patterns by a regular expression made anew for
    // each name: a folder of many such names would wait on it again at each listing.
    if (answers_.size() >= kMaxShellAnswers) {
        answers_.clear();
    }
    const TShellFileInfo info = Ask(name);
    answers_.insert(name, info);
    return info;
}

TShellFileInfo TMimeFileInfo::Ask(const QString& name)
{
    const QList<QMimeType> types = mimes_.mimeTypesForFileName(name);
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
