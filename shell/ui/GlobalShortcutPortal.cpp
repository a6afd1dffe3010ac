#include "shell/ui/GlobalShortcutPortal.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>

namespace {
const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// Session handles come as object paths; some portals send them as strings.
QString pathText(const QVariant &value)
{
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}
} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

void GlobalShortcutPortal::registerTypes()
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

GlobalShortcutPortal::GlobalShortcutPortal(const QString &id, const QString &description, const QString &trigger,
                                           const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_id(id)
    , m_description(description)
    , m_trigger(trigger)
{
    registerTypes();
}

GlobalShortcutPortal::~GlobalShortcutPortal()
{
    // The session would end with our connection anyway; a long-lived shared bus outlives us.
    if (!m_session.isEmpty())
        m_bus.asyncCall(QDBusMessage::createMethodCall(kService, m_session, QStringLiteral("org.freedesktop.portal.Session"),
                                                       QStringLiteral("Close")));
}

void GlobalShortcutPortal::start()
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return;
    // Asked without waiting: a portal that must first be started takes its time.
    QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        if (call->isError())
            return; // no portal, or one without global shortcuts
        QVariantMap options;
        options.insert(QStringLiteral("session_handle_token"), QStringLiteral("pelorin%1").arg(++m_requests));
        request(QStringLiteral("CreateSession"), {}, options, SLOT(onSessionResponse(uint, QVariantMap)));
    });
}

void GlobalShortcutPortal::request(const QString &method, QVariantList arguments, QVariantMap options,
                                   const char *responseSlot)
{
    const QString token = QStringLiteral("pelorin%1").arg(++m_requests);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    if (!m_pendingRequest.isEmpty())
        m_bus.disconnect(kService, m_pendingRequest, kRequestInterface, QStringLiteral("Response"), this, nullptr);
    m_pendingRequest = kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    m_bus.connect(kService, m_pendingRequest, kRequestInterface, QStringLiteral("Response"), this, responseSlot);
    options.insert(QStringLiteral("handle_token"), token);
    arguments << options;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(arguments);
    m_bus.asyncCall(call);
}

void GlobalShortcutPortal::onSessionResponse(uint response, const QVariantMap &results)
{
    m_session = pathText(results.value(QStringLiteral("session_handle")));
    if (response != 0 || m_session.isEmpty())
        return; // refused or cancelled: no key then
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                  SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    PortalShortcut shortcut{m_id,
                            {{QStringLiteral("description"), m_description},
                             {QStringLiteral("preferred_trigger"), m_trigger}}};
    const QList<PortalShortcut> shortcuts{shortcut};
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString()}, {},
            SLOT(onBindResponse(uint, QVariantMap)));
}

void GlobalShortcutPortal::onBindResponse(uint response, const QVariantMap &)
{
    if (response != 0)
        return;
    m_bound = true;
    emit bound();
}

void GlobalShortcutPortal::onActivated(const QDBusObjectPath &session, const QString &shortcutId, qulonglong,
                                       const QVariantMap &)
{
    if (session.path() == m_session && shortcutId == m_id)
        emit activated();
}
