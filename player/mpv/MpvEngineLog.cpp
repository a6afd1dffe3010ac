#include "player/mpv/MpvEngineLog.h"

Q_LOGGING_CATEGORY(lcEngine, "pelorin.engine", QtInfoMsg)
