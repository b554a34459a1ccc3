#pragma once

#include "Core/Models/Replacement.h"

#include <QList>
#include <QStringList>

// Takes over the dictionary terms and replacements that older versions kept in the settings, into
// the shared vocabulary. Implemented by the shared vocabulary; the settings call it once, when they
// are made, on the main thread.
class VocabularyMigrator
{
public:
    virtual ~VocabularyMigrator() = default;

    // Does nothing when the vocabulary already holds any term or any replacement, or when both
    // lists are empty; otherwise sets its terms to the first list, then its replacements to the
    // second, persisting each. No result, no failure.
    virtual void migrateIfNeeded(const QStringList &legacyTerms,
                                 const QList<Replacement> &legacyReplacements) = 0;
};
