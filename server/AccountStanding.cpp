#include "server/AccountStanding.h"

#include "server/AccountStore.h"

namespace server {

namespace {
// Enough for every account that plays at once; beyond it the table starts over.
constexpr size_t kMaxEntries = 65536;
} // namespace

AccountStanding::AccountStanding(AccountStore &accounts) : m_accounts(accounts) {}

bool AccountStanding::allows(const AccessTokens::Grant &grant, bool fileVipOnly, int64_t now, int64_t nowMs)
{
    if (grant.accountId == 0)
        return true;
    Entry entry;
    bool fresh = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_entries.find(grant.accountId);
        if (found != m_entries.end() && nowMs - found->second.readMs < kFreshMs) {
            entry = found->second;
            fresh = true;
        }
    }
    if (!fresh) {
        const std::optional<Account> account = m_accounts.findById(grant.accountId);
        entry.exists = account.has_value();
        if (account) {
            entry.epoch = account->codeEpoch;
            entry.permanentVip = account->permanentVip;
            entry.vip = account->vip;
            entry.vipUntil = account->vipUntil;
        }
        entry.readMs = nowMs;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_entries.size() >= kMaxEntries)
            m_entries.clear();
        m_entries[grant.accountId] = entry;
    }
    if (!entry.exists || uint32_t(entry.epoch) != grant.epoch)
        return false;
    Account standing;
    standing.permanentVip = entry.permanentVip;
    standing.vip = entry.vip;
    standing.vipUntil = entry.vipUntil;
    return !(grant.vipLine || fileVipOnly) || standing.isVip(now);
}

} // namespace server
