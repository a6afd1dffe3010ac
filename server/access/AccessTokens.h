#pragma once

#include <cstdint>
#include <map>
#include <shared_mutex>
#include <string>
#include <vector>

namespace server {

// The tokens of address resolution, all keyed by the data directory's secret, so that every
// process on the same directory (the service and any number of video hosts) checks them without
// shared state:
//   file hash  a stable name for one file of a resource;
//   jxhash     binds a library file id to the file hash, index and size the player echoes back;
//   code       names a library file by id, expires, and is what a video host serves by;
//   cookie     the "name=value" the play address must be requested with, derived from the code.
//
// On a database that several instances share, codes are signed with the key ring kept there
// instead (the key's id is in the code), so that keys can be replaced while codes stay valid.
class AccessTokens
{
public:
    explicit AccessTokens(const std::string &secret);

    // Codes live at most this long (three windows of six hours).
    static constexpr int64_t kLongestCodeSeconds = 18 * 3600;

    struct RingKey {
        int64_t id = 0;
        std::string secret;
        int64_t signsFrom = 0;
    };
    // The ring to sign and check codes with; empty: the secret's own key (one instance).
    void setRing(const std::vector<RingKey> &keys);
    int64_t signingKeyId(int64_t now) const;

    std::string fileHash(const std::string &resourceHash, int fileIndex) const;

    std::string jxhash(int64_t fileId, int fileIndex, int64_t size, const std::string &fileHash) const;
    // The library file id, or 0 when the jxhash does not belong to these values.
    int64_t fileOfJxhash(const std::string &jxhash, int fileIndex, int64_t size,
                         const std::string &fileHash) const;

    struct Grant {
        int64_t fileId = 0;
        int64_t accountId = 0;
        int64_t expires = 0; // Unix seconds
        uint32_t nonce = 0;  // 31 random bits for codes that must differ from the window's
        // The account's code epoch when issued; a code of an older epoch is revoked.
        uint32_t epoch = 0;
        bool vipLine = false; // issued for a VIP line: needs VIP when used
    };
    std::string issueCode(const Grant &grant) const;
    enum class Check { Valid, Malformed, Forged, Expired };
    Check checkCode(const std::string &code, int64_t now, Grant *grant) const;

    static const char *cookieName() { return "pelorin_ftn"; }
    // "pelorin_ftn=<hex>"
    std::string cookieFor(const std::string &code) const;
    // Whether one of the pairs of a Cookie header is the code's cookie.
    bool cookieHeaderMatches(const std::string &header, const std::string &code) const;

private:
    struct CodeKeys {
        unsigned char code[32];
        unsigned char cookie[32];
        int64_t signsFrom = 0;
    };
    std::string mac(const unsigned char *key, const std::string &message, size_t bytes) const;
    // The cookie key of the code's key, or null when the code names no known key.
    bool cookieKeyOf(const std::string &code, unsigned char *key) const;

    unsigned char m_fileKey[32];
    unsigned char m_jxKey[32];
    unsigned char m_codeKey[32];
    unsigned char m_cookieKey[32];
    mutable std::shared_mutex m_ringMutex;
    std::map<int64_t, CodeKeys> m_ring;
};

} // namespace server
