#pragma once

#include <QList>
#include <QRect>

// Where a window kept from an earlier run may go now: screens may have been unplugged or made
// smaller since, and a window restored off every screen could not be reached.
class WindowPlacement
{
public:
    // The kept rectangle moved (and if need be shrunk) into the screen area it overlaps most, or
    // into the first area (the primary screen's) when it overlaps none. Areas are the screens'
    // available geometries. Null when nothing was kept or there is no screen.
    static QRect clamp(const QRect &kept, const QList<QRect> &screenAreas);
};
