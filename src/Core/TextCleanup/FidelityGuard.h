#pragma once

#include "Core/TextCleanup/CleanupVerdict.h"
#include "Core/TextCleanup/EditContract.h"

#include <QString>
#include <QStringList>

#include <optional>

// Decides whether a text that a language model returned for a transcript (`polished`) may replace
// what was sent to it (`original`). Pure functions, safe on any thread.
//
// Key tokens are the runs of the original that a faithful rewrite must keep: ASCII digits, ASCII
// letters, and katakana words of three or more scalars.
class FidelityGuard
{
public:
    // The verdict after cloud cleanup and cloud dictation: empty output, runaway growth and a lost
    // identifier (web address, e-mail address, version number) reject; lost key tokens reject
    // under `faithful` and warn under `polish`. An original whose identifiers cannot be found
    // within the regular-expression limit is rejected as well.
    static CleanupVerdict verify(const QString &original, const QString &polished,
                                 EditContract contract);

    // True when `polished` differs from `original` only by inserted or removed formatting
    // characters (Japanese punctuation and brackets, "!?:;()", blanks, line breaks, dashes, list
    // markers), compared scalar by scalar. An empty polished text is never faithful. Inputs whose
    // comparison table would exceed maxFaithfulCells are not judged and count as unfaithful.
    static bool isFaithful(const QString &original, const QString &polished);

    // True when every key token of the original is in the polished text, or was turned into a unit
    // symbol ("5 kilobytes" -> "5KB").
    static bool keyContentPreserved(const QString &original, const QString &polished);

    // The key tokens of the original that the polished text lacks, in the original's order (a token
    // that occurs twice and is lost is listed twice).
    static QStringList missingKeyTokens(const QString &original, const QString &polished);

    // The key tokens of a text, in text order, duplicates kept.
    static QStringList keyTokens(const QString &text);

    // The largest comparison table isFaithful builds, in cells. Its callers send at most 3000
    // characters against twice that plus 64, a table of 3001 x 6065 cells (36 MB); the cap
    // leaves room for characters of several scalars and stops a runaway input at 64 MB.
    static constexpr qint64 maxFaithfulCells = qint64(1) << 25;

private:
    // The first anchor of the original that the polished text lacks. An anchor search over the
    // original that was abandoned at the regular-expression limit counts as a loss: the result is
    // then the empty text.
    static std::optional<QString> lostOpaqueAnchor(const QString &original,
                                                   const QString &polished);
    static bool isUnitConversion(const QString &token, const QString &polished);
};
