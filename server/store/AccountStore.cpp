#include "server/store/AccountStore.h"

#include "server/store/Database.h"
#include "server/Utf8Text.h"

#include <sodium.h>

#include <algorithm>
#include <thread>

namespace server {

namespace {
const char kSelectAccount[] =
    "SELECT id, email, password_hash, code_epoch, vip, "
    "permanent_vip, vip_until, union_uid, created_at FROM users ";

Account readAccount(const Statement &row)
{
    Account account;
    account.id = row.integer(0);
    account.email = row.text(1);
    account.passwordHash = row.text(2);
    account.codeEpoch = row.integer(3);
    account.vip = row.integer(4) != 0;
    account.permanentVip = row.integer(5) != 0;
    account.vipUntil = row.integer(6);
    account.unionUid = row.text(7);
    account.createdAt = row.integer(8);
    return account;
}

size_t codePoints(const std::string &text)
{
    return size_t(std::count_if(text.begin(), text.end(),
                                [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}
} // namespace

bool Account::isVip(int64_t now) const
{
    return permanentVip || (vip && (vipUntil == 0 || vipUntil > now));
}

int64_t Account::vipTime() const
{
    if (permanentVip || (vip && vipUntil == 0))
        return AccountStore::kNoEnd;
    return vipUntil;
}

class AccountStore::HashSlot
{
public:
    explicit HashSlot(AccountStore &store) : m_store(store)
    {
        std::unique_lock<std::mutex> lock(m_store.m_slotMutex);
        m_store.m_slotFree.wait(lock, [this] { return m_store.m_slotsInUse < m_store.m_slotLimit; });
        ++m_store.m_slotsInUse;
    }
    ~HashSlot()
    {
        {
            std::lock_guard<std::mutex> lock(m_store.m_slotMutex);
            --m_store.m_slotsInUse;
        }
        m_store.m_slotFree.notify_one();
    }

private:
    AccountStore &m_store;
};

AccountStore::AccountStore(Database &database) : m_database(database)
{
    m_slotLimit = int(std::max(1u, std::thread::hardware_concurrency()));
}

std::optional<Account> AccountStore::findByEmail(const std::string &email)
{
    static const std::string sql = std::string(kSelectAccount) + "WHERE email = ?1";
    Lease lease = m_database.lease();
    Statement select = lease.prepare(sql.c_str());
    select.bind(1, email);
    if (!select.next())
        return std::nullopt;
    return readAccount(select);
}

std::optional<Account> AccountStore::findById(int64_t id)
{
    static const std::string sql = std::string(kSelectAccount) + "WHERE id = ?1";
    Lease lease = m_database.lease();
    Statement select = lease.prepare(sql.c_str());
    select.bind(1, id);
    if (!select.next())
        return std::nullopt;
    return readAccount(select);
}

std::optional<Account> AccountStore::findBySession(const std::string &sessionId, int64_t *lastSeen)
{
    Lease lease = m_database.lease();
    Statement select = lease.prepare(
        "SELECT u.id, u.email, u.password_hash, u.code_epoch, u.vip, u.permanent_vip, u.vip_until, u.union_uid, "
        "u.created_at, s.last_seen FROM sessions s JOIN users u ON u.id = s.user_id WHERE s.id = ?1");
    select.bind(1, sessionId);
    if (!select.next())
        return std::nullopt;
    *lastSeen = select.integer(9);
    return readAccount(select);
}

std::vector<Account> AccountStore::all()
{
    static const std::string sql = std::string(kSelectAccount) + "ORDER BY id";
    Lease lease = m_database.lease();
    Statement select = lease.prepare(sql.c_str());
    std::vector<Account> accounts;
    while (select.next())
        accounts.push_back(readAccount(select));
    return accounts;
}

std::string AccountStore::hash(const std::string &password)
{
    HashSlot slot(*this);
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0)
        return std::string();
    return out;
}

bool AccountStore::needsRehash(const std::string &hash) const
{
    return crypto_pwhash_str_needs_rehash(hash.c_str(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE)
           != 0;
}

AccountStore::CreateResult AccountStore::create(const std::string &email,
                                                const std::string &password,
                                                const std::string &unionUid, int64_t now,
                                                int64_t *id)
{
    if (findByEmail(email))
        return CreateResult::Duplicate;
    const std::string passwordHash = hash(password);
    if (passwordHash.empty())
        return CreateResult::Failed;
    Lease lease = m_database.lease();
    Statement insert = lease.prepare(
        "INSERT INTO users (email, password_hash, union_uid, created_at) VALUES (?1, ?2, ?3, ?4) "
        "ON CONFLICT(email) DO NOTHING RETURNING id");
    insert.bind(1, email).bind(2, passwordHash).bind(3, unionUid).bind(4, now);
    // Two sign-ups racing for one e-mail: the second inserts nothing.
    if (!insert.next())
        return insert.failed() ? CreateResult::Failed : CreateResult::Duplicate;
    const int64_t created = insert.integer(0);
    // Stepped to its end, so that the row is committed before anyone is told it exists.
    if (!insert.run())
        return CreateResult::Failed;
    if (id)
        *id = created;
    return CreateResult::Created;
}

bool AccountStore::setPassword(int64_t id, const std::string &password)
{
    const std::string passwordHash = hash(password);
    if (passwordHash.empty())
        return false;
    Lease lease = m_database.lease();
    Transaction transaction(lease);
    Statement update = lease.prepare(
        "UPDATE users SET password_hash = ?2, code_epoch = code_epoch + 1 WHERE id = ?1");
    if (!update.bind(1, id).bind(2, passwordHash).run() || lease.changes() != 1)
        return false;
    Statement drop = lease.prepare("DELETE FROM pending_passwords WHERE user_id = ?1");
    return drop.bind(1, id).run() && transaction.commit();
}

bool AccountStore::remove(int64_t id)
{
    Lease lease = m_database.lease();
    Statement remove = lease.prepare("DELETE FROM users WHERE id = ?1");
    return remove.bind(1, id).run() && lease.changes() == 1;
}

bool AccountStore::rehashPassword(int64_t id, const std::string &password)
{
    const std::string passwordHash = hash(password);
    if (passwordHash.empty())
        return false;
    Lease lease = m_database.lease();
    Statement update = lease.prepare("UPDATE users SET password_hash = ?2 WHERE id = ?1");
    return update.bind(1, id).bind(2, passwordHash).run() && lease.changes() == 1;
}

AccountStore::PendingResult AccountStore::addPendingPassword(int64_t id, const std::string &password,
                                                             int64_t now, int64_t expires)
{
    const std::string passwordHash = hash(password);
    if (passwordHash.empty())
        return PendingResult::Failed;
    Lease lease = m_database.lease();
    Transaction transaction(lease);
    if (!transaction.begun())
        return PendingResult::Failed;
    Statement expired = lease.prepare("DELETE FROM pending_passwords WHERE user_id = ?1 AND expires < ?2");
    if (!expired.bind(1, id).bind(2, now).run())
        return PendingResult::Failed;
    Statement count = lease.prepare("SELECT COUNT(*) FROM pending_passwords WHERE user_id = ?1");
    count.bind(1, id);
    if (!count.next())
        return PendingResult::Failed;
    if (count.integer(0) >= kMaxPendingPasswords)
        return PendingResult::Full;
    Statement insert = lease.prepare(
        "INSERT INTO pending_passwords (user_id, password_hash, expires) VALUES (?1, ?2, ?3)");
    if (!insert.bind(1, id).bind(2, passwordHash).bind(3, expires).run() || !transaction.commit())
        return PendingResult::Failed;
    return PendingResult::Added;
}

bool AccountStore::promotePending(int64_t id, int64_t pendingId)
{
    Lease lease = m_database.lease();
    Transaction transaction(lease);
    Statement update = lease.prepare(
        "UPDATE users SET password_hash = (SELECT password_hash FROM pending_passwords WHERE id = ?2), "
        "code_epoch = code_epoch + 1 WHERE id = ?1 "
        "AND EXISTS (SELECT 1 FROM pending_passwords WHERE id = ?2 AND user_id = ?1)");
    if (!update.bind(1, id).bind(2, pendingId).run())
        return false;
    Statement drop = lease.prepare("DELETE FROM pending_passwords WHERE user_id = ?1");
    return drop.bind(1, id).run() && transaction.commit();
}

bool AccountStore::setVip(int64_t id, bool vip, bool permanentVip, int64_t vipUntil)
{
    const std::optional<Account> before = findById(id);
    if (!before)
        return false;
    Account after = *before;
    after.vip = vip;
    after.permanentVip = permanentVip;
    after.vipUntil = vipUntil;
    // When VIP ends: never (kNoEnd), at a date, or already (0).
    const auto endOf = [](const Account &account) -> int64_t {
        if (account.permanentVip || (account.vip && account.vipUntil == 0))
            return kNoEnd;
        return account.vip ? account.vipUntil : 0;
    };
    // Only a change that grants at least as much as before keeps the codes already issued.
    const bool less = (before->permanentVip && !permanentVip) || endOf(after) < endOf(*before);
    Lease lease = m_database.lease();
    Statement update = lease.prepare(
        "UPDATE users SET vip = ?2, permanent_vip = ?3, vip_until = ?4, code_epoch = code_epoch + ?5 WHERE id = ?1");
    return update.bind(1, id).bind(2, int64_t(vip)).bind(3, int64_t(permanentVip)).bind(4, vipUntil)
               .bind(5, int64_t(less ? 1 : 0)).run()
           && lease.changes() == 1;
}

AccountStore::Match AccountStore::verify(const std::optional<Account> &account,
                                         const std::string &password, int64_t now, int64_t *pendingId)
{
    HashSlot slot(*this);
    if (!account) {
        std::call_once(m_dummyOnce, [this] {
            char out[crypto_pwhash_STRBYTES];
            if (crypto_pwhash_str(out, "-", 1, crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                  crypto_pwhash_MEMLIMIT_INTERACTIVE)
                == 0)
                m_dummyHash = out;
        });
        // Only the time it takes matters here.
        if (!m_dummyHash.empty()
            && crypto_pwhash_str_verify(m_dummyHash.c_str(), password.data(), password.size()) == 0)
            return Match::None;
        return Match::None;
    }
    if (crypto_pwhash_str_verify(account->passwordHash.c_str(), password.data(), password.size()) == 0)
        return Match::Password;
    std::vector<std::pair<int64_t, std::string>> pending;
    {
        Lease lease = m_database.lease();
        Statement select = lease.prepare(
            "SELECT id, password_hash FROM pending_passwords WHERE user_id = ?1 AND expires >= ?2 "
            "ORDER BY id DESC LIMIT ?3");
        select.bind(1, account->id).bind(2, now).bind(3, int64_t(kMaxPendingPasswords));
        while (select.next())
            pending.emplace_back(select.integer(0), select.text(1));
    }
    for (const auto &candidate : pending) {
        if (crypto_pwhash_str_verify(candidate.second.c_str(), password.data(), password.size()) == 0) {
            if (pendingId)
                *pendingId = candidate.first;
            return Match::Pending;
        }
    }
    return Match::None;
}

bool AccountStore::isEmailShape(const std::string &email)
{
    if (email.size() < 3 || email.size() > 254 || !isValidUtf8(email))
        return false;
    const size_t at = email.find('@');
    if (at == 0 || at == std::string::npos || email.find('@', at + 1) != std::string::npos)
        return false;
    for (char c : email) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>'
            || c == ',' || c == ';' || c == '(' || c == ')' || c == '\\')
            return false;
    }
    const std::string domain = email.substr(at + 1);
    const size_t dot = domain.rfind('.');
    return dot != std::string::npos && dot > 0 && dot + 1 < domain.size()
           && domain.find("..") == std::string::npos && domain.front() != '.';
}

bool AccountStore::isAcceptablePassword(const std::string &password)
{
    const size_t length = codePoints(password);
    return isValidUtf8(password) && length >= 6 && length <= 64;
}

std::string AccountStore::randomPassword()
{
    // No look-alike letters, since the user types it from a mail.
    static const char alphabet[] = "abcdefghjkmnpqrstuvwxyzABCDEFGHJKMNPQRSTUVWXYZ23456789";
    std::string password;
    for (int i = 0; i < 10; ++i)
        password.push_back(alphabet[randombytes_uniform(sizeof alphabet - 1)]);
    return password;
}

} // namespace server
