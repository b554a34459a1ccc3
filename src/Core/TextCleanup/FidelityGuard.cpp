#include "Core/TextCleanup/FidelityGuard.h"

#include "Base/Regex.h"
#include "Base/Unicode.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// The characters a faithful polish may insert or remove.
bool isFormatting(char32_t c)
{
    // Built once from "、。!?!?・:():;()「」『』【】\n\r \t -–—*•"; its duplicates collapse to
    // these 24.
    static const std::array<char32_t, 24> set = [] {
        std::array<char32_t, 24> s = {
            U'\u3001', U'\u3002', U'\u30FB', U'!',      U'?',      U':',      U'(',      U')',
            U';',      U'\u300C', U'\u300D', U'\u300E', U'\u300F', U'\u3010', U'\u3011', U'\n',
            U'\r',     U' ',      U'\t',     U'-',      U'\u2013', U'\u2014', U'*',      U'\u2022',
        };
        std::sort(s.begin(), s.end());
        return s;
    }();
    return std::binary_search(set.begin(), set.end(), c);
}

enum class TokenClass { none, digit, latin, katakana };

struct Unit
{
    const char16_t *symbol;
    std::vector<const char16_t *> spellings;
};

const std::vector<Unit> &units()
{
    static const std::vector<Unit> table = {
        {u"KB", {u"キロバイト", u"kilobyte", u"kilooctet", u"kilobajt", u"kilobayt"}},
        {u"MB",
         {u"メガバイト", u"megabyte", u"megaoctet", u"m\u00E9gaoctet", u"megabajt", u"megabayt"}},
        {u"GB", {u"ギガバイト", u"gigabyte", u"gigaoctet", u"gigabajt", u"gigabayt"}},
        {u"TB",
         {u"テラバイト", u"terabyte", u"teraoctet", u"t\u00E9raoctet", u"terabajt", u"terabayt"}},
        {u"%",
         {u"パーセント", u"percent", u"prozent", u"procent", u"pourcent", u"percento",
          u"porcentaje", u"porcento"}},
        {u"ms",
         {u"ミリセカンド", u"millisecond", u"milliseconde", u"millisekunde", u"milisegundo",
          u"millisecondo", u"milisekund", u"milisaniye"}},
    };
    return table;
}

// The LCS table of a against b from the ends backwards, then one walk from the start that lets
// only formatting scalars go unmatched. Cell is any unsigned type that holds min(n, m).
template<typename Cell>
bool faithfulWalk(const std::u32string &a, const std::u32string &b)
{
    const size_t n = a.size();
    const size_t m = b.size();
    const size_t width = m + 1;
    // Only row n and column m need their zeros; every other cell is written before it is read.
    std::unique_ptr<Cell[]> table(new Cell[(n + 1) * width]);
    std::fill_n(&table[n * width], width, Cell(0));
    for (size_t i = n; i-- > 0;) {
        Cell *row = &table[i * width];
        const Cell *below = row + width;
        const char32_t ai = a[i];
        row[m] = 0;
        // L[i][j] = L[i+1][j+1] + 1 on a match, else max(L[i+1][j], L[i][j+1]). A match's value is
        // never below L[i][j+1] either, so the row is a running maximum from the right of
        // (match ? L[i+1][j+1] + 1 : L[i+1][j]), which keeps the loop free of branches on the
        // carried value.
        Cell running = 0;
        for (size_t j = m; j-- > 0;) {
            const Cell candidate = ai == b[j] ? Cell(below[j + 1] + 1) : below[j];
            running = std::max(running, candidate);
            row[j] = running;
        }
    }
    auto at = [&](size_t i, size_t j) {
        return table[i * width + j];
    };

    size_t i = 0;
    size_t j = 0;
    while (i < n && j < m) {
        if (a[i] == b[j]) {
            ++i;
            ++j;
        } else if (at(i + 1, j) >= at(i, j + 1)) {
            // Ties drop from the original.
            if (!isFormatting(a[i])) {
                return false;
            }
            ++i;
        } else {
            if (!isFormatting(b[j])) {
                return false;
            }
            ++j;
        }
    }
    return std::all_of(a.begin() + qsizetype(i), a.end(), isFormatting)
        && std::all_of(b.begin() + qsizetype(j), b.end(), isFormatting);
}

} // namespace

CleanupVerdict FidelityGuard::verify(const QString &original, const QString &polished,
                                     EditContract contract)
{
    if (Unicode::trimmedWhitespaceAndNewlines(polished).isEmpty()) {
        return CleanupVerdict::reject(QStringLiteral("空出力"));
    }

    const qsizetype o = Unicode::graphemeCount(original);
    const qsizetype p = Unicode::graphemeCount(polished);
    if (p > std::max<qsizetype>(40, 3 * o)) {
        return CleanupVerdict::reject(QStringLiteral("異常な伸長 %1→%2ch").arg(o).arg(p));
    }

    if (const auto anchor = lostOpaqueAnchor(original, polished)) {
        if (anchor->isEmpty()) {
            return CleanupVerdict::reject(QStringLiteral("識別子の照合打ち切り"));
        }
        return CleanupVerdict::reject(QStringLiteral("識別子の欠落: ") + *anchor);
    }

    const QStringList missing = missingKeyTokens(original, polished);
    if (missing.isEmpty()) {
        return CleanupVerdict::accept();
    }
    const QString list = missing.join(QLatin1Char(','));
    switch (contract) {
    case EditContract::faithful:
        return CleanupVerdict::reject(QStringLiteral("キー情報の欠落: ") + list);
    case EditContract::polish:
        return CleanupVerdict::warn(QStringLiteral("消えた語: ") + list);
    }
    return CleanupVerdict::reject(QStringLiteral("キー情報の欠落: ") + list);
}

bool FidelityGuard::isFaithful(const QString &original, const QString &polished)
{
    const std::u32string a = Unicode::scalars(original);
    const std::u32string b = Unicode::scalars(polished);
    if (b.empty()) {
        return false;
    }
    const qint64 cells = (qint64(a.size()) + 1) * (qint64(b.size()) + 1);
    if (cells > maxFaithfulCells) {
        return false;
    }
    // An LCS length never exceeds the shorter side, which the cap keeps far below 65536, so
    // 16-bit cells serve and halve the table.
    static_assert(maxFaithfulCells < qint64(std::numeric_limits<quint16>::max() + 1)
                      * (std::numeric_limits<quint16>::max() + 1));
    try {
        return faithfulWalk<quint16>(a, b);
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool FidelityGuard::keyContentPreserved(const QString &original, const QString &polished)
{
    const QStringList tokens = keyTokens(original);
    return std::all_of(tokens.begin(), tokens.end(), [&](const QString &token) {
        return polished.contains(token) || isUnitConversion(token, polished);
    });
}

QStringList FidelityGuard::missingKeyTokens(const QString &original, const QString &polished)
{
    QStringList missing;
    for (const QString &token : keyTokens(original)) {
        if (!polished.contains(token) && !isUnitConversion(token, polished)) {
            missing.append(token);
        }
    }
    return missing;
}

QStringList FidelityGuard::keyTokens(const QString &text)
{
    QStringList tokens;
    std::u32string run;
    TokenClass runClass = TokenClass::none;
    auto flush = [&] {
        // Katakana words of one or two scalars are too common to count.
        const bool keep = !run.empty() && !(runClass == TokenClass::katakana && run.size() <= 2);
        if (keep) {
            tokens.append(Unicode::fromScalars(run));
        }
        run.clear();
        runClass = TokenClass::none;
    };

    for (char32_t c : Unicode::scalars(text)) {
        TokenClass cls = TokenClass::none;
        if (c >= U'0' && c <= U'9') {
            cls = TokenClass::digit;
        } else if ((c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z')) {
            cls = TokenClass::latin;
        } else if (c >= U'\u30A1' && c <= U'\u30F6') {
            cls = TokenClass::katakana;
        } else if (c == U'\u30FC' && runClass == TokenClass::katakana) {
            // The prolonged sound mark continues a katakana word but never starts one.
            cls = TokenClass::katakana;
        }
        if (cls != TokenClass::none && cls == runClass) {
            run += c;
            continue;
        }
        flush();
        if (cls != TokenClass::none) {
            run += c;
            runClass = cls;
        }
    }
    flush();
    return tokens;
}

std::optional<QString> FidelityGuard::lostOpaqueAnchor(const QString &original,
                                                       const QString &polished)
{
    static const std::array<std::optional<Regex>, 3> anchors = {
        Regex::compile(QStringLiteral("https?://[^\\s\u3001\u3002\u300D\uFF09)]+")),
        Regex::compile(QStringLiteral("[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,}")),
        Regex::compile(QStringLiteral("\\bv?\\d+\\.\\d+(?:\\.\\d+)+\\b")),
    };
    for (const auto &anchor : anchors) {
        if (!anchor) {
            continue;
        }
        bool complete = true;
        const QList<RegexMatch> matches = anchor->allMatches(original, &complete);
        for (const RegexMatch &match : matches) {
            const QString text = match.captured();
            if (!polished.contains(text)) {
                return text;
            }
        }
        if (!complete) {
            // An identifier past the point where the search stopped is not known to survive.
            return QString();
        }
    }
    return std::nullopt;
}

bool FidelityGuard::isUnitConversion(const QString &token, const QString &polished)
{
    // A digit, an optional blank or no-break space, then the unit symbol.
    static const std::vector<std::optional<Regex>> patterns = [] {
        std::vector<std::optional<Regex>> list;
        for (const Unit &unit : units()) {
            list.push_back(
                Regex::compile(QStringLiteral("[0-9][ \u00A0]?")
                                   + Regex::escapedPattern(QString::fromUtf16(unit.symbol)),
                               RegexOption::CaseInsensitive));
        }
        return list;
    }();

    const QString lowered = Unicode::lowercased(token);
    for (size_t u = 0; u < units().size(); ++u) {
        const Unit &unit = units()[u];
        const bool spelled = std::any_of(
            unit.spellings.begin(), unit.spellings.end(), [&](const char16_t *spelling) {
                return lowered.startsWith(Unicode::lowercased(QString::fromUtf16(spelling)));
            });
        if (!spelled) {
            continue;
        }
        // A search abandoned at its limit finds nothing: the token then counts as lost.
        if (patterns[u] && patterns[u]->hasMatch(polished)) {
            return true;
        }
    }
    return false;
}
