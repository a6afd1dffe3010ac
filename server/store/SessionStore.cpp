#include "server/store/SessionStore.h"

#include "server/store/Database.h"

#include <sodium.h>

#include <cstring>

namespace server {

namespace {
std::string toHex(const unsigned char *bytes, size_t size)
{
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes, size);
    hex.resize(size * 2);
    return hex;
}

bool isLowerHex(const std::string &text)
{
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}
} // namespace

SessionStore::SessionStore(Database &database, const std::string &secret) : m_database(database)
{
    static const char context[] = "pelorin session id";
    crypto_generichash(m_key, sizeof m_key, reinterpret_cast<const unsigned char *>(context),
                       sizeof context - 1, reinterpret_cast<const unsigned char *>(secret.data()),
                       secret.size());
}

std::string SessionStore::mac(const std::string &randomHex) const
{
    unsigned char digest[crypto_auth_hmacsha256_BYTES];
    crypto_auth_hmacsha256(digest, reinterpret_cast<const unsigned char *>(randomHex.data()),
                           randomHex.size(), m_key);
    return toHex(digest, 16);
}

std::string SessionStore::newId() const
{
    unsigned char random[16];
    randombytes_buf(random, sizeof random);
    const std::string head = toHex(random, sizeof random);
    return head + mac(head);
}

bool SessionStore::isValid(const std::string &id) const
{
    if (id.size() != 64 || !isLowerHex(id))
        return false;
    const std::string expected = mac(id.substr(0, 32));
    return sodium_memcmp(expected.data(), id.data() + 32, 32) == 0;
}

std::string SessionStore::idFromCookieHeader(const std::string &header)
{
    const std::string wanted = std::string(cookieName()) + "=";
    size_t start = 0;
    while (start < header.size()) {
        size_t end = header.find(';', start);
        if (end == std::string::npos)
            end = header.size();
        size_t first = start;
        while (first < end && (header[first] == ' ' || header[first] == '\t'))
            ++first;
        if (header.compare(first, wanted.size(), wanted) == 0) {
            size_t last = end;
            while (last > first && (header[last - 1] == ' ' || header[last - 1] == '\t'))
                --last;
            return header.substr(first + wanted.size(), last - first - wanted.size());
        }
        start = end + 1;
    }
    return std::string();
}

std::string SessionStore::setCookieValue(const std::string &id)
{
    return std::string(cookieName()) + "=" + id + "; Path=/server/; HttpOnly; SameSite=Lax";
}

int64_t SessionStore::userOf(const std::string &id, int64_t now)
{
    int64_t userId = 0;
    int64_t lastSeen = 0;
    {
        Lease lease = m_database.lease();
        Statement select = lease.prepare(
            "SELECT user_id, last_seen FROM sessions WHERE id = ?1 AND user_id IS NOT NULL");
        select.bind(1, id);
        if (!select.next())
            return 0;
        userId = select.integer(0);
        lastSeen = select.integer(1);
    }
    return keepAlive(id, lastSeen, now) ? userId : 0;
}

bool SessionStore::keepAlive(const std::string &id, int64_t lastSeen, int64_t now)
{
    if (lastSeen < now - kIdleSeconds)
        return false;
    // Written at most once a minute, so that busy sessions do not turn reads into writes.
    if (lastSeen < now - 60) {
        Lease lease = m_database.lease();
        Statement touch = lease.prepare("UPDATE sessions SET last_seen = ?2 WHERE id = ?1");
        touch.bind(1, id).bind(2, now).run();
    }
    return true;
}

bool SessionStore::bindUser(const std::string &id, int64_t userId, int64_t now)
{
    Lease lease = m_database.lease();
    Statement upsert = lease.prepare(
        "INSERT INTO sessions (id, user_id, last_seen) VALUES (?1, ?2, ?3) "
        "ON CONFLICT(id) DO UPDATE SET user_id = excluded.user_id, last_seen = excluded.last_seen");
    return upsert.bind(1, id).bind(2, userId).bind(3, now).run();
}

bool SessionStore::unbind(const std::string &id)
{
    Lease lease = m_database.lease();
    Statement update = lease.prepare("UPDATE sessions SET user_id = NULL WHERE id = ?1");
    return update.bind(1, id).run();
}

bool SessionStore::unbindAllOf(int64_t userId)
{
    Lease lease = m_database.lease();
    Statement update = lease.prepare("UPDATE sessions SET user_id = NULL WHERE user_id = ?1");
    return update.bind(1, userId).run();
}

bool SessionStore::setCaptcha(const std::string &id, const std::string &text, int64_t expires,
                              int64_t now)
{
    Lease lease = m_database.lease();
    Statement upsert = lease.prepare(
        "INSERT INTO sessions (id, captcha, captcha_expires, last_seen) VALUES (?1, ?2, ?3, ?4) "
        "ON CONFLICT(id) DO UPDATE SET captcha = excluded.captcha, "
        "captcha_expires = excluded.captcha_expires, last_seen = excluded.last_seen");
    return upsert.bind(1, id).bind(2, text).bind(3, expires).bind(4, now).run();
}

std::string SessionStore::takeCaptcha(const std::string &id, int64_t now)
{
    Lease lease = m_database.lease();
    Transaction transaction(lease);
    if (!transaction.begun())
        return std::string();
    std::string text;
    int64_t expires = 0;
    {
        Statement select = lease.prepare(
            "SELECT captcha, captcha_expires FROM sessions WHERE id = ?1 AND captcha IS NOT NULL");
        select.bind(1, id);
        if (!select.next())
            return std::string();
        text = select.text(0);
        expires = select.integer(1);
    }
    Statement clear = lease.prepare(
        "UPDATE sessions SET captcha = NULL, captcha_expires = 0 WHERE id = ?1");
    if (!clear.bind(1, id).run() || !transaction.commit())
        return std::string();
    return expires >= now ? text : std::string();
}

std::string SessionStore::formToken(const std::string &id) const
{
    return mac("form:" + id);
}

int SessionStore::purgeExpired(int64_t now)
{
    Lease lease = m_database.lease();
    Statement remove = lease.prepare("DELETE FROM sessions WHERE last_seen < ?1");
    remove.bind(1, now - kIdleSeconds).run();
    int removed = lease.changes();
    // A session nobody logged in on holds at most a captcha, which is of no use once expired.
    Statement anonymous = lease.prepare(
        "DELETE FROM sessions WHERE user_id IS NULL AND (captcha IS NULL OR captcha_expires < ?1)");
    anonymous.bind(1, now).run();
    return removed + lease.changes();
}

} // namespace server
