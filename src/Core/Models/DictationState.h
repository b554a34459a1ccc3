#pragma once

#include <QHashFunctions>
#include <QObject>
#include <QtQml/qqmlregistration.h>

// The phase of the one dictation session that runs at a time. Errors and cancellation return the
// session to idle; there is no further state.
//
// The namespace only carries the meta-object (case names for Qt properties and QVariant); code
// uses the type at global scope.
namespace DictationStateNS {
Q_NAMESPACE
QML_NAMED_ELEMENT(DictationState)

enum class DictationState { idle, recording, processing };
Q_ENUM_NS(DictationState)

inline size_t qHash(DictationState value, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(value), seed);
}

} // namespace DictationStateNS

using DictationStateNS::DictationState;
