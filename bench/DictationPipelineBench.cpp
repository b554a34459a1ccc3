#include "Base/UserDefaults.h"
#include "Core/AppSettings.h"
#include "Core/Audio/AudioCapture.h"
#include "Core/CloudDictate.h"
#include "Core/CloudSession.h"
#include "Core/DictationController.h"
#include "Core/History/HistoryStore.h"
#include "Core/Insertion/TextInsertion.h"
#include "Core/Keychain.h"
#include "Core/QuotaNotice.h"
#include "Core/Services/AnswerPresenting.h"
#include "Core/Services/CleanupStageFactory.h"
#include "Core/Services/CloudDictation.h"
#include "Core/Services/ConnectionWarming.h"
#include "Core/Services/ContextComposing.h"
#include "Core/Services/CorrectionLearning.h"
#include "Core/Services/SignInPrompting.h"
#include "Core/Services/UsageReporting.h"
#include "Core/Services/VocabularySource.h"
#include "Core/SpeechEnginePreparer.h"
#include "Core/TextCleanup/RuleBasedCleanup.h"
#include "Core/Transcription/TranscriptionEngineFactory.h"
#include "Core/UsageEventQueue.h"
#include "Core/VocabularyMigrator.h"
#include "Platform/AudioEngine.h"
#include "Platform/Linux/LinuxLowDelayConnections.h"
#include "Platform/LoginItem.h"
#include "Platform/SoundPlayer.h"
#include "TestSupport/FakeCloudService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThreadPool>

#include <benchmark/benchmark.h>

#include <memory>

// The dictation pipeline's own cost: from the stop of a recording to the text handed to the
// inserter, with an engine that settles at once, rule-based cleanup, history on (a real file in
// a temporary folder) and the neighbouring services doing nothing. Beside it the same for a
// signed-in user with cloud transcription: three seconds of speech (about 96 KB of WAV) go to a
// loopback service that answers at once. The cloud path should stay within the on-device one
// plus 60 ms: everything it adds is the request's way through the loopback connection.

namespace {

class SilentAudioEngine final : public AudioEngine
{
public:
    std::optional<QString> setCurrentDevice(const QString &) override { return std::nullopt; }
    Format inputFormat() const override { return {48000, 1}; }
    void installTap(qsizetype, const Format &, TapBlock block) override { m_block = block; }
    void removeTap() override { m_block = {}; }
    void prepare() override { }
    void start() override { m_running = true; }
    void stop() override { m_running = false; }
    bool isRunning() const override { return m_running; }

    // `seconds` of silence, as the capture thread would hand them over.
    void deliver(double seconds)
    {
        AudioBuffer buffer;
        buffer.sampleRate = 48000;
        buffer.channels = 1;
        buffer.samples.assign(4800, 0.0f);
        for (int i = 0; m_block && i < int(seconds * 10); ++i) {
            m_block(buffer);
        }
    }

private:
    bool m_running = false;
    TapBlock m_block;
};

// Recognises one sentence as soon as its session opens and ends the stream when finished.
class SettledEngine final : public TranscriptionEngine
{
public:
    QString name() const override { return QStringLiteral("Settled"); }
    QCoro::Task<void> prepare(SpeechLocale, ProgressCallback) override { co_return; }
    QCoro::Task<QList<SpeechLocale>> supportedLocales() override { co_return {}; }
    QCoro::Task<AsyncStream<EngineUpdate>> startSession(SpeechLocale, QStringList) override
    {
        m_stream.yield(EngineUpdate::makeFinalized(
            QStringLiteral("um so the meeting is moved to Thursday at three, uh, in room four")));
        co_return AsyncStream<EngineUpdate>(m_stream);
    }
    void feed(const AudioBuffer &) override { }
    QCoro::Task<void> finishSession() override
    {
        m_stream.finish();
        co_return;
    }
    QCoro::Task<void> cancelSession() override
    {
        m_stream.finish();
        co_return;
    }

private:
    AsyncStream<EngineUpdate> m_stream;
};

struct Engines final : TranscriptionEngineFactory
{
    std::shared_ptr<TranscriptionEngine> make() override
    {
        return std::make_shared<SettledEngine>();
    }
};

struct Inserter final : TextInsertion
{
    void readClipboardAhead() override { }
    PasteInserter::SnapshotTask beginSnapshot() override
    {
        return PasteInserter::SnapshotTask(empty());
    }
    QCoro::Task<bool> paste(QString, bool, int, std::optional<PasteInserter::SnapshotTask>,
                            SessionContext) override
    {
        ++insertions;
        co_return true;
    }
    QCoro::Task<bool> type(QString, SessionContext) override { co_return true; }
    void putOnClipboard(const QString &) override { }
    static QCoro::Task<std::optional<Pasteboard::Snapshot>> empty()
    {
        co_return Pasteboard::Snapshot {};
    }
    int insertions = 0;
};

struct RulesFactory final : CleanupStageFactory
{
    std::shared_ptr<const TextCleanupService> make(CleanupMode, int) override
    {
        return std::make_shared<RuleBasedCleanup>();
    }
    std::shared_ptr<const TextCleanupService> makeCloud(const QString &, const QString &,
                                                        const QString &, int) override
    {
        return std::make_shared<RuleBasedCleanup>();
    }
};

struct Nothing final
    : VocabularySource
    , CorrectionLearning
    , ContextComposing
    , CloudDictation
    , ConnectionWarming
    , UsageReporting
    , SignInPrompting
    , AnswerPresenting
    , SoundPlayer
    , VocabularyMigrator
    , UsageEventQueue
    , SpeechEnginePreparer
    , LoginItem
{
    QStringList terms() const override { return {QStringLiteral("Thursday")}; }
    QList<Replacement> replacements() const override { return {}; }
    void checkAndSend(const FocusContext &) override { }
    void remember(const QString &, const std::optional<QString> &) override { }
    std::optional<QString> compose(const std::optional<FocusContext> &,
                                   const QStringList &) const override
    {
        return std::nullopt;
    }
    QCoro::Task<std::optional<Outcome>> run(QByteArray, DictationTask, CleanupMode, QString, int,
                                            CleanupContext, SessionContext) override
    {
        co_return std::nullopt;
    }
    QCoro::Task<QString> finalText(Outcome outcome, DictationTask, CleanupMode, CleanupContext,
                                   SessionContext) override
    {
        co_return outcome.raw;
    }
    void warm() override { }
    void record(const QString &, const QVariantMap &) override { }
    void sample(const QVariantMap &) override { }
    void promptForCloud(bool) override { }
    void show(const QString &, const QString &) override { }
    void showError() override { }
    void showSignInRequired() override { }
    void play(const QString &) override { }
    void migrateIfNeeded(const QStringList &, const QList<Replacement> &) override { }
    void clearQueue() override { }
    QCoro::Task<> prepare(std::optional<QString>) override { co_return; }
    void prepareHints(std::optional<QString>, QStringList) override { }
    bool registerItem(QString &) override { return true; }
    bool unregisterItem(QString &) override { return true; }
};

void pumpUntil(const std::function<bool()> &done)
{
    while (!done()) {
        QCoreApplication::processEvents();
    }
}

// Key release to the text handed to the inserter; with `cloud`, signed in with cloud
// transcription against a service that answers at once.
void releaseToInsertion(benchmark::State &state, bool cloud)
{
    QTemporaryDir home;
    const QByteArray previousData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.path().toUtf8()); // the debug log goes here, not to the user's

    UserDefaults defaults;
    UserDefaults::overrideStandard(&defaults);
    Nothing nothing;
    AppSettings settings(defaults, {&nothing, &nothing, &nothing, &nothing, QString()});
    settings.setSpeechLocaleID(QStringLiteral("en-US"));
    settings.setCleanupMode(CleanupMode::rules);
    settings.setPlaySounds(false);
    Keychain keychain(nullptr, Clock::system());
    FakeCloudService service;
    service.respond("/api/dictate",
                    FakeCloudService::Reply::json(
                        R"({"raw":"um so the meeting is moved to Thursday at three",)"
                        R"("text":"So the meeting is moved to Thursday at three."})"));
    CloudSession session(service.baseURL());
    LinuxLowDelayConnections lowDelay;
    session.setLowDelay(&lowDelay);
    QuotaNotice quota(Clock::system());
    CloudDictate::Services cloudServices;
    cloudServices.session = &session;
    cloudServices.quota = &quota;
    cloudServices.token = [] {
        return std::optional<QString>(QStringLiteral("bench-token"));
    };
    cloudServices.clock = &Clock::system();
    CloudDictate dictate(cloudServices);
    if (cloud) {
        keychain.set(QStringLiteral("bench-token"), QStringLiteral("cloudToken"));
        settings.setCloudSTT(true);
        settings.setCleanupMode(CleanupMode::cloud);
    }
    HistoryStore history(home.path() + QStringLiteral("/history.json"), Clock::system(),
                         [] { return qint64(30); });
    Engines engines;
    Inserter inserter;
    RulesFactory cleanup;

    DictationController::Services services;
    services.settings = &settings;
    services.keychain = &keychain;
    services.defaults = &defaults;
    services.engines = &engines;
    services.history = &history;
    services.insertion = &inserter;
    services.sounds = &nothing;
    services.vocabulary = &nothing;
    services.learner = &nothing;
    services.composer = &nothing;
    services.cleanup = &cleanup;
    services.cloud = cloud ? static_cast<CloudDictation *>(&dictate) : &nothing;
    services.warmer = &nothing;
    services.reporter = &nothing;
    services.signIn = &nothing;
    services.answerCard = &nothing;
    services.readFocus = [](qint64) {
        return FocusContext {};
    };
    services.microphoneGranted = [] {
        return true;
    };
    SilentAudioEngine *microphone = nullptr;
    auto audio = std::make_unique<AudioCapture>([&microphone] {
        auto engine = std::make_unique<SilentAudioEngine>();
        microphone = engine.get();
        return engine;
    });
    DictationController controller(services, std::move(audio));

    for (auto _ : state) {
        state.PauseTiming();
        controller.startRecording(DictationTrigger::menu);
        pumpUntil([&] { return !controller.finalizedText().isEmpty(); });
        pumpUntil([&] { return controller.focusContext().has_value(); });
        if (microphone) {
            microphone->deliver(3.0);
        }
        const int before = inserter.insertions;
        state.ResumeTiming();

        controller.stopAndInsert();
        pumpUntil([&] { return inserter.insertions > before; });

        state.PauseTiming();
        pumpUntil([&] { return controller.state() == DictationState::idle; });
        state.ResumeTiming();
    }
    if (cloud && service.requests("/api/dictate").size() < size_t(state.iterations())) {
        state.SkipWithError("a dictation did not go to the service");
    }

    QThreadPool::globalInstance()->waitForDone();
    UserDefaults::overrideStandard(nullptr);
    qputenv("XDG_DATA_HOME", previousData);
}

void BM_KeyReleaseToInsertion(benchmark::State &state)
{
    releaseToInsertion(state, false);
}

void BM_SignedInCloudKeyReleaseToInsertion(benchmark::State &state)
{
    releaseToInsertion(state, true);
}

} // namespace

BENCHMARK(BM_KeyReleaseToInsertion)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignedInCloudKeyReleaseToInsertion)->Unit(benchmark::kMillisecond);
