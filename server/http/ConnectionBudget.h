#pragma once

#include <mutex>
#include <string>
#include <unordered_map>

namespace server {

// Open client connections of one process, over every port it serves (service and video hosts):
// a cap that fits the descriptor limit and a cap per client address, so that one client cannot
// take the descriptors everyone else needs.
class ConnectionBudget
{
public:
    ConnectionBudget(int total, int perAddress);

    enum class Admission { Admitted, Full, AddressFull };
    Admission admit(const std::string &address);
    void release(const std::string &address);

    int total() const { return m_total; }
    int perAddress() const { return m_perAddress; }

    // Raises the soft descriptor limit to the hard one and returns how many connections fit in
    // it: each may hold a socket and an open file, and `reserve` descriptors stay for the rest.
    static int connectionsThatFit(int wanted, int reserve, long *descriptorLimit);

private:
    const int m_total;
    const int m_perAddress;
    std::mutex m_mutex;
    int m_open = 0;
    std::unordered_map<std::string, int> m_byAddress;
};

} // namespace server
