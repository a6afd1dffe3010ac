#pragma once

#include "server/Utf8Text.h"

#include <string>
#include <utility>
#include <vector>

namespace server {

// The parameters of one request, split the way the player builds them: the query or body cut at
// "&", each element at its first "=". GET elements are percent-decoded (%XX only, "+" stays "+");
// POST elements are taken raw, because the player does not encode them.
class RequestParameters
{
public:
    struct Element {
        std::string text;  // the element as the signature covers it (decoded for GET)
        std::string key;
        std::string value;
    };

    static RequestParameters fromQuery(const std::string &query);
    static RequestParameters fromBody(const std::string &body);
    // Browser forms: "+" is a blank and %XX is decoded.
    static RequestParameters fromForm(const std::string &body);

    // %XX sequences decoded; anything else, "+" included, kept as it is.
    static std::string percentDecode(const std::string &text, bool plusIsBlank = false);

    bool has(const std::string &key) const;
    // The first element with this key; empty when there is none.
    std::string value(const std::string &key) const;
    const std::vector<Element> &elements() const { return m_elements; }

    // True when every key and value is valid UTF-8.
    bool isValidUtf8() const;

    // Recomputes the player's signature over every element except "sign" and compares it with the
    // received one in constant time.
    bool signatureMatches() const;

    void append(const std::string &key, const std::string &value);

private:
    static RequestParameters split(const std::string &text, int decoding);
    std::vector<Element> m_elements;
};

} // namespace server
