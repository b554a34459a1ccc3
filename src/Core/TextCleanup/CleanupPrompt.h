#pragma once

#include "Core/TextCleanup/CleanupContext.h"

#include <QString>

// The instructions (system prompt) the on-device language model works under, one per cleanup
// style: a fixed base text, then a line with the transcript's language, and, where the context
// has them, the destination application, the user's style rules and the user's dictionary terms.
// The transcript itself is never part of them; it is the prompt.
//
// Reads only localeIdentifier, focus->appName, customInstructions and dictionaryTerms. Pure and
// safe on any thread.
namespace CleanupPrompt {

// Full cleanup of a raw transcript: fillers, self-corrections, punctuation, lists.
QString system(const CleanupContext &context);
// Formatting only, on text an earlier stage already cleaned; no word may change. Never lists the
// dictionary terms.
QString polishSystem(const CleanupContext &context);
// Rewriting into natural written language, keeping every fact, number and name.
QString rewriteSystem(const CleanupContext &context);

} // namespace CleanupPrompt
