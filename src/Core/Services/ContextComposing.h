#pragma once

#include "Core/Models/FocusContext.h"

#include <QString>
#include <QStringList>

#include <optional>

// Builds the context text a cloud rewrite gets about where the user is writing: the focused field
// and the user's recent dictations into the same window. Implemented by the context composer;
// synchronous, never fails.
class ContextComposing
{
public:
    virtual ~ContextComposing() = default;

    // The composed text, or absent when there is nothing to compose.
    virtual std::optional<QString> compose(const std::optional<FocusContext> &focus,
                                           const QStringList &recentDictations) const = 0;
};
