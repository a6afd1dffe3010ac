#pragma once

#include <QString>

// "hh:mm:ss" of a play time in milliseconds; empty from 24 hours on (the text is a time of day).
QString formatDuration(qint64 ms);
