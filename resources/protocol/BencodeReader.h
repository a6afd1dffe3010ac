#pragma once

#include <QByteArray>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVariant>

// A bencoded dictionary: byte-string keys in qstrcmp order, values held as qlonglong, QByteArray,
// QVariantList or Dictionary.
typedef QMap<QByteArray, QVariant> Dictionary;
Q_DECLARE_METATYPE(Dictionary)

// Reads one torrent file: the top-level dictionary and the byte span of its "info" value, whose
// SHA-1 is the resource hash. Lives for one file. A position at or past the end of the input reads
// as the byte 0, which matches no marker, so no step ever reads outside the input.
class BencodeReader
{
public:
    // Nesting of lists and dictionaries deeper than this fails: no real torrent comes near it, and
    // input such as "lllll…" must not exhaust the stack.
    static constexpr int maxDepth = 100;

    BencodeReader();

    // Reads the bytes, which must begin with a dictionary, into root().
    bool parse(const QByteArray &bytes);
    // The same reading step by step, with the same outcome, error text and info span, but builds
    // no values (root() stays empty): what deriving the hash needs, at a fraction of the cost.
    bool scan(const QByteArray &bytes);

    // The infoLength() bytes of the input from infoOffset() (fewer where the input ends first).
    QByteArray infoBytes() const;
    // SHA-1 of infoBytes() (20 bytes), taken in place.
    QByteArray infoDigest() const;
    QString errorString() const { return m_errorString; }
    const Dictionary &root() const { return m_root; }
    // Set by every "info" key read, at any depth, in reading order.
    int infoOffset() const { return m_infoOffset; }
    int infoLength() const { return m_infoLength; }

    // The meta-type id of Dictionary; registers it (and its QAssociativeIterable converter).
    static int dictionaryMetaTypeId();

private:
    // Each step returns false when its value does not start at pos; out may be null, then no
    // value is built.
    bool readDictionary(Dictionary *out);
    bool readList(QVariantList *out);
    bool readInteger(qlonglong *out);
    bool readString(QByteArray *out);

    // Try the four readers in order at pos; the first that succeeds supplies the value.
    bool readElement(QVariantList *list);
    bool readEntry(const QByteArray &key, Dictionary *dictionary);
    bool skipValue();

    bool read(const QByteArray &bytes, Dictionary *out);
    int availableInfoLength() const;
    bool enterNesting();
    bool keyIsInfo() const;
    char byteAt(int position) const
    {
        return position < m_input.size() ? m_input.constData()[position] : '\0';
    }
    void advance(qint64 count);
    void setUnexpectedCharacter();
    void setErrorAtIndex();

    Dictionary m_root;
    QString m_errorString;
    QByteArray m_input;
    int m_pos = 0;
    int m_infoOffset = 0;
    int m_infoLength = 0;
    // Where the bytes of the last string read start and how many there are.
    int m_stringOffset = 0;
    int m_stringLength = 0;
    int m_depth = 0;
    // Set when nesting went too deep; the failure then keeps its own message on the way up.
    bool m_tooDeep = false;
};
