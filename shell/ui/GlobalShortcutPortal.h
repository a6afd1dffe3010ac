#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

class QDBusObjectPath;

// One entry of the portal's BindShortcuts call: an id and its properties (description,
// preferred_trigger).
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(PortalShortcut)
QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut);
const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut);

// A key bound through the desktop's global-shortcuts portal (org.freedesktop.portal.GlobalShortcuts),
// the one way a Wayland client gets a key while another program has the focus. Everything is
// asynchronous: the desktop may first ask the user to confirm, or to choose another key.
class GlobalShortcutPortal : public QObject
{
    Q_OBJECT

public:
    // id names the shortcut to the desktop; trigger is in the portal's notation ("CTRL+d").
    GlobalShortcutPortal(const QString &id, const QString &description, const QString &trigger,
                         const QDBusConnection &bus, QObject *parent = nullptr);
    ~GlobalShortcutPortal() override;

    // Asks for a session and the binding; nothing happens without a portal that offers it.
    void start();
    bool isBound() const { return m_bound; }

    static void registerTypes();

signals:
    void bound();
    void activated();

private slots:
    void onSessionResponse(uint response, const QVariantMap &results);
    void onBindResponse(uint response, const QVariantMap &results);
    void onActivated(const QDBusObjectPath &session, const QString &shortcutId, qulonglong timestamp,
                     const QVariantMap &options);

private:
    // Calls a portal method whose answer comes as the Response signal of a request object; that
    // object's path is known in advance, so the signal is awaited before the call goes out.
    void request(const QString &method, QVariantList arguments, QVariantMap options, const char *responseSlot);

    QDBusConnection m_bus;
    QString m_id;
    QString m_description;
    QString m_trigger;
    QString m_session;
    QString m_pendingRequest;
    int m_requests = 0;
    bool m_bound = false;
};
