#pragma once

#include "Base/RawEnum.h"

#include <QHashFunctions>
#include <QObject>

// How the transcript of an ordinary dictation is cleaned up: off passes it unchanged, rules applies
// rule-based filler and punctuation cleanup, cloud and cloudRewrite use the cloud cleanup endpoint
// (keeping the wording, or polishing the style), localModel the on-device tagger model, appleLLM
// and rewrite the two-stage on-device pipeline (guarded, or free to rewrite). The raw value is the
// case name (see Base/RawEnum.h).
//
// The namespace only carries the meta-object (case names for Qt properties and QVariant); code
// uses the type at global scope.
namespace CleanupModeNS {
Q_NAMESPACE

enum class CleanupMode { off, rules, cloud, cloudRewrite, localModel, appleLLM, rewrite };
Q_ENUM_NS(CleanupMode)

inline size_t qHash(CleanupMode value, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(value), seed);
}

// Whether the mode needs the cloud service: true for exactly cloud and cloudRewrite. The on-device
// modes are not cloud modes, even those that run a language model.
inline bool isCloud(CleanupMode mode)
{
    return mode == CleanupMode::cloud || mode == CleanupMode::cloudRewrite;
}
} // namespace CleanupModeNS

using CleanupModeNS::CleanupMode;
SONORVELLE_RAW_ENUM(CleanupMode)
