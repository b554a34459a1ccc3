#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>

// Unicode text operations on QString (UTF-16), backed by ICU.
//
// Vocabulary: a "character" is a user-perceived character (an extended grapheme cluster, what a
// reader counts as one letter: "é" written as e + U+0301, a flag, a family emoji, CR LF); a
// "scalar" is a code point; a "code unit" is one QChar, and QString::size() counts code units.
//
// Lone surrogates (ill-formed UTF-16) never make a call fail: they are treated as one scalar each
// and, where a scalar value has to be produced, read as U+FFFD REPLACEMENT CHARACTER.
//
// Every function is safe to call from any thread.
namespace Unicode {

// --- Characters (extended grapheme clusters) ---

// The number of user-perceived characters.
qsizetype graphemeCount(const QString &text);
// The first n user-perceived characters; the whole text when it has no more than n; empty for
// n <= 0.
QString graphemePrefix(const QString &text, qsizetype n);
// The last n user-perceived characters; the whole text when it has no more than n; empty for
// n <= 0. Walks backwards from the end, so its cost grows with n, not with the text's length.
QString graphemeSuffix(const QString &text, qsizetype n);
// The code-unit offsets where characters begin, followed by text.size(): {0} for an empty text,
// {0, 1, 3} for "a" + a surrogate pair. Character i spans [b[i], b[i + 1]).
QList<qsizetype> graphemeBoundaries(const QString &text);
// The user-perceived characters, in order.
QStringList graphemes(const QString &text);

// --- Scalars (code points) ---

// The scalars; a lone surrogate becomes U+FFFD.
std::u32string scalars(const QString &text);
// The text of the given scalars; a value that is not a scalar (a surrogate code point or one above
// U+10FFFF) becomes U+FFFD.
QString fromScalars(std::u32string_view scalars);
// The number of scalars; a lone surrogate counts as one.
qsizetype scalarCount(const QString &text);
// The code-unit offset of the scalar at scalarOffset. Offsets are clamped: below 0 gives 0, past
// the last scalar gives text.size().
qsizetype utf16OffsetForScalarOffset(const QString &text, qsizetype scalarOffset);
// The scalar offset of the code unit at utf16Offset. An offset between the two halves of a
// surrogate pair rounds down to the pair's scalar. Offsets are clamped like above.
qsizetype scalarOffsetForUtf16Offset(const QString &text, qsizetype utf16Offset);

// --- Normalisation ---

QString nfc(const QString &text);
QString nfd(const QString &text);
QString nfkc(const QString &text);
// True when both texts have the same canonical decomposition ("é" precomposed and e + U+0301 are
// equivalent; "e" and "é" are not; nor are "ﬁ" and "fi", which are only compatibility
// equivalent).
bool canonicallyEquivalent(const QString &a, const QString &b);

// --- White space and line ends ---

// U+000A-U+000D, U+0085 NEXT LINE, U+2028 LINE SEPARATOR, U+2029 PARAGRAPH SEPARATOR.
bool isNewline(char32_t c);
// Space separators (General Category Zs, including U+3000 IDEOGRAPHIC SPACE) and TAB.
bool isBlank(char32_t c);
// isBlank or isNewline. Format characters such as U+200B ZERO WIDTH SPACE are neither.
bool isWhitespaceOrNewline(char32_t c);
// The text without leading and trailing isWhitespaceOrNewline scalars.
QString trimmedWhitespaceAndNewlines(const QString &text);
// The text without leading and trailing isBlank scalars; line ends stay.
QString trimmedBlanks(const QString &text);

// --- Case (full mappings of the root locale: "ß" uppercases to "SS") ---

QString lowercased(const QString &text);
QString uppercased(const QString &text);
// Default case folding, for comparisons that ignore case ("Straße" and "STRASSE" fold alike).
QString caseFolded(const QString &text);

// --- Character classes of one scalar (General Category) ---

// L* (Lu, Ll, Lt, Lm, Lo).
bool isLetter(char32_t c);
// Nd: decimal digits of any script ("٣", "３"), not "²" or "Ⅻ".
bool isDigit(char32_t c);
// P* (Pc, Pd, Ps, Pe, Pi, Pf, Po): "、", "。", "!", "_".
bool isPunctuation(char32_t c);
// S* (Sm, Sc, Sk, So): "+", "$", "^", "©", most emoji.
bool isSymbol(char32_t c);

} // namespace Unicode
