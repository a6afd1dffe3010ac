#include "resources/protocol/BencodeReader.h"

#include "resources/protocol/Sha1.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Counts one level of list or dictionary nesting for as long as the reading step runs.
class DepthGuard
{
public:
    explicit DepthGuard(int &depth) : m_depth(depth) { ++m_depth; }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard &) = delete;
    DepthGuard &operator=(const DepthGuard &) = delete;

private:
    int &m_depth;
};

} // namespace

BencodeReader::BencodeReader()
{
    dictionaryMetaTypeId();
}

int BencodeReader::dictionaryMetaTypeId()
{
    // Registration also gives the map its converter to QAssociativeIterable.
    static const int id = qRegisterMetaType<Dictionary>("Dictionary");
    return id;
}

bool BencodeReader::parse(const QByteArray &bytes)
{
    return read(bytes, &m_root);
}

bool BencodeReader::scan(const QByteArray &bytes)
{
    return read(bytes, nullptr);
}

bool BencodeReader::read(const QByteArray &bytes, Dictionary *out)
{
    m_root.clear();
    m_errorString.clear();
    m_input.clear();
    m_pos = 0;
    m_infoOffset = 0;
    m_infoLength = 0;
    m_depth = 0;
    m_tooDeep = false;
    if (bytes.isEmpty()) {
        m_errorString = QStringLiteral("No content");
        return false;
    }
    m_input = bytes;
    return readDictionary(out);
}

int BencodeReader::availableInfoLength() const
{
    // A value that runs past the end leaves the span reaching beyond the input; clamp it.
    const int size = m_input.size();
    if (m_infoOffset < 0 || m_infoOffset >= size || m_infoLength <= 0)
        return 0;
    return std::min(m_infoLength, size - m_infoOffset);
}

QByteArray BencodeReader::infoBytes() const
{
    const int length = availableInfoLength();
    return length > 0 ? m_input.mid(m_infoOffset, length) : QByteArray();
}

QByteArray BencodeReader::infoDigest() const
{
    const int length = availableInfoLength();
    return Sha1::hash(length > 0 ? m_input.constData() + m_infoOffset : nullptr, length);
}

void BencodeReader::advance(qint64 count)
{
    // Positions past the end are allowed (they read as 0) but must never wrap around.
    m_pos = int(std::min<qint64>(qint64(m_pos) + count, INT_MAX));
}

bool BencodeReader::enterNesting()
{
    if (m_depth < maxDepth)
        return true;
    m_errorString = QStringLiteral("Nesting deeper than %1 levels at pos %2").arg(maxDepth).arg(m_pos);
    m_tooDeep = true;
    return false;
}

bool BencodeReader::keyIsInfo() const
{
    return m_stringLength == 4 && std::memcmp(m_input.constData() + m_stringOffset, "info", 4) == 0;
}

void BencodeReader::setUnexpectedCharacter()
{
    if (m_tooDeep)
        return;
    m_errorString = QStringLiteral("Unexpected character at pos %1: %2")
                        .arg(QString::number(m_pos), QString(QLatin1Char(byteAt(m_pos))));
}

void BencodeReader::setErrorAtIndex()
{
    if (m_tooDeep)
        return;
    m_errorString = QStringLiteral("error at index %1").arg(m_pos);
}

bool BencodeReader::readString(QByteArray *out)
{
    if (!isDigit(byteAt(m_pos)))
        return false;
    const int size = m_input.size();
    const char *data = m_input.constData();
    qint64 length = 0;
    while (m_pos < size && isDigit(data[m_pos])) {
        // Any length beyond the input reads alike; stop growing before the value could overflow.
        if (length <= INT_MAX)
            length = length * 10 + (data[m_pos] - '0');
        ++m_pos;
    }
    if (m_pos >= size) {
        if (out)
            out->clear();
        m_stringOffset = size;
        m_stringLength = 0;
        advance(length);
        return true;
    }
    if (data[m_pos] != ':') {
        setUnexpectedCharacter();
        return false;
    }
    ++m_pos;
    m_stringOffset = m_pos;
    m_stringLength = int(std::min<qint64>(length, size - m_pos));
    if (out)
        *out = m_input.mid(m_stringOffset, m_stringLength);
    advance(length);
    return true;
}

bool BencodeReader::readInteger(qlonglong *out)
{
    if (byteAt(m_pos) != 'i')
        return false;
    ++m_pos;
    const int size = m_input.size();
    const char *data = m_input.constData();
    // Unsigned, so that a value beyond 64 bits wraps around instead of overflowing.
    quint64 value = 0;
    bool negative = false;
    bool hasDigit = false;
    while (m_pos < size) {
        const char c = data[m_pos];
        if (isDigit(c)) {
            value = value * 10 + quint64(c - '0');
            hasDigit = true;
            ++m_pos;
        } else if (!hasDigit) {
            if (c != '-' || negative)
                return false;
            negative = true;
            ++m_pos;
        } else if (c == 'e') {
            ++m_pos;
            break;
        } else {
            setUnexpectedCharacter();
            return false;
        }
    }
    if (out)
        *out = qlonglong(negative ? quint64(0) - value : value);
    return true;
}

bool BencodeReader::readList(QVariantList *out)
{
    // Elements are appended to out, so a nested list lands flat in the list that holds it.
    if (byteAt(m_pos) != 'l' || !enterNesting())
        return false;
    DepthGuard guard(m_depth);
    ++m_pos;
    if (byteAt(m_pos) == 'e') {
        ++m_pos;
        return true;
    }
    for (;;) {
        if (!readElement(out)) {
            setErrorAtIndex();
            return false;
        }
        if (m_pos >= m_input.size())
            return true;
        if (m_input.constData()[m_pos] == 'e') {
            ++m_pos;
            return true;
        }
    }
}

bool BencodeReader::readDictionary(Dictionary *out)
{
    if (byteAt(m_pos) != 'd' || !enterNesting())
        return false;
    DepthGuard guard(m_depth);
    ++m_pos;
    Dictionary dictionary;
    Dictionary *entries = out ? &dictionary : nullptr;
    if (byteAt(m_pos) == 'e') {
        ++m_pos;
    } else {
        QByteArray key;
        // A key that does not read ends the dictionary where it stopped, with what was read.
        while (readString(out ? &key : nullptr)) {
            // Compared against the input itself so that the value-free pass finds the same keys.
            const bool isInfo = keyIsInfo();
            if (isInfo)
                m_infoOffset = m_pos;
            if (!readEntry(key, entries)) {
                setErrorAtIndex();
                return false;
            }
            if (isInfo)
                m_infoLength = m_pos - m_infoOffset;
            if (m_pos >= m_input.size())
                break;
            if (m_input.constData()[m_pos] == 'e') {
                ++m_pos;
                break;
            }
        }
    }
    if (out)
        out->swap(dictionary);
    return true;
}

bool BencodeReader::skipValue()
{
    // The readers in their order; each refuses a wrong first byte without moving pos, so checking
    // that byte first only saves the calls.
    return (byteAt(m_pos) == 'i' && readInteger(nullptr)) || (isDigit(byteAt(m_pos)) && readString(nullptr))
        || (byteAt(m_pos) == 'l' && readList(nullptr)) || (byteAt(m_pos) == 'd' && readDictionary(nullptr));
}

bool BencodeReader::readElement(QVariantList *list)
{
    if (!list)
        return skipValue();
    qlonglong integer = 0;
    if (readInteger(&integer)) {
        list->append(integer);
        return true;
    }
    QByteArray string;
    if (readString(&string)) {
        list->append(string);
        return true;
    }
    if (readList(list))
        return true;
    Dictionary dictionary;
    if (readDictionary(&dictionary)) {
        list->append(QVariant::fromValue(dictionary));
        return true;
    }
    return false;
}

bool BencodeReader::readEntry(const QByteArray &key, Dictionary *dictionary)
{
    if (!dictionary)
        return skipValue();
    // insert() replaces, so a key that occurs again keeps its later value.
    qlonglong integer = 0;
    if (readInteger(&integer)) {
        dictionary->insert(key, integer);
        return true;
    }
    QByteArray string;
    if (readString(&string)) {
        dictionary->insert(key, string);
        return true;
    }
    QVariantList list;
    if (readList(&list)) {
        dictionary->insert(key, list);
        return true;
    }
    Dictionary nested;
    if (readDictionary(&nested)) {
        dictionary->insert(key, QVariant::fromValue(nested));
        return true;
    }
    return false;
}
