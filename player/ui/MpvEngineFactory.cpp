#include "player/ui/MpvEngineFactory.h"

#include "player/mpv/MpvPlayerEngine.h"
#include "player/ui/MpvVideoWidget.h"

#include <QGuiApplication>
#include <QVBoxLayout>

PlayerEngine *MpvEngineFactory::create(QWidget *playPage)
{
    const QString platform = QGuiApplication::platformName();
    const bool display = platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    auto *engine = new MpvPlayerEngine(display ? MpvPlayerEngine::Outputs(MpvPlayerEngine::VideoOutput
                                                                          | MpvPlayerEngine::AudioOutput)
                                               : MpvPlayerEngine::NoOutput,
                                       playPage);
    if (!engine->isValid()) {
        qWarning("%s", qPrintable(engine->errorString()));
        delete engine;
        return nullptr;
    }
    if (display) {
        auto *layout = new QVBoxLayout(playPage);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        auto *video = new MpvVideoWidget(engine, playPage);
        layout->addWidget(video);
        // Made after the page's overlays (notices, floating bars): the picture stays beneath them.
        video->lower();
    }
    return engine;
}
