#pragma once

#include <cstdint>
#include <string>

namespace server {

class Database;

// Sessions as the player uses them: it keeps the cookie of the first reply that set one for its
// whole run, so every request without a valid cookie gets a new anonymous one, and log-in,
// captcha and log-out are bound to that server-side session. A session id is 16 random bytes plus
// a MAC over them, so a valid id needs no database row until something is bound to it, and ids
// cannot be made up by clients.
class SessionStore
{
public:
    // A log-in is forgotten after this long without a request of its session.
    static constexpr int64_t kIdleSeconds = 30 * 24 * 3600;

    SessionStore(Database &database, const std::string &secret);

    std::string newId() const;
    bool isValid(const std::string &id) const;
    // The session id in a Cookie header, or empty. The player sends back the whole Set-Cookie
    // value, attributes included, so everything after the first ";" is ignored as well.
    static std::string idFromCookieHeader(const std::string &header);
    static std::string setCookieValue(const std::string &id);
    static const char *cookieName() { return "pelorin_sid"; }

    // The account logged in on this session, or 0.
    int64_t userOf(const std::string &id, int64_t now);
    // Whether a session last used at `lastSeen` is still valid now; its use is noted.
    bool keepAlive(const std::string &id, int64_t lastSeen, int64_t now);
    bool bindUser(const std::string &id, int64_t userId, int64_t now);
    bool unbind(const std::string &id);
    bool unbindAllOf(int64_t userId);

    bool setCaptcha(const std::string &id, const std::string &text, int64_t expires, int64_t now);
    // The captcha of the session, removed in the same step (single use); empty when there is none
    // or it has expired.
    std::string takeCaptcha(const std::string &id, int64_t now);

    // A per-session token for the web pages' forms.
    std::string formToken(const std::string &id) const;

    // Log-ins idle too long, and sessions that only held a captcha that has expired.
    int purgeExpired(int64_t now);

private:
    std::string mac(const std::string &randomHex) const;

    Database &m_database;
    unsigned char m_key[32];
};

} // namespace server
