#include "inireader.h"

#include <QList>
#include <QSet>

#include <algorithm>
#include <iterator>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

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

struct Line
{
    QByteArrayView text;
    qsizetype equals = -1; // within text; -1 when there is no '='
};

// The next logical line from pos on: a line break inside quotes or after a
// backslash does not end it, a semicolon that starts it makes it a comment
// (skipped), and one outside quotes ends it.
bool nextLine(QByteArrayView data, qsizetype &pos, Line *line)
{
    qsizetype start = pos;
    while (start < data.size() && isSpace(data.at(start)))
        ++start;
    bool inQuotes = false;
    qsizetype equals = -1;
    qsizetype i = start;
    while (i < data.size()) {
        const char c = data.at(i++);
        if (c == '=') {
            if (!inQuotes && equals < 0)
                equals = i - 1;
        } else if (c == '\n' || c == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (c == '\\') {
            if (i < data.size()) {
                const char escaped = data.at(i++);
                if (i < data.size()
                    && ((escaped == '\n' && data.at(i) == '\r')
                        || (escaped == '\r' && data.at(i) == '\n')))
                    ++i;
            }
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (c == ';') {
            if (i == start + 1) {
                while (i < data.size() && data.at(i) != '\n' && data.at(i) != '\r')
                    ++i;
                while (i < data.size() && isSpace(data.at(i)))
                    ++i;
                start = i;
            } else if (!inQuotes) {
                --i;
                break;
            }
        }
    }
    pos = i;
    line->text = data.sliced(start, i - start);
    line->equals = equals < 0 ? -1 : equals - start;
    return !line->text.isEmpty();
}

// A section or key name: a backslash stands for '/', "%XX" and "%UXXXX" for
// the character of that code.
QString unescapedKey(QByteArrayView key)
{
    const QString text = QString::fromUtf8(key);
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\')) {
            result += QLatin1Char('/');
            ++i;
            continue;
        }
        if (c == QLatin1Char('%') && i + 1 < text.size()) {
            const bool wide = text.at(i + 1) == QLatin1Char('U');
            const qsizetype digits = wide ? 4 : 2;
            const qsizetype first = i + 1 + (wide ? 1 : 0);
            bool ok = false;
            const ushort code =
                    first + digits <= text.size() ? text.mid(first, digits).toUShort(&ok, 16) : 0;
            if (ok) {
                result += QChar(code);
                i = first + digits;
                continue;
            }
        }
        result += c;
        ++i;
    }
    return result;
}

void chopTrailingBlanks(QString &text, qsizetype limit)
{
    while (text.size() > limit
           && (text.endsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char('\t'))))
        text.chop(1);
}

// A value's text: quotes, C escapes ("\t", "\x41", "\101") and a backslash
// before a line break; a comma outside quotes separates the items of a list.
QStringList unescapedValue(QByteArrayView text, bool *isList)
{
    static const char escapes[][2] = { { 'a', '\a' }, { 'b', '\b' },  { 'f', '\f' },
                                       { 'n', '\n' }, { 'r', '\r' },  { 't', '\t' },
                                       { 'v', '\v' }, { '"', '"' },   { '?', '?' },
                                       { '\'', '\'' }, { '\\', '\\' } };
    QStringList items;
    QString current;
    bool inQuotes = false;
    bool quoted = false;
    *isList = false;
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && (text.at(i) == ' ' || text.at(i) == '\t'))
            ++i;
    };
    skipBlanks();
    qsizetype chopLimit = 0;
    while (i < text.size()) {
        const char c = text.at(i);
        if (c == '\\') {
            if (++i >= text.size()) {
                chopLimit = current.size();
                break;
            }
            const char escaped = text.at(i++);
            const auto known = std::find_if(std::begin(escapes), std::end(escapes),
                                            [escaped](const char *e) { return e[0] == escaped; });
            if (known != std::end(escapes)) {
                current += QLatin1Char((*known)[1]);
                chopLimit = current.size();
            } else if ((escaped == 'x' && i < text.size() && hexValue(text.at(i)) >= 0)
                       || (escaped >= '0' && escaped <= '7')) {
                const int base = escaped == 'x' ? 16 : 8;
                char16_t code = escaped == 'x' ? 0 : char16_t(escaped - '0');
                for (int digit; i < text.size()
                     && (digit = hexValue(text.at(i))) >= 0 && digit < base;
                     ++i)
                    code = char16_t(code * base + digit);
                current += QChar(code);
                chopLimit = current.size();
            } else if (escaped == '\n' || escaped == '\r') {
                if (i < text.size() && (text.at(i) == '\n' || text.at(i) == '\r')
                    && text.at(i) != escaped)
                    ++i;
                chopLimit = current.size();
            } else {
                chopLimit = current.size();
            }
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipBlanks();
                chopLimit = current.size();
            }
        } else if (c == ',' && !inQuotes) {
            if (!quoted)
                chopTrailingBlanks(current, chopLimit);
            *isList = true;
            items.append(current);
            current.clear();
            quoted = false;
            ++i;
            skipBlanks();
            chopLimit = 0;
        } else {
            qsizetype end = i + 1;
            while (end < text.size() && text.at(end) != '\\' && text.at(end) != '"'
                   && text.at(end) != ',')
                ++end;
            current += QString::fromUtf8(text.sliced(i, end - i));
            i = end;
        }
    }
    if (!quoted)
        chopTrailingBlanks(current, chopLimit);
    items.append(current);
    return items;
}

// What QSettings reads from one item; false for an item it makes an object of.
bool plainItem(const QString &item, QString *value)
{
    if (!item.startsWith(QLatin1Char('@'))) {
        *value = item;
        return true;
    }
    if (item.endsWith(QLatin1Char(')'))) {
        if (item.startsWith(QLatin1String("@ByteArray("))) {
            *value = QString::fromUtf8(item.mid(11, item.size() - 12).toLatin1());
            return true;
        }
        for (const char *object : { "@Variant(", "@DateTime(", "@Rect(", "@Size(", "@Point(",
                                    "@Invalid(" }) {
            if (item.startsWith(QLatin1String(object)))
                return false;
        }
    }
    *value = item.startsWith(QLatin1String("@@")) ? item.mid(1) : item;
    return true;
}

} // namespace

QHash<QString, QString> IniReader::read(QByteArrayView text, const QStringList &keys,
                                        QStringList *objectKeys)
{
    if (text.startsWith("\xef\xbb\xbf"))
        text = text.sliced(3);
    // QSettings looks a key up in one section only: the last, in sorted
    // order, of those whose names do not sort after the key, if the key
    // begins with its name. Keys with a slash never come from [General].
    struct Entry
    {
        QString section;
        QString key;
        QByteArrayView value;
    };
    QList<Entry> entries;
    QSet<QString> sections;
    QString section;
    Line line;
    for (qsizetype pos = 0; nextLine(text, pos, &line);) {
        if (line.text.startsWith('[')) {
            qsizetype close = line.text.indexOf(']');
            if (close < 0)
                close = line.text.size();
            const QByteArrayView name = line.text.sliced(1, close - 1).trimmed();
            if (name.compare("general", Qt::CaseInsensitive) == 0)
                section.clear();
            else if (name.compare("%general", Qt::CaseInsensitive) == 0)
                section = QString::fromLatin1(name.sliced(1)) + QLatin1Char('/');
            else
                section = unescapedKey(name) + QLatin1Char('/');
            if (!section.isEmpty())
                sections.insert(section);
            continue;
        }
        if (line.equals < 0)
            continue;
        const QString key = section + unescapedKey(line.text.first(line.equals).trimmed());
        if (keys.contains(key))
            entries.append({ section, key, line.text.sliced(line.equals + 1) });
    }

    QHash<QString, QByteArrayView> raw;
    for (const QString &key : keys) {
        QString home;
        for (const QString &name : std::as_const(sections)) {
            if (name <= key && name > home)
                home = name;
        }
        if (home.isEmpty() || !key.startsWith(home))
            continue;
        for (const Entry &entry : std::as_const(entries)) {
            if (entry.key == key && entry.section == home)
                raw.insert(key, entry.value);
        }
    }

    QHash<QString, QString> values;
    for (const QString &key : keys) {
        const auto found = raw.constFind(key);
        if (found == raw.cend())
            continue;
        bool isList = false;
        const QStringList items = unescapedValue(found.value(), &isList);
        QString value;
        bool plain = true;
        for (const QString &item : items)
            plain = plainItem(item, &value) && plain;
        if (!plain) {
            objectKeys->append(key);
            continue;
        }
        // A list is no text.
        values.insert(key, isList ? QString() : value);
    }
    return values;
}
