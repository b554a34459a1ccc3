#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

// Makes a recognition locale usable ahead of the first dictation: creates a throw-away speech
// engine of the kind this system uses, awaits its preparation for the locale (loading or fetching
// its model) and releases it. Implemented with the speech engines; the settings call it after the
// recognition locale changed.
class SpeechEnginePreparer
{
public:
    virtual ~SpeechEnginePreparer() = default;

    // `localeIdentifier` absent: the current locale of the desktop session. Started on the main
    // thread and not awaited by anyone; blocking work belongs on the thread pool. May throw the
    // engine's error, which the caller drops.
    virtual QCoro::Task<> prepare(std::optional<QString> localeIdentifier) = 0;
};
