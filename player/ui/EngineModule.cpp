#include "player/ui/EngineModule.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>
#include <QWindow>

namespace {
using CreateEngine = PlayerEngine *(*)(QWidget *);
const char kModuleName[] = "pelorin-engine.so";
} // namespace

EngineModule::EngineModule(QObject *parent)
    : QObject(parent)
{
    // Every symbol bound while the module opens: a module that does not fit the program fails
    // there, not at its first call.
    m_library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
}

EngineModule::~EngineModule()
{
    finishLoading();
}

QString EngineModule::filePath()
{
    const QString chosen = qEnvironmentVariable("PELORIN_ENGINE_MODULE");
    if (!chosen.isEmpty())
        return chosen;
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString beside = programDir + QLatin1Char('/') + QLatin1String(kModuleName);
    const QString installed = programDir + QStringLiteral("/../lib/pelorin/") + QLatin1String(kModuleName);
    return QFileInfo::exists(beside) || !QFileInfo::exists(installed) ? beside : installed;
}

QString EngineModule::failureText()
{
    return tr("加载播放引擎异常！");
}

void EngineModule::load()
{
    if (m_started)
        return;
    m_started = true;
    m_library.setFileName(filePath());
    m_loader = std::thread([this] {
        m_loaded = m_library.load();
        QMetaObject::invokeMethod(this, &EngineModule::loaded, Qt::QueuedConnection);
    });
}

void EngineModule::loadOnceShown(QWindow *window)
{
    if (window && !window->isExposed())
        window->installEventFilter(this);
    else
        load();
}

bool EngineModule::eventFilter(QObject *watched, QEvent *event)
{
    auto *window = qobject_cast<QWindow *>(watched);
    if (event->type() == QEvent::Expose && window && window->isExposed()) {
        window->removeEventFilter(this);
        // Queued: the window paints while this event is handled; the loading comes after.
        QTimer::singleShot(0, this, &EngineModule::load);
    }
    return false;
}

void EngineModule::finishLoading()
{
    if (m_loader.joinable())
        m_loader.join();
}

PlayerEngine *EngineModule::create(QWidget *playPage)
{
    load();
    finishLoading();
    if (!m_loaded) {
        qWarning("%s", qPrintable(m_library.errorString()));
        return nullptr;
    }
    const auto create = reinterpret_cast<CreateEngine>(m_library.resolve("pelorinCreateEngine"));
    return create ? create(playPage) : nullptr;
}
