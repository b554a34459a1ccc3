#include "Core/Transcription/SpeechLocaleNotifications.h"

#include <QCoreApplication>

SpeechLocaleNotifications &SpeechLocaleNotifications::shared()
{
    static auto *const instance = [] {
        auto *created = new SpeechLocaleNotifications();
        // Observers connect from the main thread, where the notice is posted.
        if (QCoreApplication *app = QCoreApplication::instance()) {
            created->moveToThread(app->thread());
        }
        return created;
    }();
    return *instance;
}

void SpeechLocaleNotifications::postSpeechLocaleSwitched(const SpeechLocale &locale)
{
    Q_EMIT speechLocaleSwitched(locale.displayName());
}
