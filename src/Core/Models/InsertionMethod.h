#pragma once

#include "Base/RawEnum.h"

#include <QHashFunctions>
#include <QObject>

// How text reaches the focused field: paste, through the clipboard and a synthetic paste shortcut;
// type, as typed Unicode key events. The raw value is the case name (see Base/RawEnum.h).
//
// The namespace only carries the meta-object (case names for Qt properties and QVariant); code
// uses the type at global scope.
namespace InsertionMethodNS {
Q_NAMESPACE

enum class InsertionMethod { paste, type };
Q_ENUM_NS(InsertionMethod)

inline size_t qHash(InsertionMethod value, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(value), seed);
}

} // namespace InsertionMethodNS

using InsertionMethodNS::InsertionMethod;
SONORVELLE_RAW_ENUM(InsertionMethod)
