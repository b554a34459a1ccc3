#pragma once

#include "Core/SpeechEnginePreparer.h"

#include <QList>

#include <stdexcept>

// Records the locales it is asked to prepare; finishes at once, or throws when told to fail.
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

    QList<std::optional<QString>> calls;
    bool fail = false;
};
