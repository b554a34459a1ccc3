#pragma once

#include "Base/RawEnum.h"

#include <QHashFunctions>
#include <QObject>

// The modifier key bound to a task; none leaves the task without a hotkey. The raw value is the
// case name (see Base/RawEnum.h); pickers list allCases in declaration order.
//
// The namespace only carries the meta-object (case names for Qt properties and QVariant); code
// uses the type at global scope.
namespace DictationHoldKeyNS {
Q_NAMESPACE

enum class DictationHoldKey { fn, rightCommand, rightOption, rightControl, rightShift, none };
Q_ENUM_NS(DictationHoldKey)

inline size_t qHash(DictationHoldKey value, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(value), seed);
}

} // namespace DictationHoldKeyNS

using DictationHoldKeyNS::DictationHoldKey;
SONORVELLE_RAW_ENUM(DictationHoldKey)
