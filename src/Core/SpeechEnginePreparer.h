#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <QStringList>

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

    // Gets the locale's recogniser ready for the user's dictionary terms after they changed, so
    // that the next dictation opens as fast as one with unchanged terms. Returns at once; the
    // work runs in the background, and its failures are left to the next dictation.
    virtual void prepareHints(std::optional<QString> localeIdentifier, QStringList terms) = 0;
};
