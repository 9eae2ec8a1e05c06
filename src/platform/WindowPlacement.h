#pragma once
// Window placement kept in the settings store as fractions of the screen size, so a window
// comes back in the same part of a screen of another size. A stored value from -1 to 1 (both
// included) is a fraction of the screen width or height; a value beyond is pixels.
//
// UI thread only.

#include <QPoint>
#include <QSize>
#include <QString>

class QWidget;

// The screen size the fractions refer to: the primary screen's, unless a test set one.
QSize PlacementScreenSize();
// Overrides the screen size (tests); an empty size returns to the primary screen.
void SetPlacementScreenSize(const QSize& size);

// Pixels as a fraction of the screen width / height (0 when there is no screen).
double ScreenFractionX(int pixels);
double ScreenFractionY(int pixels);
// A stored value as pixels: a fraction (-1 to 1) times the screen width / height, rounded;
// any other value rounded, as pixels.
int FractionToPixelsX(double value);
int FractionToPixelsY(double value);

// The value to store for a position or length in pixels: the screen fraction, or the pixels
// themselves when that fraction lies beyond -1..1 (a window reaching past the screen, for
// example on a second monitor), so that FractionToPixelsX/Y gives the pixels back.
double PlacementValueX(int pixels);
double PlacementValueY(int pixels);

// Moves `form` (a window) so that its outer frame's top left corner lands on `topLeft`. A
// window the window system already holds but has not framed yet is placed by its frame
// through the native window, so that its title bar does not end up above `topLeft`.
void MoveWindowFrame(QWidget* form, const QPoint& topLeft);

// The width at which a window manager's title bar shows `form`'s whole title, with room for
// the title bar's buttons (an estimate from the application's font). `FitWindowTitle`, for a
// window not shown yet, raises its minimum width to it and gives it its first size: as wide as
// that and its contents want, as high as they want.
int TitleFitWidth(const QWidget* form);
void FitWindowTitle(QWidget* form);

// Centres `form` (a window) on the screen: left = screen width / 2 - frame width / 2, top
// likewise, halves rounded toward zero.
void CentreOnScreen(QWidget* form);

// Moves `control` (a window) to just below `form`: its top becomes the form's top plus the
// form's height, plus 8 when that height is at least 1.
void PlaceBelow(QWidget* form, QWidget* control);

// Writes "Height", "Left", "Top", "Width", "WindowState" (0 normal, 1 minimised, 2 maximised)
// and "Visible" of `form` under VersionedKeyPath(RegistryWriteVersion(), name). Nothing is
// written when the key cannot be opened.
void SaveWindowPlacement(QWidget* form, const QString& name);
// The same with "Visible" given: a window saved while it closes stores false, so that it
// stays closed when its placement is restored at the next start.
void SaveWindowPlacement(QWidget* form, const QString& name, bool visible);
// Reads the placement saved under VersionedKeyPath(RegistryReadVersion(), name) and applies
// it: the position always, the size when restoreSize, visibility and window state when
// restoreState. A missing value keeps the window's present one. Returns false (and leaves
// the window alone) when no placement is stored under that name.
bool RestoreWindowPlacement(QWidget* form, const QString& name, bool restoreState,
                            bool restoreSize);
