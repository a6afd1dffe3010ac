#pragma once

#include "player/PlayPositionStore.h"

#include <QHash>
#include <QObject>
#include <QString>

class AccountSession;
class QTimer;
class ServiceClient;
class ServiceReply;

// Keeps the position store and the account's positions on the service in step while someone is
// logged in: every local change goes up (a write the service did not get stays pending in the
// store, on disk too, and is sent again later), and the account's list is fetched and merged at
// login and whenever a resource's file list arrives; per file the newer write wins. Logged out,
// nothing happens here. Never blocks: every exchange is asynchronous.
class AccountPositions : public QObject
{
    Q_OBJECT

public:
    // A write that failed is tried again after this long.
    static constexpr int RetryMs = 10000;

    AccountPositions(ServiceClient *client, AccountSession *session, PlayPositionStore *store,
                     QObject *parent = nullptr);

    void setRetryInterval(int ms);

    // Fetches the account's list and merges it, then sends what is pending (logged in only).
    void fetch();
    // Sends every pending entry not on its way already (logged in only).
    void flush();

    // The entries of a list reply; those that do not read as positions are left out.
    static QList<PlayPositionStore::Entry> entriesFromReply(const ServiceReply &reply);

signals:
    // A fetched list was merged; changed tells whether any local entry was replaced.
    void merged(bool changed);
    // Nothing is pending or on its way any more.
    void allSent();

private:
    void onLoginChanged(bool loggedIn);
    void send(const PlayPositionStore::Entry &entry);
    void sent(const PlayPositionStore::Entry &entry, const ServiceReply &reply);

    ServiceClient *m_client;
    AccountSession *m_session;
    PlayPositionStore *m_store;
    QTimer *m_retry;
    QHash<QString, qint64> m_inFlight; // "hash:index" -> the time sent
    int m_fetches = 0;                 // list requests on their way
};
