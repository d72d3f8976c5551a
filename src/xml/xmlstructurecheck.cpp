#include "xmlstructurecheck.h"

#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <optional>

namespace {

// Scans code units of type Char; markup characters are ASCII in every encoding the reader takes.
template<typename Char>
class StructureScan
{
public:
    StructureScan(const Char *begin, const Char *end, const std::function<bool()> &isAborted)
        : m_position(begin),
          m_end(end),
          m_isAborted(isAborted)
    { }

    bool isWithinLimits()
    {
        int tagsToAbortCheck = AbortCheckInterval;
        for (;;) {
            if (m_isAborted && --tagsToAbortCheck == 0) {
                tagsToAbortCheck = AbortCheckInterval;
                if (m_isAborted())
                    return false;
            }
            m_position = find(m_position, '<');
            if (m_position == m_end || ++m_position == m_end)
                return true;
            const Char first = *m_position;
            if (is(first, '!')) {
                if (skipPast("!--", "-->") || skipPast("![CDATA[", "]]>"))
                    continue;
                // A document type declaration, or markup that the reader fails on: the passes
                // stop at either, and nothing after it is read.
                return isShortDeclaration();
            }
            if (is(first, '?')) {
                m_position = findSequence(m_position + 1, "?>");
                continue;
            }
            if (!scanTag())
                return false;
            if (m_position == m_end)
                return true;
            if (is(first, '/')) {
                // An end tag without a start tag is an error the reader stops at.
                if (m_depth > 0)
                    m_declarationsInScope -= m_declarations[--m_depth];
            } else {
                if (m_declarationsInScope + m_tagDeclarations
                    > XmlStructureCheck::MaxNamespaceDeclarations)
                    return false;
                if (!is(m_position[-1], '/')) {
                    if (m_depth == XmlStructureCheck::MaxDepth)
                        return false;
                    m_declarations[m_depth++] = m_tagDeclarations;
                    m_declarationsInScope += m_tagDeclarations;
                }
            }
            ++m_position;
        }
    }

private:
    // Some tens of kilobytes of a feed between checks: the scan is far quicker than the passes.
    static constexpr int AbortCheckInterval = 1024;

    static bool is(Char unit, char ascii) { return unit == Char(uchar(ascii)); }

    // '>', '=' and the quotes, the units that matter inside a tag.
    static bool isTagSpecial(Char unit)
    {
        static constexpr auto table = [] {
            std::array<bool, 128> special {};
            special['>'] = special['='] = special['"'] = special['\''] = true;
            return special;
        }();
        return unit < 128 && table[unit];
    }

    const Char *find(const Char *from, const Char *to, char ascii) const
    {
        if constexpr (sizeof(Char) == 1) {
            const void *found = std::memchr(from, ascii, size_t(to - from));
            return found ? static_cast<const Char *>(found) : to;
        } else {
            return std::find(from, to, Char(uchar(ascii)));
        }
    }

    const Char *find(const Char *from, char ascii) const { return find(from, m_end, ascii); }

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

    static bool isSpace(Char unit)
    {
        return is(unit, ' ') || is(unit, '\t') || is(unit, '\n') || is(unit, '\r');
    }

    // Whether the attribute before this '=' is "xmlns" or "xmlns:" and a prefix.
    bool declaresNamespace(const Char *tagStart, const Char *equals) const
    {
        const Char *nameEnd = equals;
        while (nameEnd != tagStart && isSpace(nameEnd[-1]))
            --nameEnd;
        const Char *name = nameEnd;
        while (name != tagStart && !isSpace(name[-1]))
            --name;
        return startsWith(name, "xmlns") && (nameEnd - name == 5 || is(name[5], ':'));
    }

    // The reader reads a whole declaration before it reports its token, in time quadratic in
    // its attribute list declarations.
    bool isShortDeclaration() const
    {
        const Char *const limit = m_end - m_position > XmlStructureCheck::MaxDeclarationLength
                ? m_position + XmlStructureCheck::MaxDeclarationLength
                : m_end;
        bool inSubset = false;
        for (const Char *at = m_position; at != limit; ++at) {
            const Char unit = *at;
            if (is(unit, '"') || is(unit, '\'')) {
                at = find(at + 1, limit, char(unit));
                if (at == limit)
                    break;
            } else if (is(unit, '[')) {
                inSubset = true;
            } else if (is(unit, ']')) {
                inSubset = false;
            } else if (is(unit, '>') && !inSubset) {
                return true;
            }
        }
        return limit == m_end;
    }

    // From the unit after '<' to the closing '>', or to the end of a document cut short inside
    // the tag; a '>' inside a quoted value does not close the tag. False when the tag grows past
    // its limits.
    bool scanTag()
    {
        const Char *const start = m_position - 1;
        const Char *const limit = m_end - start > XmlStructureCheck::MaxTagLength
                ? start + XmlStructureCheck::MaxTagLength
                : m_end;
        int attributes = 0;
        m_tagDeclarations = 0;
        for (;;) {
            while (m_position != limit && !isTagSpecial(*m_position))
                ++m_position;
            if (m_position == limit)
                return limit == m_end;
            const Char unit = *m_position;
            if (is(unit, '>'))
                return true;
            if (is(unit, '=')) {
                if (++attributes > XmlStructureCheck::MaxAttributesPerElement)
                    return false;
                if (declaresNamespace(start, m_position))
                    ++m_tagDeclarations;
            } else {
                m_position = find(m_position + 1, limit, char(unit));
                if (m_position == limit)
                    return limit == m_end;
            }
            ++m_position;
        }
    }

    const Char *m_position;
    const Char *const m_end;
    const std::function<bool()> &m_isAborted;
    // The open elements' namespace declarations: the reader looks a prefix up through all of
    // them, for every element and prefixed attribute.
    std::array<int, XmlStructureCheck::MaxDepth> m_declarations;
    int m_depth = 0;
    int m_declarationsInScope = 0;
    int m_tagDeclarations = 0;
};

// The encoding named in the XML declaration at the start of text, or nothing.
template<typename View>
QByteArray declaredEncoding(View text)
{
    if (!text.startsWith(QLatin1String("<?xml")))
        return {};
    const qsizetype declarationEnd = text.indexOf(QLatin1String("?>"));
    if (declarationEnd < 0)
        return {};
    text = text.first(declarationEnd);
    qsizetype at = text.indexOf(QLatin1String("encoding"));
    if (at < 0)
        return {};
    at += 8;
    const auto skipSpaces = [&] {
        while (at < text.size() && QChar(text.at(at)).isSpace())
            ++at;
    };
    skipSpaces();
    if (at == text.size() || text.at(at) != QLatin1Char('='))
        return {};
    ++at;
    skipSpaces();
    if (at == text.size() || (text.at(at) != QLatin1Char('"') && text.at(at) != QLatin1Char('\'')))
        return {};
    const qsizetype close = text.indexOf(text.at(at), at + 1);
    return close < 0 ? QByteArray() : text.sliced(at + 1, close - at - 1).toString().toLatin1();
}

// The reader guesses the encoding from a byte order mark or the first '<', taking UTF-8
// otherwise, and then follows the XML declaration's encoding, any that the converter knows,
// decoding the whole buffer again. Nothing when that is an encoding whose markup characters are
// the ASCII bytes.
std::optional<QStringDecoder> readerDecoder(const QByteArray &data)
{
    const QStringConverter::Encoding guessed =
            QStringConverter::encodingForData(data, u'<').value_or(QStringConverter::Utf8);
    const QByteArrayView start = QByteArrayView(data).first(qMin(data.size(), qsizetype(256)));
    const QByteArray declared = guessed == QStringConverter::Utf8
            ? declaredEncoding(QLatin1String(start.data(), start.size()))
            : declaredEncoding(QStringView(QString(QStringDecoder(guessed)(start))));
    QStringConverter::Encoding encoding = guessed;
    if (!declared.isEmpty()) {
        if (const auto known = QStringConverter::encodingForName(declared.constData())) {
            encoding = *known;
        } else {
            QStringDecoder decoder(declared.constData());
            if (decoder.isValid())
                return decoder;
        }
    }
    if (encoding == QStringConverter::Utf8 || encoding == QStringConverter::Latin1
        || encoding == QStringConverter::System) {
        return std::nullopt;
    }
    return QStringDecoder(encoding);
}

} // namespace

bool XmlStructureCheck::isWithinLimits(const QByteArray &data,
                                       const std::function<bool()> &isAborted)
{
    std::optional<QStringDecoder> decoder = readerDecoder(data);
    if (!decoder) {
        const auto *begin = reinterpret_cast<const uchar *>(data.constData());
        return StructureScan<uchar>(begin, begin + data.size(), isAborted).isWithinLimits();
    }
    const QString text = (*decoder)(data);
    const auto *begin = reinterpret_cast<const char16_t *>(text.utf16());
    return StructureScan<char16_t>(begin, begin + text.size(), isAborted).isWithinLimits();
}
