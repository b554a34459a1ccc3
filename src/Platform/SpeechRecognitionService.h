#pragma once

#include "Core/Transcription/SpeechLocale.h"
#include "Platform/SpeechRecognizer.h"

#include <QList>

#include <QCoro/QCoroTask>

#include <memory>

// The system's speech recognition: whether the user may use it, which locales it knows, and a
// recogniser for a locale. On Linux it is pocketsphinx with the models installed on the machine;
// recognition counts as authorised when a model for some locale is installed.
class SpeechRecognitionService
{
public:
    enum class AuthorizationStatus { notDetermined, denied, restricted, authorized };

    virtual ~SpeechRecognitionService() = default;

    virtual AuthorizationStatus authorizationStatus() const = 0;
    // Asks for authorisation where the system asks the user; true when granted.
    virtual QCoro::Task<bool> requestAuthorization() = 0;
    // The locales a recogniser can be made for; the order is not defined.
    virtual QList<SpeechLocale> supportedLocales() const = 0;
    // A recogniser for the locale, or nullptr when the system has none for it.
    virtual std::shared_ptr<SpeechRecognizer> makeRecognizer(const SpeechLocale &locale) = 0;

    // The machine's own service (pocketsphinx), shared by the whole process.
    static std::shared_ptr<SpeechRecognitionService> system();
};
