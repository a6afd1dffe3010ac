#include "server/store/SharedKeys.h"

#include "server/store/Database.h"

#include <sodium.h>

namespace server {

namespace {
std::string randomHex()
{
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    char hex[65];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    sodium_memzero(bytes, sizeof bytes);
    return std::string(hex, 64);
}

bool fromHex(const std::string &hex, std::string *bytes)
{
    bytes->assign(hex.size() / 2, '\0');
    size_t written = 0;
    return hex.size() == 64
           && sodium_hex2bin(reinterpret_cast<unsigned char *>(&(*bytes)[0]), bytes->size(), hex.data(), hex.size(),
                             nullptr, &written, nullptr)
                  == 0
           && written == 32;
}
} // namespace

SharedKeys::SharedKeys(Database &database) : m_database(database) {}

bool SharedKeys::secret(const std::string &name, std::string *secret, std::string *error)
{
    Lease lease = m_database.lease();
    {
        // Several instances starting together: the first insert wins, every one reads it.
        Statement insert = lease.prepare(
            "INSERT INTO service_secrets (name, secret) VALUES (?1, ?2) ON CONFLICT (name) DO NOTHING");
        if (!insert.bind(1, name).bind(2, randomHex()).run()) {
            *error = "cannot write the service's secret: " + insert.error();
            return false;
        }
    }
    Statement select = lease.prepare("SELECT secret FROM service_secrets WHERE name = ?1");
    select.bind(1, name);
    if (!select.next() || !fromHex(select.text(0), secret)) {
        *error = "the database holds no usable secret " + name;
        return false;
    }
    return true;
}

bool SharedKeys::addKey(int64_t now, int64_t signsFrom, CodeKey *added)
{
    Lease lease = m_database.lease();
    Transaction transaction(lease);
    if (!transaction.begun())
        return false;
    int64_t id = 1;
    {
        Statement last = lease.prepare("SELECT COALESCE(MAX(id), 0) FROM code_keys");
        if (!last.next())
            return false;
        id = last.integer(0) + 1;
    }
    const std::string hex = randomHex();
    Statement insert = lease.prepare(
        "INSERT INTO code_keys (id, secret, created_at, signs_from) VALUES (?1, ?2, ?3, ?4)");
    if (!insert.bind(1, id).bind(2, hex).bind(3, now).bind(4, signsFrom).run() || !transaction.commit())
        return false;
    if (added) {
        added->id = id;
        fromHex(hex, &added->secret);
        added->createdAt = now;
        added->signsFrom = signsFrom;
    }
    return true;
}

bool SharedKeys::codeKeys(int64_t now, std::vector<CodeKey> *keys, std::string *error)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        keys->clear();
        {
            Lease lease = m_database.lease();
            Statement select = lease.prepare("SELECT id, secret, created_at, signs_from FROM code_keys ORDER BY id");
            while (select.next()) {
                CodeKey key;
                key.id = select.integer(0);
                key.createdAt = select.integer(2);
                key.signsFrom = select.integer(3);
                if (fromHex(select.text(1), &key.secret))
                    keys->push_back(key);
            }
            if (select.failed()) {
                *error = "cannot read the code keys: " + select.error();
                return false;
            }
        }
        if (!keys->empty())
            return true;
        // No code exists yet that an instance could not check: the first key signs at once.
        addKey(now, now, nullptr);
    }
    *error = "cannot make the first code key";
    return false;
}

bool SharedKeys::rotate(int64_t now, int64_t longestCodeSeconds, CodeKey *added, std::string *error)
{
    if (!addKey(now, now + kActivationSeconds, added)) {
        *error = "cannot add a code key";
        return false;
    }
    // A key is of no use once a newer one has signed for longer than any code lives.
    Lease lease = m_database.lease();
    Statement prune = lease.prepare(
        "DELETE FROM code_keys WHERE id < (SELECT MAX(id) FROM code_keys WHERE signs_from <= ?1)");
    prune.bind(1, now - longestCodeSeconds).run();
    return true;
}

} // namespace server
