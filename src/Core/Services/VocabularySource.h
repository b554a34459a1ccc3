#pragma once

#include "Core/Models/Replacement.h"

#include <QList>
#include <QStringList>

// What a dictation session reads of the user's shared vocabulary: the dictionary terms (hints for
// the recogniser, exact spellings after cleanup) and the replacement rules. Implemented by the
// shared vocabulary; read on the main thread, never fails.
class VocabularySource
{
public:
    virtual ~VocabularySource() = default;

    // The user's dictionary terms, in their stored order.
    virtual QStringList terms() const = 0;
    // The user's replacement rules, in their stored order.
    virtual QList<Replacement> replacements() const = 0;
};
