#pragma once

#include "Core/SpeechEnginePreparer.h"

#include <QList>
#include <QStringList>

#include <stdexcept>

// Records the locales (and hints) it is asked to prepare; finishes at once, or throws when told to
// fail.
class FakeSpeechEnginePreparer final : public SpeechEnginePreparer
{
public:
    QCoro::Task<> prepare(std::optional<QString> localeIdentifier) override
    {
        calls.append(localeIdentifier);
        if (fail) {
            throw std::runtime_error("locale not supported");
        }
        co_return;
    }

    void prepareHints(std::optional<QString> localeIdentifier, QStringList terms) override
    {
        hintCalls.append({localeIdentifier, terms});
    }

    QList<std::optional<QString>> calls;
    QList<std::pair<std::optional<QString>, QStringList>> hintCalls;
    bool fail = false;
};
