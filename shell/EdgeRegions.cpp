#include "shell/EdgeRegions.h"

EdgeRegions::EdgeRegions(const QSize &size)
{
    const int w = size.width();
    const int h = size.height();
    const int b = Border;
    m_cells.insert(11, QRect(0, 0, b, b));
    m_cells.insert(12, QRect(b, 0, w - 2 * b, b));
    m_cells.insert(13, QRect(w - b, 0, b, b));
    m_cells.insert(21, QRect(0, b, b, h - 2 * b));
    m_cells.insert(22, QRect(b, b, w - 2 * b, h - 2 * b));
    m_cells.insert(23, QRect(w - b, b, b, h - 2 * b));
    m_cells.insert(31, QRect(0, h - b, b, b));
    m_cells.insert(32, QRect(b, h - b, w - 2 * b, b));
    m_cells.insert(33, QRect(w - b, h - b, b, b));
}

int EdgeRegions::regionAt(const QPoint &point) const
{
    for (auto cell = m_cells.constBegin(); cell != m_cells.constEnd(); ++cell) {
        if (cell.value().contains(point))
            return cell.key();
    }
    return None;
}

Qt::CursorShape EdgeRegions::cursorFor(int region)
{
    switch (region) {
    case 11:
    case 33:
        return Qt::SizeFDiagCursor;
    case 13:
    case 31:
        return Qt::SizeBDiagCursor;
    case 12:
    case 32:
        return Qt::SizeVerCursor;
    case 21:
    case 23:
        return Qt::SizeHorCursor;
    default:
        return Qt::ArrowCursor;
    }
}

Qt::Edges EdgeRegions::edgesOf(int region)
{
    Qt::Edges edges;
    if (region == None || region == 22)
        return edges;
    const int row = region / 10, column = region % 10;
    if (row == 1)
        edges |= Qt::TopEdge;
    if (row == 3)
        edges |= Qt::BottomEdge;
    if (column == 1)
        edges |= Qt::LeftEdge;
    if (column == 3)
        edges |= Qt::RightEdge;
    return edges;
}

QRect EdgeRegions::resized(const QRect &start, int region, const QPoint &delta)
{
    const int x = start.x(), y = start.y(), w = start.width(), h = start.height();
    const int dx = delta.x(), dy = delta.y();
    switch (region) {
    case 11: return QRect(x + dx, y + dy, w - dx, h - dy);
    case 12: return QRect(x, y + dy, w, h - dy);
    case 13: return QRect(x, y + dy, w + dx, h - dy);
    case 21: return QRect(x + dx, y, w - dx, h);
    case 23: return QRect(x, y, w + dx, h);
    case 31: return QRect(x + dx, y, w - dx, h + dy);
    case 32: return QRect(x, y, w, h + dy);
    case 33: return QRect(x, y, w + dx, h + dy);
    default: return start;
    }
}
