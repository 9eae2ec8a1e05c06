#include "desktop/ThemeIcon.h"

#include <QApplication>

QIcon ThemeIcon(const QString& name, QStyle::StandardPixmap fallback)
{
    const QIcon icon = QIcon::fromTheme(name);
    return icon.isNull() ? QApplication::style()->standardIcon(fallback) : icon;
}

QIcon ThemeIconOrOwn(const QString& name, const QString& own)
{
    const QString path = QStringLiteral(":/desktop/icons/") + own;
    QIcon fallback;
    fallback.addFile(path + QStringLiteral(".png"));
    fallback.addFile(path + QStringLiteral("@2x.png"));
    return QIcon::fromTheme(name, fallback);
}
