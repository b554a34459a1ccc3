#pragma once

#include "Core/Services/ContextComposing.h"

#include <QList>

// Answers with `composed` and records what it was given.
class FakeContextComposer final : public ContextComposing
{
public:
    struct Call
    {
        std::optional<FocusContext> focus;
        QStringList recentDictations;
    };

    std::optional<QString> compose(const std::optional<FocusContext> &focus,
                                   const QStringList &recentDictations) const override
    {
        calls << Call {focus, recentDictations};
        return composed;
    }

    std::optional<QString> composed;
    mutable QList<Call> calls;
};
