#pragma once

#include "Base/RawEnum.h"

#include <QHashFunctions>
#include <QObject>

// The look of the voice bar: notch, drawn at the top of the screen; classic, the bar at the bottom.
// The raw value is the case name (see Base/RawEnum.h).
//
// The namespace only carries the meta-object (case names for Qt properties and QVariant); code
// uses the type at global scope.
namespace VoiceBarStyleNS {
Q_NAMESPACE

enum class VoiceBarStyle { notch, classic };
Q_ENUM_NS(VoiceBarStyle)

inline size_t qHash(VoiceBarStyle value, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(value), seed);
}

} // namespace VoiceBarStyleNS

using VoiceBarStyleNS::VoiceBarStyle;
SONORVELLE_RAW_ENUM(VoiceBarStyle)
