#pragma once

#include "Core/TextCleanup/TextCleanupService.h"

#include <QString>

// Removes spoken fillers, repeated words and broken punctuation and spacing from a transcript with
// a fixed sequence of regular-expression replacements. Needs no model, network or user data, so it
// is the stage of the cleanup mode `rules` and the fallback of every other stage.
//
// Japanese fillers are removed for locales beginning with "ja", English fillers for "ja" and "en"
// (case-insensitively); repeated words, punctuation and spacing are repaired for every locale.
//
// A rule whose expression gives up on a hostile text (Regex bounds every search) leaves the text
// as it was, and the later rules go on.
class RuleBasedCleanup : public TextCleanupService
{
public:
    // The cleaned text, trimmed of white space and line breaks at both ends. Pure and thread-safe;
    // the expressions are compiled once per process, on first use.
    static QString clean(const QString &text, const QString &localeIdentifier);

    // "rules".
    QString name() const override;
    // clean(text, context.localeIdentifier) on a thread of the global pool, resuming on the
    // awaiting thread; no other field of the context is read.
    QCoro::Task<QString> cleanup(QString text, CleanupContext context) const override;

private:
    static QString removeEnglishFillers(const QString &text);
};
