#pragma once

#include <QLoggingCategory>

// The engine's own log lines (decoder, video path): "pelorin.engine" on stderr.
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
