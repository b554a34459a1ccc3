#include "Platform/LanguageModelSession.h"

const char *LanguageModelSession::GenerationError::what() const noexcept
{
    switch (m_kind) {
    case Kind::exceededContextWindowSize:
        return "the instructions and the prompt exceed the model's context window";
    case Kind::guardrailViolation:
        return "the model's guardrails refused the content";
    case Kind::other:
        break;
    }
    return "the model failed to generate an answer";
}
