#pragma once

#include "Core/Audio/AudioFormat.h"
#include "Core/Transcription/SpeechLocale.h"
#include "Platform/AssetInventory.h"
#include "Platform/SpeechAnalyzer.h"
#include "Platform/SpeechTranscriber.h"

#include <QList>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

// The system's analyzer-based speech transcription: transcribers for locales, analyzers that run
// them, the audio format they take, and the store of their on-device models. Linux has no such
// service: its implementation (UnavailableSpeechAnalysisService) answers that the transcriber is
// not available, knows no locales and makes nothing, so callers use the segment-based engine.
class SpeechAnalysisService
{
public:
    virtual ~SpeechAnalysisService() = default;

    // Whether transcription can be used on this system at all.
    virtual bool isTranscriberAvailable() const = 0;
    // The locales a transcriber can be made for, in the system's order.
    virtual QCoro::Task<QList<SpeechLocale>> supportedLocales() = 0;
    // The locales whose model is installed on this machine.
    virtual QCoro::Task<QList<SpeechLocale>> installedLocales() = 0;
    // A transcriber for the locale; nullptr when the system makes none.
    virtual std::shared_ptr<SpeechTranscriber>
    makeTranscriber(const SpeechLocale &locale, SpeechTranscriber::Options options) = 0;
    // An analyzer with the transcriber as its only module; nullptr when the system makes none.
    virtual std::shared_ptr<SpeechAnalyzer>
    makeAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber) = 0;
    // The audio format the analyzer takes for this transcriber; absent when there is none.
    virtual QCoro::Task<std::optional<AudioFormat>>
    bestAvailableAudioFormat(std::shared_ptr<SpeechTranscriber> transcriber) = 0;
    virtual AssetInventory &assetInventory() = 0;

    // The machine's own service.
    static std::shared_ptr<SpeechAnalysisService> system();
};
