#include "player/RendererModule.h"

#include "player/RendererDiscovery.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
using CreateDiscovery = RendererDiscovery *(*)(QObject *);
const char kModuleName[] = "pelorin-cast.so";
} // namespace

RendererModule::RendererModule(QObject *parent)
    : QObject(parent)
{
    m_library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
}

RendererModule::~RendererModule()
{
    finishLoading();
    delete m_discovery; // before the module's code could go
}

QString RendererModule::filePath()
{
    const QString chosen = qEnvironmentVariable("PELORIN_CAST_MODULE");
    if (!chosen.isEmpty())
        return chosen;
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString beside = programDir + QLatin1Char('/') + QLatin1String(kModuleName);
    const QString installed = programDir + QStringLiteral("/../lib/pelorin/") + QLatin1String(kModuleName);
    return QFileInfo::exists(beside) || !QFileInfo::exists(installed) ? beside : installed;
}

void RendererModule::load()
{
    if (m_started)
        return;
    m_started = true;
    m_library.setFileName(filePath());
    m_loader = std::thread([this] {
        const bool loaded = m_library.load();
        QMetaObject::invokeMethod(
            this,
            [this, loaded] {
                finishLoading();
                const auto create = loaded
                    ? reinterpret_cast<CreateDiscovery>(m_library.resolve("pelorinCreateRendererDiscovery"))
                    : nullptr;
                m_discovery = create ? create(nullptr) : nullptr;
                if (!m_discovery) {
                    m_failed = true;
                    qWarning("%s", qPrintable(m_library.errorString()));
                    emit failed(m_library.errorString());
                    return;
                }
                emit ready(m_discovery);
            },
            Qt::QueuedConnection);
    });
}

void RendererModule::finishLoading()
{
    if (m_loader.joinable())
        m_loader.join();
}
