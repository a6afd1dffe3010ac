#pragma once

#include "resources/BTResourceFile.h"

#include <QList>
#include <QString>

// The order of a resource's video files as episodes: names compared naturally, runs of digits by
// their value, so that "第2集" comes before "第10集" and "E2" before "E10".
class EpisodeOrder
{
public:
    // Negative, 0 or positive, as for QString::compare; letters compare without case first.
    static int naturalCompare(const QString &a, const QString &b);
    static QList<BTResourceFile> sorted(QList<BTResourceFile> files);
    // The file step places (+1 next, -1 previous) from the one with that resource index in natural
    // order; false when there is none there or that file is not in the list.
    static bool neighbour(const QList<BTResourceFile> &files, quint32 resourceIndex, int step, BTResourceFile *found);
};
