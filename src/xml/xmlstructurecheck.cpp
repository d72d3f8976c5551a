#include "xmlstructurecheck.h"

#include <QRegularExpression>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

namespace {

// Scans code units of type Char; markup characters are ASCII in every encoding the reader takes.
template<typename Char>
class StructureScan
{
public:
    StructureScan(const Char *begin, const Char *end)
        : m_position(begin)
        , m_end(end)
    {
    }

    bool isWithinLimits()
    {
        int depth = 0;
        for (;;) {
            m_position = find(m_position, '<');
            if (m_position == m_end || ++m_position == m_end)
                return true;
            const Char first = *m_position;
            if (first == '!') {
                if (skipPast("!--", "-->") || skipPast("![CDATA[", "]]>"))
                    continue;
                // A document type declaration: no element can come before it, and the passes
                // stop at its token.
                return true;
            }
            if (first == '?') {
                m_position = findSequence(m_position + 1, "?>");
                continue;
            }
            int attributes = 0;
            if (!scanTag(attributes) || attributes > XmlStructureCheck::MaxAttributesPerElement)
                return false;
            if (m_position == m_end)
                return true;
            if (first == '/')
                --depth;
            else if (m_position[-1] != '/' && ++depth > XmlStructureCheck::MaxDepth)
                return false;
            ++m_position;
        }
    }

private:
    static bool is(Char unit, char ascii) { return unit == Char(uchar(ascii)); }

    const Char *find(const Char *from, char ascii) const
    {
        if constexpr (sizeof(Char) == 1) {
            const void *found = std::memchr(from, ascii, size_t(m_end - from));
            return found ? static_cast<const Char *>(found) : m_end;
        } else {
            return std::find(from, m_end, Char(uchar(ascii)));
        }
    }

    bool startsWith(const Char *at, const char *ascii) const
    {
        for (; *ascii; ++ascii, ++at) {
            if (at == m_end || !is(*at, *ascii))
                return false;
        }
        return true;
    }

    // The position after the sequence, or the end.
    const Char *findSequence(const Char *from, const char *ascii) const
    {
        for (;;) {
            from = find(from, ascii[0]);
            if (from == m_end)
                return m_end;
            if (startsWith(from, ascii))
                return from + std::strlen(ascii);
            ++from;
        }
    }

    bool skipPast(const char *opening, const char *closing)
    {
        if (!startsWith(m_position, opening))
            return false;
        m_position = findSequence(m_position + std::strlen(opening), closing);
        return true;
    }

    // From the unit after '<' to the closing '>', or to the end of a document cut short inside
    // the tag; a '>' inside a quoted value does not close the tag. False when the tag grows past
    // its limit.
    bool scanTag(int &attributes)
    {
        const Char *const start = m_position - 1;
        while (m_position != m_end) {
            if (m_position - start >= XmlStructureCheck::MaxTagLength)
                return false;
            const Char unit = *m_position;
            if (is(unit, '>'))
                return true;
            if (is(unit, '=')) {
                ++attributes;
            } else if (is(unit, '"') || is(unit, '\'')) {
                m_position = find(m_position + 1, char(unit));
                if (m_position == m_end)
                    break;
            }
            ++m_position;
        }
        return m_end - start <= XmlStructureCheck::MaxTagLength;
    }

    const Char *m_position;
    const Char *const m_end;
};

// The reader guesses the encoding from a byte order mark or the first '<', taking UTF-8
// otherwise, and then follows the XML declaration's encoding, decoding the whole buffer again.
QStringConverter::Encoding readerEncoding(const QByteArray &data)
{
    const QStringConverter::Encoding guessed =
        QStringConverter::encodingForData(data, u'<').value_or(QStringConverter::Utf8);
    static const QRegularExpression declaration(
        QStringLiteral(R"(^<\?xml\s[^>]*?\bencoding\s*=\s*(["'])([A-Za-z][A-Za-z0-9._-]*)\1)"));
    const QString start = QStringDecoder(guessed)(data.left(256));
    const QRegularExpressionMatch match = declaration.match(start);
    if (match.hasMatch()) {
        if (const auto declared = QStringConverter::encodingForName(match.captured(2).toLatin1().constData()))
            return *declared;
    }
    return guessed;
}

} // namespace

bool XmlStructureCheck::isWithinLimits(const QByteArray &data)
{
    const QStringConverter::Encoding encoding = readerEncoding(data);
    if (encoding == QStringConverter::Utf8 || encoding == QStringConverter::Latin1
        || encoding == QStringConverter::System) {
        const auto *begin = reinterpret_cast<const uchar *>(data.constData());
        return StructureScan<uchar>(begin, begin + data.size()).isWithinLimits();
    }
    const QString text = QStringDecoder(encoding)(data);
    const auto *begin = reinterpret_cast<const char16_t *>(text.utf16());
    return StructureScan<char16_t>(begin, begin + text.size()).isWithinLimits();
}
