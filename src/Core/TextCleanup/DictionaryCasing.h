#pragma once

#include <QString>
#include <QStringList>

// Rewrites the user's dictionary terms in their exact spelling ("iphone" -> "iPhone"), whatever
// case the recogniser or the cleanup produced. Stateless and thread-safe.
namespace DictionaryCasing {

// For each term in list order (on the output of the previous one): every case-insensitive
// whole-word occurrence (not next to an ASCII letter or digit) becomes the term, trimmed of blanks
// and tabs. Terms that are empty, not ASCII, or without an upper-case letter are skipped: they
// would change nothing a user could want changed.
QString apply(const QString &text, const QStringList &terms);

} // namespace DictionaryCasing
