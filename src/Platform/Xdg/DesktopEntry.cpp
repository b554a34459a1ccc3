#include "Platform/Xdg/DesktopEntry.h"

#include <QList>

namespace {

// The escapes of string values: \s \n \t \r \\.
QString unescaped(const QString &value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            result += c;
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case 's':
            result += QLatin1Char(' ');
            break;
        case 'n':
            result += QLatin1Char('\n');
            break;
        case 't':
            result += QLatin1Char('\t');
            break;
        case 'r':
            result += QLatin1Char('\r');
            break;
        default:
            result += next;
        }
    }
    return result;
}

bool isTrue(const QString &value)
{
    return value.trimmed() == QLatin1String("true");
}

} // namespace

std::optional<DesktopEntry> DesktopEntry::parse(const QByteArray &contents, const QString &id,
                                                const QString &filePath)
{
    DesktopEntry entry;
    entry.id = id;
    entry.filePath = filePath;
    bool inMainGroup = false;
    bool sawMainGroup = false;
    QString type;
    bool hidden = false;
    for (const QByteArray &rawLine : contents.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        if (!inMainGroup) {
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            continue;
        }
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Type")) {
            type = value;
        } else if (key == QLatin1String("Name")) {
            entry.name = unescaped(value);
        } else if (key.startsWith(QLatin1String("Name[")) && key.endsWith(QLatin1Char(']'))) {
            entry.localizedNames.insert(key.mid(5, key.size() - 6), unescaped(value));
        } else if (key == QLatin1String("StartupWMClass")) {
            entry.startupWMClass = unescaped(value);
        } else if (key == QLatin1String("NoDisplay")) {
            entry.noDisplay = isTrue(value);
        } else if (key == QLatin1String("Hidden")) {
            hidden = isTrue(value);
        }
    }
    if (!sawMainGroup || type != QLatin1String("Application") || entry.name.isEmpty() || hidden) {
        return std::nullopt;
    }
    return entry;
}

QString DesktopEntry::localizedName(const QString &locale) const
{
    // lang_COUNTRY.ENCODING@MODIFIER; the encoding plays no part in the lookup.
    QString rest = locale;
    QString modifier;
    if (const qsizetype at = rest.indexOf(QLatin1Char('@')); at >= 0) {
        modifier = rest.mid(at + 1);
        rest = rest.left(at);
    }
    if (const qsizetype dot = rest.indexOf(QLatin1Char('.')); dot >= 0) {
        rest = rest.left(dot);
    }
    QString lang = rest;
    QString country;
    if (const qsizetype underscore = rest.indexOf(QLatin1Char('_')); underscore >= 0) {
        lang = rest.left(underscore);
        country = rest.mid(underscore + 1);
    }
    QList<QString> candidates;
    if (!country.isEmpty() && !modifier.isEmpty()) {
        candidates << lang + QLatin1Char('_') + country + QLatin1Char('@') + modifier;
    }
    if (!country.isEmpty()) {
        candidates << lang + QLatin1Char('_') + country;
    }
    if (!modifier.isEmpty()) {
        candidates << lang + QLatin1Char('@') + modifier;
    }
    candidates << lang;
    for (const QString &candidate : std::as_const(candidates)) {
        if (!candidate.isEmpty()) {
            const auto found = localizedNames.constFind(candidate);
            if (found != localizedNames.constEnd() && !found->isEmpty()) {
                return *found;
            }
        }
    }
    return name;
}
