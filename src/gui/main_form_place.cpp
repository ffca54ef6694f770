#include "app/window_place.h"
#include "gui/main_form.h"

#include <QGuiApplication>
#include <QScreen>

namespace telva {

namespace {

// The available areas of the screens, the primary one first.
QList<QRect> screenAreas() {
    QList<QRect> areas;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        areas.append(primary->availableGeometry());
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            areas.append(screen->availableGeometry());
    return areas;
}

// The window manager's title bar and border around the window.
QMargins decorationOf(const QWidget* window) {
    const QRect inside = window->geometry();
    const QRect outer = window->frameGeometry();
    return {inside.left() - outer.left(), inside.top() - outer.top(),
            outer.right() - inside.right(), outer.bottom() - inside.bottom()};
}

} // namespace

void TMainForm::placeWindow(bool centred) {
    // Left and Top are where the title bar begins; Width and Height the inside. Before the
    // window is shown its decoration is a guess, put right at the first activation.
    const QMargins decoration = isVisible() ? decorationOf(this) : kGuessedDecoration;
    const QSize inside = QSize(ctx_.settings.width, ctx_.settings.height).expandedTo(minimumSize());
    const QRect outer = fitWindowFrame(
        QRect(QPoint(ctx_.settings.left, ctx_.settings.top), inside.grownBy(decoration)),
        screenAreas(), centred);
    resize(outer.size().shrunkBy(decoration));
    move(outer.topLeft());
}

void TMainForm::keepWindowOnScreen() {
    const QRect outer = frameGeometry();
    const QRect fitted = fitWindowFrame(outer, screenAreas(), false);
    if (fitted == outer)
        return;
    resize(fitted.size().shrunkBy(decorationOf(this)));
    move(fitted.topLeft());
}

} // namespace telva
