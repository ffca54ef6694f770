#pragma once

#include <QList>
#include <QMargins>
#include <QRect>

namespace telva {

// Where the main window goes: its outer rectangle (title bar and border included) kept
// wholly on one screen. screens are the screens' available areas, the primary one first.
// The screen is the one the rectangle overlaps most, the primary one when it overlaps none;
// a rectangle larger than that screen shrinks to it. centred puts it in the middle of the
// primary screen (a first start, before any place was stored).
QRect fitWindowFrame(QRect frame, const QList<QRect>& screens, bool centred);

// The window manager's decoration as a guess, for placing a window before it is shown and
// its real frame is known.
inline constexpr QMargins kGuessedDecoration(4, 28, 4, 4);

} // namespace telva
