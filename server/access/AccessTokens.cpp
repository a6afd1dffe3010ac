#include "server/access/AccessTokens.h"

#include <sodium.h>

#include <climits>
#include <mutex>
#include <cstring>
#include <ctime>
#include <vector>

namespace server {

namespace {
constexpr size_t kCodeMacBytes = 16;
constexpr size_t kCodePayloadBytes = 1 + 8 + 8 + 8 + 8;
constexpr unsigned char kCodeVersion = 1;
// Codes of the key ring: the version, the key id (4 bytes), then what version 1 holds.
constexpr unsigned char kRingCodeVersion = 2;
constexpr size_t kRingCodePayloadBytes = kCodePayloadBytes + 4;

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

void AccessTokens::setRing(const std::vector<RingKey> &keys)
{
    std::map<int64_t, CodeKeys> ring;
    for (const RingKey &key : keys) {
        std::string secret = key.secret;
        secret.resize(crypto_auth_hmacsha256_KEYBYTES, '\0');
        CodeKeys &derived = ring[key.id];
        deriveKey(secret, "pelorin video code v2", derived.code);
        deriveKey(secret, "pelorin video cookie v2", derived.cookie);
        derived.signsFrom = key.signsFrom;
        sodium_memzero(&secret[0], secret.size());
    }
    std::unique_lock<std::shared_mutex> lock(m_ringMutex);
    m_ring.swap(ring);
}

int64_t AccessTokens::signingKeyId(int64_t now) const
{
    std::shared_lock<std::shared_mutex> lock(m_ringMutex);
    int64_t id = 0;
    int64_t newest = INT64_MIN;
    for (const auto &entry : m_ring) {
        if (entry.second.signsFrom <= now && entry.second.signsFrom >= newest) {
            newest = entry.second.signsFrom;
            id = entry.first;
        }
    }
    return id;
}

std::string AccessTokens::issueCode(const Grant &grant) const
{
    unsigned char payload[kRingCodePayloadBytes];
    const int64_t keyId = signingKeyId(int64_t(std::time(nullptr)));
    size_t at = 0;
    unsigned char codeKey[32];
    if (keyId > 0) {
        std::shared_lock<std::shared_mutex> lock(m_ringMutex);
        std::memcpy(codeKey, m_ring.at(keyId).code, sizeof codeKey);
        payload[0] = kRingCodeVersion;
        for (int i = 0; i < 4; ++i)
            payload[1 + i] = static_cast<unsigned char>(uint64_t(keyId) >> (24 - 8 * i));
        at = 5;
    } else {
        std::memcpy(codeKey, m_codeKey, sizeof codeKey);
        payload[0] = kCodeVersion;
        at = 1;
    }
    putNumber(payload + at, uint64_t(grant.fileId));
    putNumber(payload + at + 8, uint64_t(grant.accountId));
    putNumber(payload + at + 16, uint64_t(grant.expires));
    putNumber(payload + at + 24, (uint64_t(grant.epoch) << 32) | (grant.vipLine ? 0x80000000u : 0u)
                                     | (grant.nonce & 0x7FFFFFFFu));
    const size_t size = at + 32;
    const std::string digest = mac(codeKey, std::string(reinterpret_cast<const char *>(payload), size), kCodeMacBytes);
    sodium_memzero(codeKey, sizeof codeKey);
    return toHex(payload, size) + toHex(reinterpret_cast<const unsigned char *>(digest.data()), digest.size());
}

AccessTokens::Check AccessTokens::checkCode(const std::string &code, int64_t now, Grant *grant) const
{
    std::vector<unsigned char> bytes;
    if (!fromHex(code, &bytes) || bytes.empty())
        return Check::Malformed;
    unsigned char codeKey[32];
    size_t at = 0;
    if (bytes[0] == kCodeVersion && bytes.size() == kCodePayloadBytes + kCodeMacBytes) {
        std::memcpy(codeKey, m_codeKey, sizeof codeKey);
        at = 1;
    } else if (bytes[0] == kRingCodeVersion && bytes.size() == kRingCodePayloadBytes + kCodeMacBytes) {
        int64_t keyId = 0;
        for (int i = 0; i < 4; ++i)
            keyId = (keyId << 8) | bytes[size_t(1 + i)];
        std::shared_lock<std::shared_mutex> lock(m_ringMutex);
        const auto found = m_ring.find(keyId);
        if (found == m_ring.end())
            return Check::Forged;
        std::memcpy(codeKey, found->second.code, sizeof codeKey);
        at = 5;
    } else {
        return Check::Malformed;
    }
    const size_t size = at + 32;
    const std::string payload(reinterpret_cast<const char *>(bytes.data()), size);
    const std::string received(reinterpret_cast<const char *>(bytes.data()) + size, kCodeMacBytes);
    const bool genuine = equalInConstantTime(received, mac(codeKey, payload, kCodeMacBytes));
    sodium_memzero(codeKey, sizeof codeKey);
    if (!genuine)
        return Check::Forged;
    Grant read;
    read.fileId = int64_t(takeNumber(bytes.data() + at));
    read.accountId = int64_t(takeNumber(bytes.data() + at + 8));
    read.expires = int64_t(takeNumber(bytes.data() + at + 16));
    const uint64_t tail = takeNumber(bytes.data() + at + 24);
    read.epoch = uint32_t(tail >> 32);
    read.vipLine = (tail & 0x80000000u) != 0;
    read.nonce = uint32_t(tail & 0x7FFFFFFFu);
    if (grant)
        *grant = read;
    return read.expires <= now ? Check::Expired : Check::Valid;
}

bool AccessTokens::cookieKeyOf(const std::string &code, unsigned char *key) const
{
    if (code.rfind("02", 0) != 0 || code.size() < 10) {
        std::memcpy(key, m_cookieKey, 32);
        return true;
    }
    std::vector<unsigned char> id;
    if (!fromHex(code.substr(2, 8), &id))
        return false;
    const int64_t keyId = (int64_t(id[0]) << 24) | (int64_t(id[1]) << 16) | (int64_t(id[2]) << 8) | id[3];
    std::shared_lock<std::shared_mutex> lock(m_ringMutex);
    const auto found = m_ring.find(keyId);
    if (found == m_ring.end())
        return false;
    std::memcpy(key, found->second.cookie, 32);
    return true;
}

std::string AccessTokens::cookieFor(const std::string &code) const
{
    unsigned char key[32];
    if (!cookieKeyOf(code, key))
        return std::string(cookieName()) + "=";
    const std::string digest = mac(key, code, 16);
    sodium_memzero(key, sizeof key);
    return std::string(cookieName()) + "="
           + toHex(reinterpret_cast<const unsigned char *>(digest.data()), digest.size());
}

bool AccessTokens::cookieHeaderMatches(const std::string &header, const std::string &code) const
{
    const std::string expected = cookieFor(code);
    if (expected.back() == '=')
        return false; // a code of a key this instance does not hold
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
