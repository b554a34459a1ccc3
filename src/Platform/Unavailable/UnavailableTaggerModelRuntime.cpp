#include "Platform/Unavailable/UnavailableTaggerModelRuntime.h"

#include <stdexcept>

std::optional<TaggerModelRuntime::Assets> UnavailableTaggerModelRuntime::locateAssets()
{
    return std::nullopt;
}

std::unique_ptr<TaggerModel> UnavailableTaggerModelRuntime::loadModel(const QString &modelPath)
{
    throw std::runtime_error("no runtime for the tagger model on this system: "
                             + modelPath.toStdString());
}
