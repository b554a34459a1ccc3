#include "Platform/Unavailable/UnavailableSystemLanguageModel.h"

std::unique_ptr<LanguageModelSession>
UnavailableSystemLanguageModel::makeSession(SessionConfiguration configuration)
{
    Q_UNUSED(configuration);
    return nullptr;
}
