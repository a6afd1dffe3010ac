#pragma once

#include <functional>

class PlayerEngine;
class QWidget;

// Creates the media engine and puts its video surface into the play page.
using PlayerEngineFactory = std::function<PlayerEngine *(QWidget *playPage)>;
