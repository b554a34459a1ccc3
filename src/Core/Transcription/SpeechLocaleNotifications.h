#pragma once

#include "Core/Transcription/SpeechLocale.h"

#include <QObject>
#include <QString>

// The process-wide notice that the recognition locale was switched automatically (the notice
// SpeechLocaleResolver::didSwitch names). The dictation controller posts it after a session
// failed for an unsupported locale and the resolver picked another; the voice bar shows it.
class SpeechLocaleNotifications : public QObject
{
    Q_OBJECT

public:
    static SpeechLocaleNotifications &shared();

    // Emits speechLocaleSwitched with the locale's display name (its identifier in the current
    // locale's language, or the bare identifier when it has none). Main thread.
    void postSpeechLocaleSwitched(const SpeechLocale &locale);

Q_SIGNALS:
    void speechLocaleSwitched(const QString &displayName);

private:
    SpeechLocaleNotifications() = default;
};
