#pragma once

#include "Platform/TaggerModel.h"

#include <QString>

#include <memory>
#include <optional>

// Finds and loads the token-tagger model that ships with the application, together with its
// vocabulary file.
class TaggerModelRuntime
{
public:
    // Where the model and its vocabulary ("tokenizer.json") lie.
    struct Assets
    {
        QString modelPath;
        QString tokenizerPath;
    };

    virtual ~TaggerModelRuntime() = default;

    // The model and vocabulary this runtime can run; nothing when there are none.
    virtual std::optional<Assets> locateAssets() = 0;
    // Loads the model at `modelPath`. Throws a std::exception describing the fault.
    virtual std::unique_ptr<TaggerModel> loadModel(const QString &modelPath) = 0;

    // The runtime of this system.
    static TaggerModelRuntime &system();
};
