#pragma once

#include <QString>

// Orders version texts the way update feeds number their releases: "1.10" is newer than "1.9",
// "1.0.1" newer than "1.0", and a release newer than its pre-releases ("1.0" after "1.0b3").
//
// A version is read as runs of digits (numbers, compared by value, however long), runs of other
// letters (compared as texts) and separators ("." and white space, one part each). Parts are
// compared pair by pair; where they differ in kind, a number beats a text or a separator, and a
// separator beats a text. When one version runs out first, the longer one is newer if its next
// part is a number or a separator, older if it is a text ("1.0" before "1.0.1", "1.0b1" before
// "1.0"). Trailing zero parts make no difference: "1.0" and "1.0.0" are the same version.
namespace VersionComparator {

// Negative when `a` is older than `b`, zero when they are the same version, positive when newer.
int compare(const QString &a, const QString &b);

} // namespace VersionComparator
