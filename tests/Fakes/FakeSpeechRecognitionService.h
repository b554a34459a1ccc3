#pragma once

#include "Fakes/FakeSpeechRecognizer.h"
#include "Platform/SpeechRecognitionService.h"

#include <memory>

// Speech recognition as the test sets it up: the authorisation, the answer to a request for it,
// and the locales it makes (fake) recognisers for. Records the recognisers it made.
class FakeSpeechRecognitionService final : public SpeechRecognitionService
{
public:
    explicit FakeSpeechRecognitionService(QList<SpeechLocale> locales = {})
        : locales(std::move(locales))
    { }

    // Releases the handlers of every task, which hold their engine (and so this service).
    void releaseAll()
    {
        for (const auto &recognizer : recognizers) {
            recognizer->releaseAll();
        }
    }

    AuthorizationStatus authorizationStatus() const override { return status; }

    QCoro::Task<bool> requestAuthorization() override
    {
        ++authorizationRequests;
        if (grantOnRequest) {
            status = AuthorizationStatus::authorized;
        }
        co_return grantOnRequest;
    }

    QList<SpeechLocale> supportedLocales() const override { return locales; }

    std::shared_ptr<SpeechRecognizer> makeRecognizer(const SpeechLocale &locale) override
    {
        if (!locales.contains(locale)) {
            return nullptr;
        }
        auto recognizer = std::make_shared<FakeSpeechRecognizer>(locale);
        recognizer->available = recognizersAvailable;
        recognizers.push_back(recognizer);
        return recognizer;
    }

    FakeSpeechRecognizer &lastRecognizer() { return *recognizers.back(); }

    QList<SpeechLocale> locales;
    AuthorizationStatus status = AuthorizationStatus::authorized;
    bool grantOnRequest = false;
    int authorizationRequests = 0;
    bool recognizersAvailable = true;
    std::vector<std::shared_ptr<FakeSpeechRecognizer>> recognizers;
};
