#pragma once

#include "Platform/SystemLanguageModel.h"

// The on-device language model as Linux has it: not at all. The device is reported as not
// eligible and no session is made, so every stage that would use the model keeps its own text.
class UnavailableSystemLanguageModel final : public SystemLanguageModel
{
public:
    Availability availability() const override { return Availability::deviceNotEligible; }
    std::unique_ptr<LanguageModelSession> makeSession(SessionConfiguration configuration) override;
};
