#include "desktop/ThemeIcon.h"

#include <QApplication>

QIcon ThemeIcon(const QString& name, QStyle::StandardPixmap fallback)
{
    const QIcon icon = QIcon::fromTheme(name);
    return icon.isNull() ? QApplication::style()->standardIcon(fallback) : icon;
}
