#include "Base/UserDefaults.h"
#include "Core/AppSettings.h"
#include "Core/Audio/AudioCapture.h"
#include "Core/DictationController.h"
#include "Core/History/HistoryStore.h"
#include "Core/Insertion/TextInsertion.h"
#include "Core/Keychain.h"
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
#include "Platform/LoginItem.h"
#include "Platform/SoundPlayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThreadPool>

#include <benchmark/benchmark.h>

#include <memory>

// The dictation pipeline's own cost: from the stop of a recording to the text handed to the
// inserter, with an engine that settles at once, rule-based cleanup, history on (a real file in
// a temporary folder) and the neighbouring services doing nothing.

namespace {

class SilentAudioEngine final : public AudioEngine
{
public:
    std::optional<QString> setCurrentDevice(const QString &) override { return std::nullopt; }
    Format inputFormat() const override { return {48000, 1}; }
    void installTap(qsizetype, const Format &, TapBlock) override { }
    void removeTap() override { }
    void prepare() override { }
    void start() override { m_running = true; }
    void stop() override { m_running = false; }
    bool isRunning() const override { return m_running; }

private:
    bool m_running = false;
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

void BM_KeyReleaseToInsertion(benchmark::State &state)
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
    services.cloud = &nothing;
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
    auto audio =
        std::make_unique<AudioCapture>([] { return std::make_unique<SilentAudioEngine>(); });
    DictationController controller(services, std::move(audio));

    for (auto _ : state) {
        state.PauseTiming();
        controller.startRecording(DictationTrigger::menu);
        pumpUntil([&] { return !controller.finalizedText().isEmpty(); });
        pumpUntil([&] { return controller.focusContext().has_value(); });
        const int before = inserter.insertions;
        state.ResumeTiming();

        controller.stopAndInsert();
        pumpUntil([&] { return inserter.insertions > before; });

        state.PauseTiming();
        pumpUntil([&] { return controller.state() == DictationState::idle; });
        state.ResumeTiming();
    }

    QThreadPool::globalInstance()->waitForDone();
    UserDefaults::overrideStandard(nullptr);
    qputenv("XDG_DATA_HOME", previousData);
}

} // namespace

BENCHMARK(BM_KeyReleaseToInsertion)->Unit(benchmark::kMillisecond);
