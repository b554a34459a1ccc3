#pragma once

#include "Core/Transcription/SpeechLocale.h"

#include <QList>

#include <QCoro/QCoroTask>

#include <memory>

class SpeechTranscriber;

// The system's store of on-device speech models: which locales are reserved for this
// application, how many may be, and the download and installation of a transcriber's model.
class AssetInventory
{
public:
    class InstallationRequest
    {
    public:
        virtual ~InstallationRequest() = default;
        // The share of the download and installation done so far; may be read from any thread.
        virtual double fractionCompleted() const = 0;
        // Downloads and installs the model; throws when that fails.
        virtual QCoro::Task<void> downloadAndInstall() = 0;
    };

    virtual ~AssetInventory() = default;

    virtual QCoro::Task<QList<SpeechLocale>> reservedLocales() = 0;
    virtual int maximumReservedLocales() const = 0;
    // Gives up the reservation of a locale; false when it was not reserved.
    virtual QCoro::Task<bool> release(SpeechLocale reservedLocale) = 0;
    // The request that installs what the transcriber needs, or nullptr when all of it is
    // installed already. Throws when no request can be made.
    virtual QCoro::Task<std::shared_ptr<InstallationRequest>>
    assetInstallationRequest(std::shared_ptr<SpeechTranscriber> supporting) = 0;
};
