#include "Platform/Unavailable/UnavailableSpeechAnalysisService.h"

#include <stdexcept>

namespace {

class EmptyAssetInventory final : public AssetInventory
{
public:
    QCoro::Task<QList<SpeechLocale>> reservedLocales() override { co_return {}; }
    int maximumReservedLocales() const override { return 0; }
    QCoro::Task<bool> release(SpeechLocale) override { co_return false; }
    QCoro::Task<std::shared_ptr<InstallationRequest>>
    assetInstallationRequest(std::shared_ptr<SpeechTranscriber>) override
    {
        throw std::runtime_error("speech analysis models are not available on this system");
        co_return std::shared_ptr<InstallationRequest>();
    }
};

} // namespace

UnavailableSpeechAnalysisService::UnavailableSpeechAnalysisService()
    : m_inventory(std::make_unique<EmptyAssetInventory>())
{ }

UnavailableSpeechAnalysisService::~UnavailableSpeechAnalysisService() = default;

QCoro::Task<QList<SpeechLocale>> UnavailableSpeechAnalysisService::supportedLocales()
{
    co_return {};
}

QCoro::Task<QList<SpeechLocale>> UnavailableSpeechAnalysisService::installedLocales()
{
    co_return {};
}

std::shared_ptr<SpeechTranscriber>
UnavailableSpeechAnalysisService::makeTranscriber(const SpeechLocale &, SpeechTranscriber::Options)
{
    return nullptr;
}

std::shared_ptr<SpeechAnalyzer>
UnavailableSpeechAnalysisService::makeAnalyzer(std::shared_ptr<SpeechTranscriber>)
{
    return nullptr;
}

QCoro::Task<std::optional<AudioFormat>>
UnavailableSpeechAnalysisService::bestAvailableAudioFormat(std::shared_ptr<SpeechTranscriber>)
{
    co_return std::nullopt;
}

AssetInventory &UnavailableSpeechAnalysisService::assetInventory()
{
    return *m_inventory;
}

std::shared_ptr<SpeechAnalysisService> SpeechAnalysisService::system()
{
    static const auto service = std::make_shared<UnavailableSpeechAnalysisService>();
    return service;
}
