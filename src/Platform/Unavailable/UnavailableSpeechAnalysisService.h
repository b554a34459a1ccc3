#pragma once

#include "Platform/SpeechAnalysisService.h"

// Analyzer-based transcription as Linux has it: not at all. Every question is answered honestly:
// not available, no locales, nothing installed, nothing made, no audio format; the model store
// holds nothing and refuses installation requests.
class UnavailableSpeechAnalysisService final : public SpeechAnalysisService
{
public:
    UnavailableSpeechAnalysisService();
    ~UnavailableSpeechAnalysisService() override;

    bool isTranscriberAvailable() const override { return false; }
    QCoro::Task<QList<SpeechLocale>> supportedLocales() override;
    QCoro::Task<QList<SpeechLocale>> installedLocales() override;
    std::shared_ptr<SpeechTranscriber> makeTranscriber(const SpeechLocale &locale,
                                                       SpeechTranscriber::Options options) override;
    std::shared_ptr<SpeechAnalyzer>
    makeAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber) override;
    QCoro::Task<std::optional<AudioFormat>>
    bestAvailableAudioFormat(std::shared_ptr<SpeechTranscriber> transcriber) override;
    AssetInventory &assetInventory() override;

private:
    std::unique_ptr<AssetInventory> m_inventory;
};
