#pragma once

#include "server/access/AccessTokens.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace server {

class AccountStore;

// Whether the account a code was issued to still allows it, read from the database of the data
// directory (so every host on it agrees) and kept for a short while: a code ends within that
// while once its account is removed, changes its password or loses VIP.
class AccountStanding
{
public:
    AccountStanding(AccountStore &accounts, int64_t freshMs);

    // Codes made by an administrator (no account) are left alone; the others need their account
    // with the same code epoch, and VIP when the code was for a VIP line or the file is VIP-only.
    bool allows(const AccessTokens::Grant &grant, bool fileVipOnly, int64_t now, int64_t nowMs);
    // Reads the account again at its next code (it changed in this process).
    void forget(int64_t accountId);

private:
    struct Entry {
        bool exists = false;
        int64_t epoch = 0;
        bool permanentVip = false;
        bool vip = false;
        int64_t vipUntil = 0;
        int64_t readMs = 0;
    };

    AccountStore &m_accounts;
    const int64_t m_freshMs;
    std::mutex m_mutex;
    std::unordered_map<int64_t, Entry> m_entries;
};

} // namespace server
