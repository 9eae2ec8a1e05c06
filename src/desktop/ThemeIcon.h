#pragma once
// A picture from the desktop's icon theme, with the widget style's own picture where the theme
// has none.
//
// UI thread only.

#include <QIcon>
#include <QString>
#include <QStyle>

QIcon ThemeIcon(const QString& name, QStyle::StandardPixmap fallback);

// A picture from the desktop's icon theme, with a picture of our own where the theme has none:
// ":/desktop/icons/" + `own` + ".png" (and its "@2x.png" for dense screens).
QIcon ThemeIconOrOwn(const QString& name, const QString& own);
