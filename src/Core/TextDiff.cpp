#include "Core/TextDiff.h"

#include "Base/Unicode.h"

#include <algorithm>
#include <vector>

namespace {

// Canonical decompositions, so that the inner loop compares plain strings.
QStringList decomposed(const QStringList &characters)
{
    QStringList result;
    result.reserve(characters.size());
    for (const QString &character : characters) {
        result << Unicode::nfd(character);
    }
    return result;
}

} // namespace

qsizetype TextDiff::distance(const QStringList &a, const QStringList &b)
{
    const qsizetype m = a.size();
    const qsizetype n = b.size();
    if (m == 0) {
        return n;
    }
    if (n == 0) {
        return m;
    }
    const QStringList left = decomposed(a);
    const QStringList right = decomposed(b);

    std::vector<qsizetype> previous(n + 1);
    std::vector<qsizetype> current(n + 1, 0);
    for (qsizetype j = 0; j <= n; ++j) {
        previous[j] = j;
    }
    for (qsizetype i = 1; i <= m; ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= n; ++j) {
            const qsizetype cost = left[i - 1] == right[j - 1] ? 0 : 1;
            current[j] = std::min({previous[j - 1] + cost, current[j - 1] + 1, previous[j] + 1});
        }
        std::swap(previous, current);
    }
    return previous[n];
}
