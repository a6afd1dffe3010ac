#include "server/access/AccountStanding.h"

#include "server/store/AccountStore.h"

namespace server {

namespace {
// Enough for every account that plays at once; beyond it the table starts over.
constexpr size_t kMaxEntries = 65536;
constexpr int64_t kRecheckRefusalMs = 1000;
} // namespace

AccountStanding::AccountStanding(AccountStore &accounts, int64_t freshMs)
    : m_accounts(accounts), m_freshMs(freshMs)
{
}

void AccountStanding::forget(int64_t accountId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.erase(accountId);
}

bool AccountStanding::allows(const AccessTokens::Grant &grant, bool fileVipOnly, int64_t now, int64_t nowMs)
{
    if (grant.accountId == 0)
        return true;
    const auto decide = [&](const Entry &entry) {
        if (!entry.exists || uint32_t(entry.epoch) != grant.epoch)
            return false;
        Account standing;
        standing.permanentVip = entry.permanentVip;
        standing.vip = entry.vip;
        standing.vipUntil = entry.vipUntil;
        return !(grant.vipLine || fileVipOnly) || standing.isVip(now);
    };
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_entries.find(grant.accountId);
        if (found != m_entries.end() && nowMs - found->second.readMs < m_freshMs) {
            // A refusal is checked again once a second: the account may have been given VIP back.
            if (decide(found->second) || nowMs - found->second.readMs < kRecheckRefusalMs)
                return decide(found->second);
        }
    }
    Entry entry;
    const std::optional<Account> account = m_accounts.findById(grant.accountId);
    entry.exists = account.has_value();
    if (account) {
        entry.epoch = account->codeEpoch;
        entry.permanentVip = account->permanentVip;
        entry.vip = account->vip;
        entry.vipUntil = account->vipUntil;
    }
    entry.readMs = nowMs;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_entries.size() >= kMaxEntries)
            m_entries.clear();
        m_entries[grant.accountId] = entry;
    }
    return decide(entry);
}

} // namespace server
