#pragma once

#include "Core/Models/CleanupMode.h"
#include "Core/TextCleanup/TextCleanupService.h"

#include <QString>

#include <memory>

// Builds the cleanup stage a dictation session runs: the stage of the user's cleanup mode for
// ordinary dictation, and a cloud stage configured directly for the ask and translate tasks.
// Implemented by the cleanup factory and the cloud cleanup client; never fails.
class CleanupStageFactory
{
public:
    virtual ~CleanupStageFactory() = default;

    // The stage for the mode; the intensity matters only to the polishing cloud stage.
    virtual std::shared_ptr<const TextCleanupService> make(CleanupMode mode, int intensity) = 0;

    // A cloud cleanup stage named "cloud" with these fields: style "faithful" or "polish", task
    // "cleanup", "ask" or "translate", a target language (may be empty) and an intensity.
    virtual std::shared_ptr<const TextCleanupService> makeCloud(const QString &style,
                                                                const QString &task,
                                                                const QString &targetLang,
                                                                int intensity) = 0;
};
