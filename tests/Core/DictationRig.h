#pragma once

#include "Base/ManualClock.h"
#include "Base/UserDefaults.h"
#include "Core/Audio/AudioCapture.h"
#include "Core/DebugLogCapture.h"
#include "Core/DictationController.h"
#include "Core/DictationTrace.h"
#include "Core/History/HistoryStore.h"
#include "Core/Keychain.h"
#include "Fakes/FakeAnswerCard.h"
#include "Fakes/FakeAudioEngine.h"
#include "Fakes/FakeAudioHardware.h"
#include "Fakes/FakeCleanupFactory.h"
#include "Fakes/FakeCloudDictation.h"
#include "Fakes/FakeConnectionWarmer.h"
#include "Fakes/FakeContextComposer.h"
#include "Fakes/FakeCorrectionLearner.h"
#include "Fakes/FakeSignInPrompt.h"
#include "Fakes/FakeSoundPlayer.h"
#include "Fakes/FakeTextInsertion.h"
#include "Fakes/FakeUsageReporter.h"
#include "Fakes/FakeVocabulary.h"
#include "Fakes/ScriptedEngineFactory.h"
#include "Fakes/TestAppSettings.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>
#include <mutex>

// A dictation controller on fakes of everything around it, on a manual clock. The microphone is a
// real AudioCapture over a scripted audio engine (deliver() plays the capture thread); the speech
// engine of each session is a ScriptedTranscriptionEngine; the history is a real store in a
// temporary folder; the debug log is captured.
//
// Time moves only with advance(). Work that hops through the event loop (the session's tasks, the
// stream's wake-ups, the focus read on the thread pool) runs in pump() and waitUntil(), which
// never wait for a timer.
class DictationRig
{
public:
    bool neighbours = true;

    // `withNeighbours` false: a build without the vocabulary, learning, cloud, reporting and
    // answer-card subsystems (their services absent).
    explicit DictationRig(bool withNeighbours = true)
        : neighbours(withNeighbours)
    {
        UserDefaults::overrideStandard(&defaults);
        settings.make();
        settings->setSpeechLocaleID(QStringLiteral("en-US"));
        settings->setCleanupMode(CleanupMode::rules);
        focus.appName = QStringLiteral("Editor");
        focus.bundleID = QStringLiteral("org.example.editor");
        focus.windowTitle = QStringLiteral("notes.txt");

        auto capture =
            std::make_unique<AudioCapture>(FakeAudioEngine::factory(audioScript), hardware, clock);
        audio = capture.get();
        controller = std::make_unique<DictationController>(services(), std::move(capture));
    }

    ~DictationRig()
    {
        // Lets a held focus read end before the controller goes.
        focusGate.release(1000);
        controller.reset();
        pump();
        QThreadPool::globalInstance()->waitForDone();
        pump();
        UserDefaults::overrideStandard(nullptr);
    }

    DictationRig(const DictationRig &) = delete;
    DictationRig &operator=(const DictationRig &) = delete;

    DictationController::Services services()
    {
        DictationController::Services s;
        s.settings = settings.settings.get();
        s.keychain = &keychain;
        s.defaults = &defaults;
        s.clock = &clock;
        s.engines = &engines;
        s.history = &history;
        s.insertion = &insertion;
        s.sounds = &sounds;
        s.vocabulary = &vocabulary;
        s.learner = learnerInUse ? learnerInUse : &learner;
        s.composer = &composer;
        s.cleanup = cleanupInUse ? cleanupInUse : &cleanup;
        s.cloud = cloudInUse ? cloudInUse : &cloud;
        s.warmer = &warmer;
        s.reporter = &reporter;
        s.signIn = &signInPrompt;
        s.answerCard = &answerCard;
        if (!neighbours) {
            s.vocabulary = nullptr;
            s.learner = nullptr;
            s.composer = nullptr;
            s.cleanup = nullptr;
            s.cloud = nullptr;
            s.warmer = nullptr;
            s.reporter = nullptr;
            s.signIn = nullptr;
            s.answerCard = nullptr;
        }
        s.readFocus = [this](qint64 maxLength) {
            FocusContext snapshot;
            bool hold = false;
            {
                std::lock_guard guard(focusLock);
                focusReadLengths << maxLength;
                snapshot = focus;
                hold = holdFocusReads;
                if (hold) {
                    ++blockedFocusReads;
                }
            }
            if (hold) {
                focusGate.acquire();
            }
            return snapshot;
        };
        s.microphoneGranted = [this] {
            return microphoneGranted;
        };
        s.requestMicrophone = [this] {
            ++microphoneRequests;
        };
        s.ensureLocaleConfigured = [this](std::shared_ptr<TranscriptionEngine> engine)
            -> QCoro::Task<SpeechLocaleResolver::Resolution> {
            localeChecks << engine;
            co_return SpeechLocaleResolver::Resolution(localeResolution);
        };
        s.announceLocaleSwitch = [this](const SpeechLocale &locale) {
            announcements << locale.identifier();
        };
        return s;
    }

    // Builds the controller again around `other` in place of the recording learner (nullptr: the
    // recording one again). Only while no session runs.
    void replaceLearner(CorrectionLearning *other)
    {
        learnerInUse = other;
        rebuild();
    }

    // Builds the controller again around other cloud dictation and cleanup stages (the real
    // clients, say) in place of the fakes. Only while no session runs.
    void replaceCloud(CloudDictation *dictation, CleanupStageFactory *stages)
    {
        cloudInUse = dictation;
        cleanupInUse = stages;
        rebuild();
    }

    void rebuild()
    {
        controller.reset();
        pump();
        auto capture =
            std::make_unique<AudioCapture>(FakeAudioEngine::factory(audioScript), hardware, clock);
        audio = capture.get();
        controller = std::make_unique<DictationController>(services(), std::move(capture));
    }

    AppSettings &appSettings() { return *settings.settings; }
    DictationController &c() { return *controller; }
    ScriptedTranscriptionEngine &engine() { return engines.last(); }

    void signIn() { keychain.set(QStringLiteral("token"), QStringLiteral("cloudToken")); }
    void setFocus(const FocusContext &context)
    {
        std::lock_guard guard(focusLock);
        focus = context;
    }
    // While on, every focus read takes its snapshot, then waits for one release of focusGate.
    void holdFocusRead(bool hold)
    {
        std::lock_guard guard(focusLock);
        holdFocusReads = hold;
    }
    int blockedReads()
    {
        std::lock_guard guard(focusLock);
        return blockedFocusReads;
    }

    // Runs what waits in the event loop.
    static void pump()
    {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
        }
    }

    // Runs the event loop until the condition holds (work on the thread pool included).
    template<typename Predicate>
    static bool waitUntil(Predicate predicate)
    {
        return QTest::qWaitFor(predicate, 5000);
    }

    void advance(std::chrono::nanoseconds by)
    {
        clock.advance(by);
        pump();
    }

    // A held hotkey session of `task`, its focus read back and its engine session open.
    void startHeld(DictationTask task = DictationTask::cleanup)
    {
        c().holdKeyDown(task);
        settle();
    }

    // A menu session of the controller's current task, settled like startHeld().
    void startMenu()
    {
        c().startRecording(DictationTrigger::menu);
        settle();
    }

    void settle()
    {
        if (c().state() == DictationState::recording && !holdFocusReads) {
            waitUntil([this] { return c().focusContext().has_value(); });
        }
        pump();
    }

    // Captures one buffer of `frames` frames of silence on the capture thread's behalf.
    bool deliver(qsizetype frames = 4096)
    {
        if (audioScript.engines.isEmpty() || !audioScript.engines.last()) {
            return false;
        }
        AudioBuffer buffer;
        buffer.sampleRate = audioScript.format.sampleRate;
        buffer.channels = audioScript.format.channels;
        buffer.samples.assign(size_t(frames * buffer.channels), 0.0f);
        return audioScript.engines.last()->deliver(buffer);
    }

    void say(const EngineUpdate &update)
    {
        engine().say(update);
        pump();
    }

    // Releases the hotkey `held` after the session started and waits for the processing to end.
    void releaseAfter(std::chrono::nanoseconds held)
    {
        advance(held);
        c().holdKeyUp(DictationTask::cleanup);
        waitIdle();
    }

    bool waitIdle()
    {
        return waitUntil([this] { return c().state() == DictationState::idle; });
    }

    // The names of the trace's marks, in order.
    static QStringList markNames(const DictationTrace &trace)
    {
        QStringList names;
        for (const DictationTrace::Mark &mark : trace.marks()) {
            names << mark.name;
        }
        return names;
    }

    // The detail of the first mark of this name; empty when it has none or is missing.
    static QString detail(const DictationTrace &trace, const QString &name)
    {
        for (const DictationTrace::Mark &mark : trace.marks()) {
            if (mark.name == name) {
                return mark.detail.value_or(QString());
            }
        }
        return QString();
    }

    // The log messages that begin with `prefix`.
    QStringList logLines(const QString &prefix) const
    {
        QStringList lines;
        for (const QString &line : log.messages()) {
            if (line.startsWith(prefix)) {
                lines << line;
            }
        }
        return lines;
    }

    DebugLogCapture log;
    ManualClock clock;
    UserDefaults defaults;
    TestAppSettings settings;
    Keychain keychain {nullptr, clock};
    QTemporaryDir folder;
    HistoryStore history {folder.path() + QStringLiteral("/history.json"), clock, [] {
                              return qint64(30);
                          }};
    FakeAudioEngine::Script audioScript;
    FakeAudioHardware hardware;
    ScriptedEngineFactory engines;
    FakeTextInsertion insertion;
    FakeSoundPlayer sounds;
    FakeVocabulary vocabulary;
    FakeCorrectionLearner learner;
    CorrectionLearning *learnerInUse = nullptr;
    FakeContextComposer composer;
    FakeCleanupFactory cleanup;
    CleanupStageFactory *cleanupInUse = nullptr;
    FakeCloudDictation cloud {clock};
    CloudDictation *cloudInUse = nullptr;
    FakeConnectionWarmer warmer;
    FakeUsageReporter reporter;
    FakeSignInPrompt signInPrompt;
    FakeAnswerCard answerCard;

    std::mutex focusLock;
    FocusContext focus;
    QList<qint64> focusReadLengths;
    bool holdFocusReads = false;
    int blockedFocusReads = 0;
    QSemaphore focusGate;

    bool microphoneGranted = true;
    int microphoneRequests = 0;
    SpeechLocaleResolver::Resolution localeResolution {SpeechLocale(QStringLiteral("en-US")),
                                                       false};
    QList<std::shared_ptr<TranscriptionEngine>> localeChecks;
    QStringList announcements;

    AudioCapture *audio = nullptr;
    std::unique_ptr<DictationController> controller;
};
