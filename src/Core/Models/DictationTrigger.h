#pragma once

#include <QHashFunctions>
#include <QObject>

// What started a session: hold, a hotkey whose release ends the recording; menu, a command (status
// menu, answer card, companion host), which a key release does not end.
//
// The namespace only carries the meta-object (case names for Qt properties and QVariant); code
// uses the type at global scope.
namespace DictationTriggerNS {
Q_NAMESPACE

enum class DictationTrigger { hold, menu };
Q_ENUM_NS(DictationTrigger)

inline size_t qHash(DictationTrigger value, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(value), seed);
}

} // namespace DictationTriggerNS

using DictationTriggerNS::DictationTrigger;
