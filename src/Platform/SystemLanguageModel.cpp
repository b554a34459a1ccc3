#include "Platform/SystemLanguageModel.h"

#include "Platform/Unavailable/UnavailableSystemLanguageModel.h"

std::shared_ptr<SystemLanguageModel> SystemLanguageModel::system()
{
    static const std::shared_ptr<SystemLanguageModel> model =
        std::make_shared<UnavailableSystemLanguageModel>();
    return model;
}
