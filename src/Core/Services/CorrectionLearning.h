#pragma once

#include "Core/Models/FocusContext.h"

#include <QString>

#include <optional>

// The correction learner as a dictation session uses it: each session start hands it the fresh
// snapshot of the focused field (so it can see whether the user corrected the previous
// insertion), and a completed cloud-cleaned insertion is remembered for that comparison.
// Implemented by the correction learner; called on the main thread; returns at once, never fails.
class CorrectionLearning
{
public:
    virtual ~CorrectionLearning() = default;

    // Compares the field with the text remembered from the previous insertion and reports a
    // correction in the learner's own background work.
    virtual void checkAndSend(const FocusContext &context) = 0;
    // Keeps the inserted text and the target application's identifier as the one pending item.
    virtual void remember(const QString &text, const std::optional<QString> &bundleID) = 0;
};
