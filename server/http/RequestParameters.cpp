#include "server/http/RequestParameters.h"

#include "service/protocol/RequestSigner.h"

#include <QString>
#include <QStringList>

#include <sodium.h>

namespace server {

namespace {
enum Decoding { Raw = 0, Percent = 1, Form = 2 };

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

std::string RequestParameters::percentDecode(const std::string &text, bool plusIsBlank)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(char(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(plusIsBlank && c == '+' ? ' ' : c);
    }
    return out;
}

RequestParameters RequestParameters::split(const std::string &text, int decoding)
{
    RequestParameters result;
    if (text.empty())
        return result;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string::npos)
            end = text.size();
        std::string element = text.substr(start, end - start);
        if (decoding != Raw)
            element = percentDecode(element, decoding == Form);
        Element parsed;
        const size_t equals = element.find('=');
        parsed.key = element.substr(0, equals);
        if (equals != std::string::npos)
            parsed.value = element.substr(equals + 1);
        parsed.text = std::move(element);
        result.m_elements.push_back(std::move(parsed));
        start = end + 1;
    }
    return result;
}

RequestParameters RequestParameters::fromQuery(const std::string &query)
{
    return split(query, Percent);
}

RequestParameters RequestParameters::fromBody(const std::string &body)
{
    return split(body, Raw);
}

RequestParameters RequestParameters::fromForm(const std::string &body)
{
    return split(body, Form);
}

bool RequestParameters::has(const std::string &key) const
{
    for (const Element &element : m_elements) {
        if (element.key == key)
            return true;
    }
    return false;
}

std::string RequestParameters::value(const std::string &key) const
{
    for (const Element &element : m_elements) {
        if (element.key == key)
            return element.value;
    }
    return std::string();
}

bool RequestParameters::isValidUtf8() const
{
    for (const Element &element : m_elements) {
        if (!server::isValidUtf8(element.text))
            return false;
    }
    return true;
}

bool RequestParameters::signatureMatches() const
{
    QStringList signedElements;
    std::string received;
    bool haveSign = false;
    for (const Element &element : m_elements) {
        if (element.key == "sign") {
            if (!haveSign)
                received = element.value;
            haveSign = true;
            continue;
        }
        signedElements.append(QString::fromStdString(element.text));
    }
    if (!haveSign)
        return false;
    const std::string expected = RequestSigner::sign(signedElements).toStdString();
    return received.size() == expected.size()
           && sodium_memcmp(received.data(), expected.data(), expected.size()) == 0;
}

void RequestParameters::append(const std::string &key, const std::string &value)
{
    m_elements.push_back({key + "=" + value, key, value});
}


} // namespace server
