#pragma once

#include <QHashFunctions>
#include <QObject>

// What a dictation session is for: cleanup is ordinary dictation (cleaned-up text inserted into the
// focused field), ask answers the spoken question in the answer card and inserts nothing, translate
// inserts the speech translated into the chosen target language.
//
// The namespace only carries the meta-object (case names for Qt properties and QVariant); code
// uses the type at global scope.
namespace DictationTaskNS {
Q_NAMESPACE

enum class DictationTask { cleanup, ask, translate };
Q_ENUM_NS(DictationTask)

inline size_t qHash(DictationTask value, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(value), seed);
}

} // namespace DictationTaskNS

using DictationTaskNS::DictationTask;
