#pragma once

#include <QStringList>

// Edit distance between two texts as a reader counts them: over user-perceived characters, where
// two characters are equal when they are canonically equivalent ("é" precomposed equals e +
// U+0301).
namespace TextDiff {

// Levenshtein distance (unit cost for insertion, deletion and substitution) between two sequences
// of characters, as Unicode::graphemes gives them. Time m × n, memory two rows of n + 1.
qsizetype distance(const QStringList &a, const QStringList &b);

} // namespace TextDiff
