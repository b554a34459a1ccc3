#include "Core/Learning/CorrectionMatcher.h"

#include "Base/Unicode.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

using Match = CorrectionMatcher::Match;

// Characters are compared as keys: a character of one scalar is keyed by that scalar, any other
// by a number above the scalar range given to its canonical composition. Canonically equivalent
// characters therefore share a key. One table serves all texts of one match.
class CharacterKeys
{
public:
    quint32 key(const QString &text, qsizetype from, qsizetype to)
    {
        const qsizetype length = to - from;
        if (length == 1 && !text[from].isSurrogate()) {
            return text[from].unicode();
        }
        if (length == 2 && text[from].isHighSurrogate() && text[from + 1].isLowSurrogate()) {
            return QChar::surrogateToUcs4(text[from], text[from + 1]);
        }
        const QString composed = Unicode::nfc(text.mid(from, length));
        const auto scalars = Unicode::scalars(composed);
        if (scalars.size() == 1) {
            return quint32(scalars[0]);
        }
        const auto it = m_interned.constFind(composed);
        if (it != m_interned.constEnd()) {
            return *it;
        }
        const quint32 next = 0x110000 + quint32(m_interned.size());
        m_interned.insert(composed, next);
        return next;
    }

private:
    QHash<QString, quint32> m_interned;
};

// A normalised text as an array of characters: their keys for comparing, and their bounds in the
// text for cutting windows.
struct Characters
{
    QString text;
    std::vector<quint32> keys;
    std::vector<qsizetype> bounds; // keys.size() + 1 code-unit offsets

    qsizetype size() const { return qsizetype(keys.size()); }
    QString slice(qsizetype from, qsizetype to) const
    {
        return text.mid(bounds[size_t(from)], bounds[size_t(to)] - bounds[size_t(from)]);
    }
};

// A contiguous run of a Characters array.
struct CharacterRun
{
    const Characters *characters;
    qsizetype from;
    qsizetype to;

    qsizetype size() const { return to - from; }
    quint32 operator[](qsizetype i) const { return characters->keys[size_t(from + i)]; }
    QString slice(qsizetype a, qsizetype b) const { return characters->slice(from + a, from + b); }
};

Characters normalize(const QString &input, CharacterKeys &keys)
{
    QString text = Unicode::nfc(input);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar(u'\r'), QChar(u'\n'));
    text.replace(QChar(u'\u2028'), QChar(u'\n'));
    text.replace(QChar(u'\u2029'), QChar(u'\n'));
    text.replace(QChar(u'\u00A0'), QChar(u' '));

    Characters characters;
    const QList<qsizetype> bounds = Unicode::graphemeBoundaries(text);
    characters.bounds.assign(bounds.begin(), bounds.end());
    characters.keys.reserve(characters.bounds.size());
    for (size_t i = 0; i + 1 < characters.bounds.size(); ++i) {
        characters.keys.push_back(keys.key(text, characters.bounds[i], characters.bounds[i + 1]));
    }
    characters.text = std::move(text);
    return characters;
}

bool contains(const std::vector<quint32> &searched, const std::vector<quint32> &sought)
{
    return std::search(searched.begin(), searched.end(), sought.begin(), sought.end())
        != searched.end();
}

struct FinalRow
{
    std::vector<int> finalRow;
    int dist = 0;
    qsizetype jEnd = 0;
};

// Edit distance of the whole pattern against any stretch of the text; two rows only.
FinalRow semiGlobalFinalRow(const std::vector<quint32> &pattern, const std::vector<quint32> &text)
{
    const size_t k = text.size();
    std::vector<int> previous(k + 1, 0);
    std::vector<int> current(k + 1, 0);
    for (size_t i = 1; i <= pattern.size(); ++i) {
        const quint32 p = pattern[i - 1];
        current[0] = int(i);
        for (size_t j = 1; j <= k; ++j) {
            const int substitution = previous[j - 1] + (p == text[j - 1] ? 0 : 1);
            const int patternLeftOut = previous[j] + 1;
            const int textLeftOut = current[j - 1] + 1;
            current[j] = std::min({substitution, patternLeftOut, textLeftOut});
        }
        std::swap(previous, current);
    }
    FinalRow result;
    result.dist = *std::min_element(previous.begin(), previous.end());
    // The last end position with the smallest distance.
    for (size_t j = k + 1; j-- > 0;) {
        if (previous[j] == result.dist) {
            result.jEnd = qsizetype(j);
            break;
        }
    }
    result.finalRow = std::move(previous);
    return result;
}

bool isPunctuationOnly(const CharacterRun &run, qsizetype from, qsizetype to)
{
    for (char32_t c : Unicode::scalars(run.slice(from, to))) {
        if (!Unicode::isPunctuation(c) && !Unicode::isWhitespaceOrNewline(c)) {
            return false;
        }
    }
    return true;
}

Match diffWindow(const CharacterRun &a, const CharacterRun &b)
{
    const qsizetype na = a.size();
    const qsizetype nb = b.size();
    qsizetype p = 0;
    while (p < na && p < nb && a[p] == b[p]) {
        ++p;
    }
    qsizetype s = 0;
    while (s < na - p && s < nb - p && a[na - 1 - s] == b[nb - 1 - s]) {
        ++s;
    }
    if (isPunctuationOnly(a, p, na - s) && isPunctuationOnly(b, p, nb - s)) {
        return Match::notFound();
    }
    const qsizetype start = std::max<qsizetype>(0, p - CorrectionMatcher::contextLength);
    const qsizetype originalEnd = std::min(na - s + CorrectionMatcher::contextLength, na);
    const qsizetype correctedEnd = std::min(nb - s + CorrectionMatcher::contextLength, nb);
    const qsizetype originalLength = originalEnd - start;
    const qsizetype correctedLength = correctedEnd - start;
    if (originalLength <= 0 || correctedLength <= 0
        || originalLength > CorrectionMatcher::maxOriginalWindow
        || correctedLength > CorrectionMatcher::maxCorrectedWindow) {
        return Match::notFound();
    }
    const QString original = a.slice(start, originalEnd);
    const QString corrected = b.slice(start, correctedEnd);
    // Windows of equal keys differ only in canonically equivalent spelling: no edit.
    bool sameKeys = originalLength == correctedLength;
    for (qsizetype i = 0; sameKeys && i < originalLength; ++i) {
        sameKeys = a[start + i] == b[start + i];
    }
    if (sameKeys) {
        return Match::notFound();
    }
    return Match::edited(original, corrected);
}

Match search(const Characters &inserted, const Characters &field)
{
    const std::vector<quint32> &I = inserted.keys;
    const std::vector<quint32> &F = field.keys;
    const qsizetype n = qsizetype(I.size());
    const qsizetype k = qsizetype(F.size());
    if (k == 0) {
        return Match::notFound();
    }
    if (contains(F, I)) {
        return Match::unchanged();
    }

    const FinalRow forward = semiGlobalFinalRow(I, F);
    const int c = forward.dist;
    const qsizetype b = forward.jEnd;

    const double allowed = std::ceil(double(n) * 0.3);
    if (allowed <= 1.0 ? c > 2 : double(c) > allowed) {
        return Match::notFound();
    }

    // A second place almost as close, and not overlapping the best one: inserted or edited twice.
    for (qsizetype i = 0; i <= k; ++i) {
        if (std::abs(i - b) > n && forward.finalRow[size_t(i)] <= c + 2) {
            return Match::notFound();
        }
    }

    // The start: the same alignment run backwards from the best end.
    const std::vector<quint32> reversedInserted(I.rbegin(), I.rend());
    const std::vector<quint32> reversedPrefix(F.rend() - b, F.rend());
    const FinalRow backward = semiGlobalFinalRow(reversedInserted, reversedPrefix);
    if (backward.dist != c) {
        return Match::notFound();
    }
    qsizetype spanLength = -1;
    for (qsizetype j = 0; j <= b; ++j) {
        if (backward.finalRow[size_t(j)] == c
            && (spanLength < 0 || std::abs(j - n) < std::abs(spanLength - n))) {
            spanLength = j;
        }
    }
    const CharacterRun span {&field, b - spanLength, b};

    const double ratio = double(spanLength) / double(n);
    if (ratio < 0.7 || ratio > 1.3) {
        return Match::notFound();
    }
    if (std::equal(I.begin(), I.end(), F.begin() + (b - spanLength), F.begin() + b)) {
        return Match::unchanged();
    }
    return diffWindow(CharacterRun {&inserted, 0, n}, span);
}

} // namespace

CorrectionMatcher::Match CorrectionMatcher::match(const QString &inserted,
                                                  const std::optional<QString> &fieldText,
                                                  const std::optional<QString> &fieldTextTail)
{
    CharacterKeys keys;
    const Characters pattern = normalize(inserted, keys);
    if (pattern.size() < minimumLength) {
        return Match::notFound();
    }
    if (fieldTextTail && !fieldTextTail->isEmpty()) {
        const Match result = search(pattern, normalize(*fieldTextTail, keys));
        if (result.kind != Match::Kind::notFound) {
            return result;
        }
    }
    if (fieldText && !fieldText->isEmpty()) {
        return search(pattern, normalize(*fieldText, keys));
    }
    return Match::notFound();
}
