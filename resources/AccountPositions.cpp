#include "resources/AccountPositions.h"

#include "account/AccountSession.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"
#include "service/ServiceReply.h"

#include <QLoggingCategory>
#include <QNetworkReply>
#include <QTimer>

namespace {
Q_LOGGING_CATEGORY(lcPositions, "pelorin.positions")

QString keyOf(const QString &hash, quint32 index)
{
    return hash + QLatin1Char(':') + QString::number(index);
}

bool isHash(const QString &hash)
{
    if (hash.size() != 40)
        return false;
    for (const QChar c : hash)
        if (!c.isDigit() && (c < QLatin1Char('a') || c > QLatin1Char('f')))
            return false;
    return true;
}
} // namespace

AccountPositions::AccountPositions(ServiceClient *client, AccountSession *session, PlayPositionStore *store,
                                   QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_session(session)
    , m_store(store)
    , m_retry(new QTimer(this))
{
    m_retry->setSingleShot(true);
    m_retry->setInterval(RetryMs);
    connect(m_retry, &QTimer::timeout, this, &AccountPositions::flush);
    connect(session, &AccountSession::loginChanged, this, &AccountPositions::onLoginChanged);
    // What is written to disk goes up too: at most every PlayPositionStore::SaveDelayMs while a
    // file plays, and at once when it stops.
    connect(store, &PlayPositionStore::saved, this, &AccountPositions::flush);
    m_store->setMarkPending(session->loggedIn());
}

void AccountPositions::setRetryInterval(int ms)
{
    m_retry->setInterval(ms);
}

void AccountPositions::onLoginChanged(bool loggedIn)
{
    m_store->setMarkPending(loggedIn);
    if (loggedIn)
        fetch();
    else
        m_retry->stop();
}

void AccountPositions::fetch()
{
    if (!m_session->loggedIn())
        return;
    QNetworkReply *reply = m_client->send(Endpoints::playPositions());
    if (!reply)
        return;
    ++m_fetches;
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        --m_fetches;
        const ServiceReply outcome = ServiceClient::decode(reply);
        if (!outcome.succeeded()) {
            qCInfo(lcPositions) << "the account's positions could not be read:" << outcome.failureText();
            return;
        }
        bool changed = false;
        for (const PlayPositionStore::Entry &entry : entriesFromReply(outcome))
            changed = m_store->merge(entry) || changed;
        if (changed)
            m_store->save();
        emit merged(changed);
        flush();
    });
}

QList<PlayPositionStore::Entry> AccountPositions::entriesFromReply(const ServiceReply &reply)
{
    QList<PlayPositionStore::Entry> entries;
    const QVariantList datas = reply.datas();
    for (const QVariant &element : datas) {
        const QVariantMap map = element.toMap();
        PlayPositionStore::Entry entry;
        entry.hash = map.value(QStringLiteral("hash")).toString().toLower();
        bool indexOk = false, positionOk = false, timeOk = false;
        const qint64 index = map.value(QStringLiteral("index")).toLongLong(&indexOk);
        const qint64 position = map.value(QStringLiteral("position")).toLongLong(&positionOk);
        entry.durationMs = int(qBound<qint64>(0, map.value(QStringLiteral("duration")).toLongLong(), INT_MAX));
        entry.time = map.value(QStringLiteral("time")).toLongLong(&timeOk);
        if (!isHash(entry.hash) || !indexOk || index < 0 || index > UINT_MAX || !positionOk || position < 0
            || position > INT_MAX || !timeOk || entry.time <= 0)
            continue;
        entry.index = quint32(index);
        entry.positionMs = int(position);
        entries.append(entry);
    }
    return entries;
}

void AccountPositions::flush()
{
    if (!m_session->loggedIn())
        return;
    const QList<PlayPositionStore::Entry> pending = m_store->pendingEntries();
    for (const PlayPositionStore::Entry &entry : pending) {
        const auto flying = m_inFlight.constFind(keyOf(entry.hash, entry.index));
        if (flying == m_inFlight.cend() || *flying != entry.time)
            send(entry);
    }
    if (pending.isEmpty() && m_inFlight.isEmpty())
        emit allSent();
}

void AccountPositions::send(const PlayPositionStore::Entry &entry)
{
    QNetworkReply *reply = m_client->send(
        Endpoints::playPositionSet(entry.hash, entry.index, entry.positionMs, entry.durationMs, entry.time));
    if (!reply)
        return;
    m_inFlight.insert(keyOf(entry.hash, entry.index), entry.time);
    connect(reply, &QNetworkReply::finished, this, [this, reply, entry] {
        reply->deleteLater();
        sent(entry, ServiceClient::decode(reply));
    });
}

void AccountPositions::sent(const PlayPositionStore::Entry &entry, const ServiceReply &reply)
{
    const QString key = keyOf(entry.hash, entry.index);
    if (m_inFlight.value(key) == entry.time)
        m_inFlight.remove(key);
    // Unreachable, or the login has lapsed on the service: tried again later. Anything else the
    // service refused would be refused again.
    const bool again = !reply.isEnvelope() || reply.statu() == -1;
    if (reply.succeeded() || !again) {
        if (!reply.succeeded())
            qCInfo(lcPositions) << "the service refused a position:" << reply.failureText();
        m_store->clearPending(entry.hash, entry.index, entry.time);
        m_store->save();
    } else if (!m_retry->isActive()) {
        qCInfo(lcPositions) << "a position waits to be sent:" << reply.failureText();
        m_retry->start();
    }
    if (m_inFlight.isEmpty() && m_store->pendingEntries().isEmpty())
        emit allSent();
}
