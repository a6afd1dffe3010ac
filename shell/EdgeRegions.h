#pragma once

#include <QMap>
#include <QPoint>
#include <QRect>
#include <Qt>

// The nine cells of a frameless window that move or resize it, with a 5-pixel border.
// Codes are row digit and column digit: 11 top-left ... 22 centre ... 33 bottom-right.
class EdgeRegions
{
public:
    static constexpr int Border = 5;
    static constexpr int None = 0;

    explicit EdgeRegions(const QSize &windowSize);

    // The code of the first cell, in code order, that contains the point (window coordinates).
    int regionAt(const QPoint &point) const;
    static Qt::CursorShape cursorFor(int region);
    // The window edges that a press in the region drags; none for the centre and none.
    static Qt::Edges edgesOf(int region);
    // The geometry after dragging region by delta from start; unchanged for the centre and none.
    static QRect resized(const QRect &start, int region, const QPoint &delta);

private:
    QMap<int, QRect> m_cells;
};
