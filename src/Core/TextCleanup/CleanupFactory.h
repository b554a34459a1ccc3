#pragma once

#include "Core/Services/CleanupStageFactory.h"
#include "Core/TextCleanup/CloudCleanup.h"

#include <functional>
#include <memory>

// Maps the user's cleanup mode and intensity to the stage a dictation session runs, and builds the
// cloud stage of the ask and translate tasks. A new stage on every call, except the one tagger
// stage of the process, which is shared. Never fails: a mode whose model is missing gets the
// rule-based stage in its place.
class CleanupFactory : public CleanupStageFactory
{
public:
    struct Services
    {
        // What every cloud stage talks to the service with.
        CloudCleanup::Services cloud;
        // The process's tagger stage; null when its model could not be loaded.
        std::function<std::shared_ptr<const TextCleanupService>()> tagger;
    };

    explicit CleanupFactory(Services services);

    std::shared_ptr<const TextCleanupService> make(CleanupMode mode, int intensity) override;
    std::shared_ptr<const TextCleanupService> makeCloud(const QString &style, const QString &task,
                                                        const QString &targetLang,
                                                        int intensity) override;

private:
    // The tagger stage when loaded, else the rules.
    std::shared_ptr<const TextCleanupService> localStage() const;

    Services m_services;
};
