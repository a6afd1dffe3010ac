#include "server/http/ConnectionBudget.h"

#include <algorithm>
#include <sys/resource.h>

namespace server {

ConnectionBudget::ConnectionBudget(int total, int perAddress)
    : m_total(std::max(1, total)), m_perAddress(std::max(1, perAddress))
{
}

ConnectionBudget::Admission ConnectionBudget::admit(const std::string &address)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_open >= m_total)
        return Admission::Full;
    int &count = m_byAddress[address];
    if (count >= m_perAddress)
        return Admission::AddressFull;
    ++count;
    ++m_open;
    return Admission::Admitted;
}

void ConnectionBudget::release(const std::string &address)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_byAddress.find(address);
    if (found == m_byAddress.end())
        return;
    if (--found->second <= 0)
        m_byAddress.erase(found);
    --m_open;
}

int ConnectionBudget::connectionsThatFit(int wanted, int reserve, long *descriptorLimit)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    const long descriptors = limit.rlim_cur == RLIM_INFINITY ? 1L << 20 : long(limit.rlim_cur);
    if (descriptorLimit)
        *descriptorLimit = descriptors;
    const long fit = std::max(1L, (descriptors - reserve) / 2);
    return int(std::min<long>(wanted, fit));
}

} // namespace server
