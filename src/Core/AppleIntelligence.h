#pragma once

#include "Platform/SystemLanguageModel.h"

#include <QHashFunctions>

// Whether the system's on-device language model can be used, read from the model's availability
// on every call. Linux offers no such model, so the status is notSupported and the cleanup falls
// back by itself.
namespace AppleIntelligence {

enum class Status { notSupported, disabled, downloading, ready };

inline size_t qHash(Status status, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(status), seed);
}

Status status();
// The status that an availability of the model stands for.
Status status(SystemLanguageModel::Availability availability);
// There are no settings for it to open; the log says so.
void openSettings();

} // namespace AppleIntelligence
