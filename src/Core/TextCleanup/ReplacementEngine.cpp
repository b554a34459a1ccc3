#include "Core/TextCleanup/ReplacementEngine.h"

#include "Base/Regex.h"
#include "Base/Unicode.h"

#include <algorithm>
#include <vector>

namespace {

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// Case-insensitive, as a whole word: not preceded or followed by an ASCII letter or digit.
QString replaceAsciiPhrase(const QString &text, const QString &phrase, const QString &expansion)
{
    const QString pattern = QStringLiteral("(?<![A-Za-z0-9])") + Regex::escapedPattern(phrase)
        + QStringLiteral("(?![A-Za-z0-9])");
    const std::optional<Regex> regex = Regex::compile(pattern, RegexOption::CaseInsensitive);
    if (!regex) {
        return text;
    }
    return regex->replaceAll(text, Regex::escapedTemplate(expansion));
}

// Wherever the phrase occurs, also inside a longer word, in its exact case. The text is compared
// character by character in canonical decomposition, so a precomposed letter matches the same
// letter written with a combining mark, and the text outside the matches keeps its own form.
QString replaceLiteralPhrase(const QString &text, const QString &phrase, const QString &expansion)
{
    const QString wanted = Unicode::nfd(phrase);
    const QList<qsizetype> bounds = Unicode::graphemeBoundaries(text);
    const qsizetype count = bounds.size() - 1;
    std::vector<QString> characters;
    characters.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        characters.push_back(Unicode::nfd(text.mid(bounds[i], bounds[i + 1] - bounds[i])));
    }

    QString result;
    qsizetype copied = 0; // characters already in result
    qsizetype i = 0;
    while (i < count) {
        qsizetype matched = 0; // code units of `wanted` covered so far
        qsizetype j = i;
        while (j < count && matched < wanted.size()
               && QStringView(wanted).mid(matched).startsWith(characters[j])) {
            matched += characters[j].size();
            ++j;
        }
        if (matched == wanted.size() && j > i) {
            result += QStringView(text).mid(bounds[copied], bounds[i] - bounds[copied]);
            result += expansion;
            copied = j;
            i = j;
        } else {
            ++i;
        }
    }
    if (copied == 0) {
        return text;
    }
    result += QStringView(text).mid(bounds[copied]);
    return result;
}

} // namespace

namespace ReplacementEngine {

QString apply(const QString &text, const QList<Replacement> &rules)
{
    struct Pair
    {
        QString phrase;
        QString expansion;
        qsizetype length;
    };
    std::vector<Pair> pairs;
    for (const Replacement &rule : rules) {
        if (!rule.isEnabled) {
            continue;
        }
        const QString phrase = Unicode::trimmedBlanks(rule.phrase);
        if (phrase.isEmpty()) {
            continue;
        }
        pairs.push_back({phrase, rule.expansion, Unicode::graphemeCount(phrase)});
    }
    // Longer phrases first, so that "ai model" is expanded before "ai" could break it up.
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const Pair &a, const Pair &b) { return a.length > b.length; });

    QString result = text;
    for (const Pair &pair : pairs) {
        result = isAscii(pair.phrase) ? replaceAsciiPhrase(result, pair.phrase, pair.expansion)
                                      : replaceLiteralPhrase(result, pair.phrase, pair.expansion);
    }
    return result;
}

} // namespace ReplacementEngine
