#pragma once

#include "Base/RawEnum.h"

#include <QHashFunctions>
#include <QObject>

// The tabs of the settings window, in the order of its sidebar. The raw value is the case name.
//
// The namespace only carries the meta-object (case names for Qt properties and QVariant); code
// uses the type at global scope.
namespace SettingsTabNS {
Q_NAMESPACE

enum class SettingsTab {
    general,
    dictation,
    cleanup,
    dictionary,
    history,
    permissions,
    account,
    about
};
Q_ENUM_NS(SettingsTab)

inline size_t qHash(SettingsTab value, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(value), seed);
}

} // namespace SettingsTabNS

using SettingsTabNS::SettingsTab;
SONORVELLE_RAW_ENUM(SettingsTab)
