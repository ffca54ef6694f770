#include "app/window_place.h"

#include <algorithm>

namespace telva {

QRect fitWindowFrame(QRect frame, const QList<QRect>& screens, bool centred) {
    if (screens.isEmpty())
        return frame;
    QRect room = screens.first();
    if (!centred) {
        qint64 bestArea = 0;
        for (const QRect& screen : screens) {
            const QRect common = screen.intersected(frame);
            const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
            if (area > bestArea) {
                bestArea = area;
                room = screen;
            }
        }
    }
    frame.setSize(frame.size().boundedTo(room.size()));
    if (centred)
        frame.moveCenter(room.center());
    // Left and top last: should the window still not fit, its title bar stays in reach.
    frame.moveLeft(std::max(room.left(), std::min(frame.left(), room.right() - frame.width() + 1)));
    frame.moveTop(std::max(room.top(), std::min(frame.top(), room.bottom() - frame.height() + 1)));
    return frame;
}

} // namespace telva
