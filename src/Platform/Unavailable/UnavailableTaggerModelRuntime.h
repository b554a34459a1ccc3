#pragma once

#include "Platform/TaggerModelRuntime.h"

// Linux has no runtime for the tagger model's format, so there is nothing to locate: the Japanese
// tagger stage is absent and cleanup uses the rule-based stage in its place.
class UnavailableTaggerModelRuntime : public TaggerModelRuntime
{
public:
    std::optional<Assets> locateAssets() override;
    std::unique_ptr<TaggerModel> loadModel(const QString &modelPath) override;
};
