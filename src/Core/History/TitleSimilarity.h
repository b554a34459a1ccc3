#pragma once

#include <QSet>
#include <QString>

#include <optional>

// Whether two window titles name the same window: titles are compared as sets of distinctive
// tokens (lower-cased words of two or more characters, and character bigrams of ideographic runs),
// leaving out words that say nothing about a window's content and the application's own name.
namespace TitleSimilarity {

// Tokens that never count as distinctive (shells, "tab", "untitled", "edited", ...).
const QSet<QString> &genericTokens();

// The distinctive tokens of a title.
QSet<QString> tokens(const QString &title);

// Overlap coefficient of the two titles' tokens after removing the tokens of the application's
// name: |A ∩ B| / min(|A|, |B|), between 0 and 1; 0 when either side has no token left.
double score(const QString &a, const QString &b, const std::optional<QString> &appName);

} // namespace TitleSimilarity
