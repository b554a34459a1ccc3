#pragma once

#include "Core/Models/Replacement.h"

#include <QList>
#include <QString>

// Expands the user's replacement rules in a cleaned text. Stateless and thread-safe.
namespace ReplacementEngine {

// Applies the enabled rules, longest phrase first (phrases of equal length in list order), each
// to the output of the previous one. Phrases are trimmed of blanks and tabs; a rule whose phrase
// is empty then has no effect. An ASCII phrase matches case-insensitively as a whole word (not
// next to an ASCII letter or digit); any other phrase matches wherever it occurs, in its exact
// case, characters comparing equal when canonically equivalent. The expansion is inserted exactly
// as stored.
QString apply(const QString &text, const QList<Replacement> &rules);

} // namespace ReplacementEngine
