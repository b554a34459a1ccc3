#pragma once

#include "Core/Services/VocabularySource.h"

// A vocabulary the test writes; reads are counted.
class FakeVocabulary final : public VocabularySource
{
public:
    QStringList terms() const override
    {
        ++termReads;
        return termList;
    }
    QList<Replacement> replacements() const override { return replacementList; }

    QStringList termList;
    QList<Replacement> replacementList;
    mutable int termReads = 0;
};
