#pragma once

#include "Fakes/ManualGate.h"
#include "Platform/SpeechAnalysisService.h"

#include <QCoreApplication>

#include <memory>
#include <vector>

// A transcriber whose results the test yields through `results`.
class FakeSpeechTranscriber final : public SpeechTranscriber
{
public:
    FakeSpeechTranscriber(SpeechLocale locale, Options options)
        : options(options)
        , m_locale(std::move(locale))
    { }

    SpeechLocale locale() const override { return m_locale; }
    AsyncStream<Result> results() override { return stream; }

    void yieldVolatile(const QString &text) { stream.yield({text, false}); }
    void yieldFinal(const QString &text) { stream.yield({text, true}); }

    const Options options;
    AsyncStream<Result> stream;

private:
    SpeechLocale m_locale;
};

// An analyzer that records its calls and collects the audio it is given. Finalising and
// cancelling end its transcriber's results, as the system's analyzer does. Each call can be held
// at a gate or made to fail.
class FakeSpeechAnalyzer final : public SpeechAnalyzer
{
public:
    explicit FakeSpeechAnalyzer(std::shared_ptr<FakeSpeechTranscriber> transcriber)
        : transcriber(std::move(transcriber))
    { }

    QCoro::Task<void> setContext(QStringList contextualStrings) override
    {
        context = contextualStrings;
        ++setContextCalls;
        if (contextError) {
            std::rethrow_exception(contextError);
        }
        co_return;
    }

    QCoro::Task<void> start(AsyncStream<AudioBuffer> input) override
    {
        ++startCalls;
        m_input = input;
        m_collector = collect(input, this);
        if (startGate) {
            co_await startGate->wait();
        }
        if (startError) {
            std::rethrow_exception(startError);
        }
    }

    QCoro::Task<void> finalizeAndFinishThroughEndOfInput() override
    {
        ++finalizeCalls;
        if (finalizeError) {
            std::rethrow_exception(finalizeError);
        }
        transcriber->stream.finish();
        co_return;
    }

    QCoro::Task<void> cancelAndFinishNow() override
    {
        ++cancelCalls;
        transcriber->stream.finish();
        co_return;
    }

    // Lets the collector take what has been fed so far.
    static void pump()
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
        }
    }

    // The collector must not outlive the analyzer.
    ~FakeSpeechAnalyzer() override
    {
        if (m_input) {
            m_input->cancel();
            pump();
        }
    }

    const std::shared_ptr<FakeSpeechTranscriber> transcriber;
    QStringList context;
    int setContextCalls = 0;
    int startCalls = 0;
    int finalizeCalls = 0;
    int cancelCalls = 0;
    std::exception_ptr contextError;
    std::exception_ptr startError;
    std::exception_ptr finalizeError;
    ManualGate *startGate = nullptr;
    std::vector<AudioBuffer> received;
    bool inputEnded = false;

private:
    static QCoro::Task<void> collect(AsyncStream<AudioBuffer> input, FakeSpeechAnalyzer *analyzer)
    {
        try {
            while (auto buffer = co_await input.next()) {
                analyzer->received.push_back(*buffer);
            }
            analyzer->inputEnded = true;
        } catch (...) { }
    }

    std::optional<AsyncStream<AudioBuffer>> m_input;
    QCoro::Task<void> m_collector;
};

// A model download whose progress the test sets and whose end it opens.
class FakeInstallationRequest final : public AssetInventory::InstallationRequest
{
public:
    double fractionCompleted() const override { return fraction; }
    QCoro::Task<void> downloadAndInstall() override
    {
        ++downloads;
        co_await gate.wait();
    }

    double fraction = 0;
    int downloads = 0;
    ManualGate gate;
};

// Analyzer-based transcription as the test sets it up. (Members are returned as copies: QCoro's
// co_return moves from a named lvalue.)
class FakeSpeechAnalysisService final
    : public SpeechAnalysisService
    , public AssetInventory
{
public:
    bool isTranscriberAvailable() const override { return available; }
    QCoro::Task<QList<SpeechLocale>> supportedLocales() override
    {
        co_return QList<SpeechLocale>(supported);
    }
    QCoro::Task<QList<SpeechLocale>> installedLocales() override
    {
        co_return QList<SpeechLocale>(installed);
    }

    std::shared_ptr<SpeechTranscriber> makeTranscriber(const SpeechLocale &locale,
                                                       SpeechTranscriber::Options options) override
    {
        transcribers.push_back(std::make_shared<FakeSpeechTranscriber>(locale, options));
        return transcribers.back();
    }

    std::shared_ptr<SpeechAnalyzer>
    makeAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber) override
    {
        auto fake = std::static_pointer_cast<FakeSpeechTranscriber>(transcriber);
        analyzers.push_back(std::make_shared<FakeSpeechAnalyzer>(fake));
        if (prepareAnalyzer) {
            prepareAnalyzer(*analyzers.back());
        }
        return analyzers.back();
    }

    QCoro::Task<std::optional<AudioFormat>>
    bestAvailableAudioFormat(std::shared_ptr<SpeechTranscriber>) override
    {
        co_return std::optional<AudioFormat>(format);
    }

    AssetInventory &assetInventory() override { return *this; }

    QCoro::Task<QList<SpeechLocale>> reservedLocales() override
    {
        co_return QList<SpeechLocale>(reserved);
    }
    int maximumReservedLocales() const override { return maximumReserved; }
    QCoro::Task<bool> release(SpeechLocale locale) override
    {
        released.append(locale);
        reserved.removeAll(locale);
        co_return true;
    }
    QCoro::Task<std::shared_ptr<InstallationRequest>>
    assetInstallationRequest(std::shared_ptr<SpeechTranscriber>) override
    {
        ++installationRequests;
        if (requestError) {
            std::rethrow_exception(requestError);
        }
        co_return std::shared_ptr<InstallationRequest>(request);
    }

    FakeSpeechAnalyzer &lastAnalyzer() { return *analyzers.back(); }
    FakeSpeechTranscriber &lastTranscriber() { return *transcribers.back(); }

    bool available = true;
    QList<SpeechLocale> supported;
    QList<SpeechLocale> installed;
    std::optional<AudioFormat> format = AudioFormat {16000, 1};
    QList<SpeechLocale> reserved;
    int maximumReserved = 3;
    QList<SpeechLocale> released;
    int installationRequests = 0;
    std::exception_ptr requestError;
    // Absent: nothing to install.
    std::shared_ptr<FakeInstallationRequest> request;
    std::function<void(FakeSpeechAnalyzer &)> prepareAnalyzer;
    std::vector<std::shared_ptr<FakeSpeechTranscriber>> transcribers;
    std::vector<std::shared_ptr<FakeSpeechAnalyzer>> analyzers;
};
