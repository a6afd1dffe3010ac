#pragma once

#include <cstdint>
#include <string>

namespace server {

// The tokens of address resolution, all keyed by the data directory's secret, so that every
// process on the same directory (the service and any number of video hosts) checks them without
// shared state:
//   file hash  a stable name for one file of a resource;
//   jxhash     binds a library file id to the file hash, index and size the player echoes back;
//   code       names a library file by id, expires, and is what a video host serves by;
//   cookie     the "name=value" the play address must be requested with, derived from the code.
class AccessTokens
{
public:
    explicit AccessTokens(const std::string &secret);

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
    std::string mac(const unsigned char *key, const std::string &message, size_t bytes) const;

    unsigned char m_fileKey[32];
    unsigned char m_jxKey[32];
    unsigned char m_codeKey[32];
    unsigned char m_cookieKey[32];
};

} // namespace server
