#include "server/access/AccessTokens.h"

#include <sodium.h>

#include <cstring>
#include <vector>

namespace server {

namespace {
constexpr size_t kCodeMacBytes = 16;
constexpr size_t kCodePayloadBytes = 1 + 8 + 8 + 8 + 8;
constexpr unsigned char kCodeVersion = 1;

void deriveKey(const std::string &secret, const char *label, unsigned char *key)
{
    crypto_auth_hmacsha256(key, reinterpret_cast<const unsigned char *>(label), std::strlen(label),
                           reinterpret_cast<const unsigned char *>(secret.data()));
}

std::string toHex(const unsigned char *bytes, size_t size)
{
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(&hex[0], hex.size(), bytes, size);
    hex.resize(size * 2);
    return hex;
}

bool fromHex(const std::string &hex, std::vector<unsigned char> *bytes)
{
    if (hex.size() % 2 != 0)
        return false;
    for (char c : hex) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    bytes->resize(hex.size() / 2);
    size_t written = 0;
    return sodium_hex2bin(bytes->data(), bytes->size(), hex.data(), hex.size(), nullptr, &written, nullptr) == 0
           && written == bytes->size();
}

void putNumber(unsigned char *out, uint64_t value)
{
    for (int i = 7; i >= 0; --i) {
        out[i] = static_cast<unsigned char>(value & 0xFF);
        value >>= 8;
    }
}

uint64_t takeNumber(const unsigned char *in)
{
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = (value << 8) | in[i];
    return value;
}

bool equalInConstantTime(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}
} // namespace

AccessTokens::AccessTokens(const std::string &secret)
{
    // A short or empty secret would give keys anyone can compute; prepare() guarantees 32 bytes.
    std::string key = secret;
    key.resize(crypto_auth_hmacsha256_KEYBYTES, '\0');
    deriveKey(key, "pelorin file hash v1", m_fileKey);
    deriveKey(key, "pelorin jxhash v1", m_jxKey);
    deriveKey(key, "pelorin video code v1", m_codeKey);
    deriveKey(key, "pelorin video cookie v1", m_cookieKey);
    sodium_memzero(&key[0], key.size());
}

std::string AccessTokens::mac(const unsigned char *key, const std::string &message, size_t bytes) const
{
    unsigned char digest[crypto_auth_hmacsha256_BYTES];
    crypto_auth_hmacsha256(digest, reinterpret_cast<const unsigned char *>(message.data()),
                           message.size(), key);
    return std::string(reinterpret_cast<const char *>(digest), bytes);
}

std::string AccessTokens::fileHash(const std::string &resourceHash, int fileIndex) const
{
    const std::string digest = mac(m_fileKey, resourceHash + "/" + std::to_string(fileIndex), 20);
    return toHex(reinterpret_cast<const unsigned char *>(digest.data()), digest.size());
}

std::string AccessTokens::jxhash(int64_t fileId, int fileIndex, int64_t size, const std::string &fileHash) const
{
    unsigned char id[8];
    putNumber(id, uint64_t(fileId));
    const std::string message = std::to_string(fileId) + "/" + std::to_string(fileIndex) + "/"
                                + std::to_string(size) + "/" + fileHash;
    const std::string digest = mac(m_jxKey, message, 16);
    return toHex(id, 8) + toHex(reinterpret_cast<const unsigned char *>(digest.data()), digest.size());
}

int64_t AccessTokens::fileOfJxhash(const std::string &jxhash, int fileIndex, int64_t size,
                                   const std::string &fileHash) const
{
    std::vector<unsigned char> bytes;
    if (jxhash.size() != 48 || !fromHex(jxhash, &bytes))
        return 0;
    const auto fileId = int64_t(takeNumber(bytes.data()));
    if (fileId <= 0)
        return 0;
    return equalInConstantTime(jxhash, this->jxhash(fileId, fileIndex, size, fileHash)) ? fileId : 0;
}

std::string AccessTokens::issueCode(const Grant &grant) const
{
    unsigned char payload[kCodePayloadBytes];
    payload[0] = kCodeVersion;
    putNumber(payload + 1, uint64_t(grant.fileId));
    putNumber(payload + 9, uint64_t(grant.accountId));
    putNumber(payload + 17, uint64_t(grant.expires));
    putNumber(payload + 25, (uint64_t(grant.epoch) << 32) | (grant.vipLine ? 0x80000000u : 0u)
                                | (grant.nonce & 0x7FFFFFFFu));
    const std::string digest =
        mac(m_codeKey, std::string(reinterpret_cast<const char *>(payload), sizeof payload), kCodeMacBytes);
    return toHex(payload, sizeof payload) + toHex(reinterpret_cast<const unsigned char *>(digest.data()), digest.size());
}

AccessTokens::Check AccessTokens::checkCode(const std::string &code, int64_t now, Grant *grant) const
{
    std::vector<unsigned char> bytes;
    if (code.size() != 2 * (kCodePayloadBytes + kCodeMacBytes) || !fromHex(code, &bytes)
        || bytes[0] != kCodeVersion)
        return Check::Malformed;
    const std::string payload(reinterpret_cast<const char *>(bytes.data()), kCodePayloadBytes);
    const std::string received(reinterpret_cast<const char *>(bytes.data()) + kCodePayloadBytes, kCodeMacBytes);
    if (!equalInConstantTime(received, mac(m_codeKey, payload, kCodeMacBytes)))
        return Check::Forged;
    Grant read;
    read.fileId = int64_t(takeNumber(bytes.data() + 1));
    read.accountId = int64_t(takeNumber(bytes.data() + 9));
    read.expires = int64_t(takeNumber(bytes.data() + 17));
    const uint64_t tail = takeNumber(bytes.data() + 25);
    read.epoch = uint32_t(tail >> 32);
    read.vipLine = (tail & 0x80000000u) != 0;
    read.nonce = uint32_t(tail & 0x7FFFFFFFu);
    if (grant)
        *grant = read;
    return read.expires <= now ? Check::Expired : Check::Valid;
}

std::string AccessTokens::cookieFor(const std::string &code) const
{
    const std::string digest = mac(m_cookieKey, code, 16);
    return std::string(cookieName()) + "="
           + toHex(reinterpret_cast<const unsigned char *>(digest.data()), digest.size());
}

bool AccessTokens::cookieHeaderMatches(const std::string &header, const std::string &code) const
{
    const std::string expected = cookieFor(code);
    size_t start = 0;
    while (start <= header.size()) {
        size_t end = header.find(';', start);
        if (end == std::string::npos)
            end = header.size();
        size_t first = start;
        size_t last = end;
        while (first < last && (header[first] == ' ' || header[first] == '\t'))
            ++first;
        while (last > first && (header[last - 1] == ' ' || header[last - 1] == '\t'))
            --last;
        if (equalInConstantTime(header.substr(first, last - first), expected))
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace server
