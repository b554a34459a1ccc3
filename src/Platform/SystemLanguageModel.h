#pragma once

#include "Platform/LanguageModelSession.h"

#include <QString>

#include <memory>

// The operating system's on-device language model: whether it can be used, and sessions that
// answer a prompt under fixed instructions. Linux has no such model: its implementation
// (UnavailableSystemLanguageModel) answers that the device is not eligible and makes no session,
// so the cleanup keeps its local result.
//
// Each session is created for one call and then dropped; none is reused.
class SystemLanguageModel
{
public:
    // Whether the model can be used now; every case but `available` is a reason it cannot.
    enum class Availability {
        available,
        // The machine cannot run the model at all.
        deviceNotEligible,
        // The user switched the system's intelligence feature off.
        appleIntelligenceNotEnabled,
        // The model is still being downloaded or prepared.
        modelNotReady,
    };

    // What the model is tuned for.
    enum class UseCase { general };

    // How strictly the model refuses content. Cleanup transforms the user's own words, whatever
    // they say, so it asks for the permissive setting.
    enum class Guardrails { standard, permissiveContentTransformations };

    // One session: the model's tuning, its guardrails and the instructions (the system prompt);
    // sessions are given no tools.
    struct SessionConfiguration
    {
        UseCase useCase = UseCase::general;
        Guardrails guardrails = Guardrails::standard;
        QString instructions;
    };

    virtual ~SystemLanguageModel() = default;

    // Read afresh on every call.
    virtual Availability availability() const = 0;
    // A new session; nullptr when the system makes none (only when the model is unavailable).
    virtual std::unique_ptr<LanguageModelSession>
    makeSession(SessionConfiguration configuration) = 0;

    // The machine's own model.
    static std::shared_ptr<SystemLanguageModel> system();
};
