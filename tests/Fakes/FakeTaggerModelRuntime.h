#pragma once

#include "Platform/TaggerModelRuntime.h"

#include <QStringList>

#include <functional>
#include <utility>

// Hands out `assets` and loads models through `loader` (which may throw); records the paths it
// was asked to load.
class FakeTaggerModelRuntime final : public TaggerModelRuntime
{
public:
    std::optional<Assets> locateAssets() override { return assets; }

    std::unique_ptr<TaggerModel> loadModel(const QString &modelPath) override
    {
        loadedPaths.append(modelPath);
        return loader(modelPath);
    }

    std::optional<Assets> assets;
    std::function<std::unique_ptr<TaggerModel>(const QString &)> loader;
    QStringList loadedPaths;
};
