#pragma once

#include <QString>

// One audio or subtitle track of the open media, as the file names it.
struct MediaTrack
{
    enum Kind { Audio, Subtitle };
    Kind kind = Audio;
    int id = 0;          // the engine's id, 1-based within its kind
    QString language;    // as tagged in the file ("chi", "eng"), may be empty
    QString title;       // as tagged in the file, may be empty
    bool selected = false;
    bool external = false; // loaded from a subtitle file, not part of the media
};
