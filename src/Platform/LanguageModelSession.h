#pragma once

#include "Base/CancellationToken.h"

#include <QString>

#include <QCoro/QCoroTask>

#include <exception>
#include <optional>

// One conversation with the on-device language model under fixed instructions (see
// SystemLanguageModel). Lives on the thread that made it.
class LanguageModelSession
{
public:
    // The options of one answer. Sampling and temperature are always the model's own defaults.
    struct GenerationOptions
    {
        std::optional<int> maximumResponseTokens;
    };

    // The failures the model names; anything else it throws is an error as well.
    class GenerationError : public std::exception
    {
    public:
        enum class Kind {
            // The instructions and the prompt do not fit the model's context.
            exceededContextWindowSize,
            // The model refused the content.
            guardrailViolation,
            other,
        };

        explicit GenerationError(Kind kind)
            : m_kind(kind)
        { }
        Kind kind() const { return m_kind; }
        const char *what() const noexcept override;

    private:
        Kind m_kind;
    };

    virtual ~LanguageModelSession() = default;

    // The model's answer to `prompt`. Throws GenerationError (or any other exception) when the
    // model fails. `cancellation` tells the model that nobody waits for the answer any more; it
    // may then stop early, and whatever it yields is dropped.
    virtual QCoro::Task<QString> respond(QString prompt, GenerationOptions options,
                                         CancellationToken cancellation) = 0;
};
