#pragma once
// A picture from the desktop's icon theme, with the widget style's own picture where the theme
// has none.
//
// UI thread only.

#include <QIcon>
#include <QString>
#include <QStyle>

QIcon ThemeIcon(const QString& name, QStyle::StandardPixmap fallback);
