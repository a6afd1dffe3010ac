#include "player/FormatDuration.h"

#include <QTime>

QString formatDuration(qint64 ms)
{
    const qint64 hours = ms / 3600000;
    const qint64 minutes = (ms - hours * 3600000) / 60000;
    const qint64 seconds = (ms - (ms / 60000) * 60000) / 1000;
    const QTime time{int(hours), int(minutes), int(seconds)};
    return time.isValid() ? time.toString(QStringLiteral("hh:mm:ss")) : QString();
}
