#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace server {

class Database;

// Keys that every instance on a shared database must agree on, kept in it: the service's secret
// (session ids, file hashes, jxhash) and the key ring of access codes. A new code key signs only
// from `signs_from` on, after every instance has loaded it; older keys are accepted until the
// longest code signed with them has expired.
class SharedKeys
{
public:
    struct CodeKey {
        int64_t id = 0;
        std::string secret; // 32 bytes
        int64_t createdAt = 0;
        int64_t signsFrom = 0;
    };

    // Instances read the ring at least this often.
    static constexpr int64_t kReloadSeconds = 30;
    // A new key waits this long before it signs: every running instance has loaded it by then.
    static constexpr int64_t kActivationSeconds = 4 * kReloadSeconds;

    explicit SharedKeys(Database &database);

    // The named secret, made (32 random bytes) by the first instance that asks.
    bool secret(const std::string &name, std::string *secret, std::string *error);
    // The ring, oldest first; a first key (signing at once) when it is empty.
    bool codeKeys(int64_t now, std::vector<CodeKey> *keys, std::string *error);
    // Adds a key that signs from now + kActivationSeconds, and drops keys no code can need any more.
    bool rotate(int64_t now, int64_t longestCodeSeconds, CodeKey *added, std::string *error);

private:
    bool addKey(int64_t now, int64_t signsFrom, CodeKey *added);

    Database &m_database;
};

} // namespace server
