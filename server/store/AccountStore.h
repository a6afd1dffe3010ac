#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace server {

class Database;

struct Account
{
    int64_t id = 0;
    std::string email;
    std::string passwordHash;
    bool vip = false;          // VIP, until vipUntil when that is set
    bool permanentVip = false; // the tier that unlocks downloads and reloads
    int64_t vipUntil = 0;      // Unix seconds; 0: no end date
    std::string unionUid;
    int64_t createdAt = 0;
    // Raised whenever codes issued so far must stop working (password changed, VIP taken away).
    int64_t codeEpoch = 0;

    bool isVip(int64_t now) const;
    // What the log-in reply's viptime says: the end of VIP, a far date for VIP without end.
    int64_t vipTime() const;
};

// Accounts with Argon2id password hashes.
class AccountStore
{
public:
    static constexpr int64_t kNoEnd = 4102444799; // 2099-12-31 23:59:59 UTC

    explicit AccountStore(Database &database);

    std::optional<Account> findByEmail(const std::string &email);
    std::optional<Account> findById(int64_t id);
    // The account a session is logged in to, with the session's last use, in one query.
    std::optional<Account> findBySession(const std::string &sessionId, int64_t *lastSeen);
    std::vector<Account> all();

    enum class CreateResult { Created, Duplicate, Failed };
    CreateResult create(const std::string &email, const std::string &password,
                        const std::string &unionUid, int64_t now, int64_t *id = nullptr);
    // The account with its sessions, collections and mailed passwords; its codes stop working.
    bool remove(int64_t id);
    // A new password: mailed passwords are dropped and codes issued so far stop working.
    bool setPassword(int64_t id, const std::string &password);
    // The same password hashed with today's parameters.
    bool rehashPassword(int64_t id, const std::string &password);
    // At most this many mailed passwords wait at once; each is valid until it expires or one of
    // them is used, so asking for another one does not cancel those already mailed.
    static constexpr int kMaxPendingPasswords = 3;
    enum class PendingResult { Added, Full, Failed };
    PendingResult addPendingPassword(int64_t id, const std::string &password, int64_t now, int64_t expires);
    // Makes a mailed password the password (after a log-in with it).
    bool promotePending(int64_t id, int64_t pendingId);
    // Codes issued so far stop working unless VIP was only extended.
    bool setVip(int64_t id, bool vip, bool permanentVip, int64_t vipUntil);

    enum class Match { None, Password, Pending };
    // Checks a password against the stored hashes; runs a hash even for a missing account so
    // that timing does not tell which e-mails exist. *pendingId names the mailed password used.
    Match verify(const std::optional<Account> &account, const std::string &password, int64_t now,
                 int64_t *pendingId = nullptr);

    std::string hash(const std::string &password);
    bool needsRehash(const std::string &hash) const;

    static bool isEmailShape(const std::string &email);
    // Passwords: 6 to 64 characters, any letters.
    static bool isAcceptablePassword(const std::string &password);
    static std::string randomPassword();

private:
    // Each hash takes 64 MiB; only as many run at once as there are cores.
    class HashSlot;

    Database &m_database;
    std::mutex m_slotMutex;
    std::condition_variable m_slotFree;
    int m_slotsInUse = 0;
    int m_slotLimit;
    std::once_flag m_dummyOnce;
    std::string m_dummyHash;
};

} // namespace server
