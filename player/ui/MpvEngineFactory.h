#pragma once

class PlayerEngine;
class QWidget;

// The engine the program plays with: libmpv, its picture drawn in the play page. On a platform
// without a display (offscreen, minimal) it decodes without picture and sound.
class MpvEngineFactory
{
public:
    // Null when libmpv could not be set up.
    static PlayerEngine *create(QWidget *playPage);
};
