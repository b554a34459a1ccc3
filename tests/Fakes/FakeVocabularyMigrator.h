#pragma once

#include "Core/VocabularyMigrator.h"

// Records every hand-over of the legacy vocabulary.
class FakeVocabularyMigrator final : public VocabularyMigrator
{
public:
    struct Call
    {
        QStringList terms;
        QList<Replacement> replacements;
    };

    void migrateIfNeeded(const QStringList &legacyTerms,
                         const QList<Replacement> &legacyReplacements) override
    {
        calls.append({legacyTerms, legacyReplacements});
    }

    QList<Call> calls;
};
