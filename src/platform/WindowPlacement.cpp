#include "platform/WindowPlacement.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "platform/Registry.h"

namespace {

// Far beyond any screen, yet safe from overflow in geometry arithmetic.
constexpr double kMaxPixels = 1'000'000.0;

QSize g_screenOverride;

double Fraction(int pixels, int extent)
{
    return extent > 0 ? static_cast<double>(pixels) / extent : 0.0;
}

int ToPixels(double value, int extent)
{
    if (!std::isfinite(value)) {
        return 0;
    }
    const double pixels = (value >= -1.0 && value <= 1.0) ? value * extent : value;
    return static_cast<int>(std::lround(std::clamp(pixels, -kMaxPixels, kMaxPixels)));
}

// A fraction beyond -1..1 would read back as a pixel count of 1 or 2.
double ToStored(int pixels, int extent)
{
    const double fraction = Fraction(pixels, extent);
    return (fraction > 1.0 || fraction < -1.0) ? static_cast<double>(pixels) : fraction;
}

int WindowStateCode(Qt::WindowStates state)
{
    if (state & Qt::WindowMinimized) {
        return 1;
    }
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        return 2;
    }
    return 0;
}

Qt::WindowStates WithStateCode(Qt::WindowStates state, int code)
{
    state &= ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
    if (code == 1) {
        state |= Qt::WindowMinimized;
    } else if (code == 2) {
        state |= Qt::WindowMaximized;
    }
    return state;
}

const QString kHeight = QStringLiteral("Height");
const QString kLeft = QStringLiteral("Left");
const QString kTop = QStringLiteral("Top");
const QString kWidth = QStringLiteral("Width");
const QString kWindowState = QStringLiteral("WindowState");
const QString kVisible = QStringLiteral("Visible");

}  // namespace

QSize PlacementScreenSize()
{
    if (!g_screenOverride.isEmpty()) {
        return g_screenOverride;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry().size() : QSize();
}

void SetPlacementScreenSize(const QSize& size) { g_screenOverride = size; }

double ScreenFractionX(int pixels) { return Fraction(pixels, PlacementScreenSize().width()); }
double ScreenFractionY(int pixels) { return Fraction(pixels, PlacementScreenSize().height()); }
int FractionToPixelsX(double value) { return ToPixels(value, PlacementScreenSize().width()); }
int FractionToPixelsY(double value) { return ToPixels(value, PlacementScreenSize().height()); }
double PlacementValueX(int pixels) { return ToStored(pixels, PlacementScreenSize().width()); }
double PlacementValueY(int pixels) { return ToStored(pixels, PlacementScreenSize().height()); }

void MoveWindowFrame(QWidget* form, const QPoint& topLeft)
{
    if (form == nullptr) {
        return;
    }
    // Until the window manager has framed a window it already holds, the toolkit takes a
    // move for the client area's place; its native window can still be placed by the frame.
    QWindow* native = form->windowHandle();
    const bool unframed = form->frameGeometry() == form->geometry();
    if (form->isWindow() && native != nullptr && form->testAttribute(Qt::WA_WState_Created) &&
        unframed) {
        native->setFramePosition(topLeft);
    } else {
        form->move(topLeft);
    }
}

int TitleFitWidth(const QWidget* form)
{
    if (form == nullptr) {
        return 0;
    }
    const QString title = form->windowTitle();
    // Title bars often use a bold face; the icon and three buttons take the rest.
    QFont font = QApplication::font();
    font.setBold(true);
    constexpr int kTitleBarExtrasPx = 130;
    return QFontMetrics(font).horizontalAdvance(title) + kTitleBarExtrasPx;
}

void FitWindowTitle(QWidget* form)
{
    if (form == nullptr) {
        return;
    }
    const int width = TitleFitWidth(form);
    form->setMinimumWidth(std::max(form->minimumWidth(), width));
    // A layout that sets the window's least size itself overrides that minimum, so the window
    // also gets its first size here.
    const QSize hint = form->sizeHint();
    form->resize(std::max(width, hint.width()), hint.height());
}

void CentreOnScreen(QWidget* form)
{
    if (form == nullptr) {
        return;
    }
    const QSize screen = PlacementScreenSize();
    const QSize frame = form->frameGeometry().size();
    MoveWindowFrame(form, QPoint(screen.width() / 2 - frame.width() / 2,
                                 screen.height() / 2 - frame.height() / 2));
}

void PlaceBelow(QWidget* form, QWidget* control)
{
    if (form == nullptr || control == nullptr) {
        return;
    }
    const QRect frame = form->frameGeometry();
    const int gap = frame.height() >= 1 ? 8 : 0;
    MoveWindowFrame(control,
                    QPoint(control->frameGeometry().left(), frame.top() + frame.height() + gap));
}

void SaveWindowPlacement(QWidget* form, const QString& name)
{
    if (form != nullptr) {
        SaveWindowPlacement(form, name, form->isVisible());
    }
}

void SaveWindowPlacement(QWidget* form, const QString& name, bool visible)
{
    if (form == nullptr) {
        return;
    }
    TRegistry reg;
    if (!reg.OpenKey(VersionedKeyPath(RegistryWriteVersion(), name), true)) {
        return;
    }
    const QPoint topLeft = form->frameGeometry().topLeft();
    reg.WriteFloat(kHeight, PlacementValueY(form->height()));
    reg.WriteFloat(kLeft, PlacementValueX(topLeft.x()));
    reg.WriteFloat(kTop, PlacementValueY(topLeft.y()));
    reg.WriteFloat(kWidth, PlacementValueX(form->width()));
    reg.WriteInteger(kWindowState, WindowStateCode(form->windowState()));
    reg.WriteBool(kVisible, visible);
}

bool RestoreWindowPlacement(QWidget* form, const QString& name, bool restoreState,
                            bool restoreSize)
{
    if (form == nullptr) {
        return false;
    }
    TRegDef reg;
    if (!reg.OpenKey(VersionedKeyPath(RegistryReadVersion(), name), false)) {
        return false;
    }
    const QPoint topLeft = form->frameGeometry().topLeft();
    const int left = FractionToPixelsX(reg.ReadFloatDef(kLeft, PlacementValueX(topLeft.x())));
    const int top = FractionToPixelsY(reg.ReadFloatDef(kTop, PlacementValueY(topLeft.y())));
    if (restoreSize) {
        const int width =
            FractionToPixelsX(reg.ReadFloatDef(kWidth, PlacementValueX(form->width())));
        const int height =
            FractionToPixelsY(reg.ReadFloatDef(kHeight, PlacementValueY(form->height())));
        form->resize(width, height);
    }
    // The place last, by the frame, once the size is set.
    MoveWindowFrame(form, QPoint(left, top));
    if (restoreState) {
        const bool visible = reg.ReadBoolDef(kVisible, form->isVisible());
        const int state = reg.ReadIntegerDef(kWindowState, WindowStateCode(form->windowState()));
        form->setWindowState(WithStateCode(form->windowState(), state));
        form->setVisible(visible);
    }
    return true;
}
