#include "Core/TextCleanup/DictionaryCasing.h"

#include "Base/Regex.h"
#include "Base/Unicode.h"

#include <algorithm>

namespace {

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

bool hasAsciiCapital(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() >= u'A' && c.unicode() <= u'Z'; });
}

} // namespace

namespace DictionaryCasing {

QString apply(const QString &text, const QStringList &terms)
{
    QString result = text;
    for (const QString &rawTerm : terms) {
        const QString term = Unicode::trimmedBlanks(rawTerm);
        if (term.isEmpty() || !isAscii(term) || !hasAsciiCapital(term)) {
            continue;
        }
        const QString pattern = QStringLiteral("(?<![A-Za-z0-9])") + Regex::escapedPattern(term)
            + QStringLiteral("(?![A-Za-z0-9])");
        const std::optional<Regex> regex = Regex::compile(pattern, RegexOption::CaseInsensitive);
        if (!regex) {
            continue;
        }
        result = regex->replaceAll(result, Regex::escapedTemplate(term));
    }
    return result;
}

} // namespace DictionaryCasing
