#include "shell/WindowPlacement.h"

#include <QtGlobal>

QRect WindowPlacement::clamp(const QRect &kept, const QList<QRect> &screenAreas)
{
    if (!kept.isValid() || screenAreas.isEmpty())
        return QRect();
    QRect area = screenAreas.first();
    qint64 best = 0;
    for (const QRect &candidate : screenAreas) {
        const QRect overlap = candidate.intersected(kept);
        const qint64 size = overlap.isValid() ? qint64(overlap.width()) * overlap.height() : 0;
        if (size > best) {
            best = size;
            area = candidate;
        }
    }
    const int width = qMin(kept.width(), area.width());
    const int height = qMin(kept.height(), area.height());
    const int x = qBound(area.left(), kept.left(), area.right() + 1 - width);
    const int y = qBound(area.top(), kept.top(), area.bottom() + 1 - height);
    return QRect(x, y, width, height);
}
