#include "Base/ManualClock.h"
#include "Base/UserDefaults.h"
#include "Core/AppSettings.h"
#include "Core/CloudAccount.h"
#include "Core/CloudSession.h"
#include "Core/CloudSync.h"
#include "Core/Keychain.h"
#include "Core/SharedVocabulary.h"
#include "Core/SpeechEnginePreparer.h"
#include "Core/SyncPayload.h"
#include "Core/UsageEventQueue.h"
#include "Core/VocabularyMigrator.h"
#include "Fakes/FakeUrlOpener.h"
#include "Platform/LoginItem.h"
#include "TestSupport/FakeCloudService.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <QCoro/QCoroTask>
#include <benchmark/benchmark.h>

// The two sync clients' own costs: the vocabulary blob of a large vocabulary (2,000 terms and
// 500 rules, more than any user keeps) written and read back, each under 2 ms; and a settings
// change that leaves the synced settings as they were (the voice-bar style): its debounced check
// must send no request and take under 0.1 ms.

namespace {

QStringList manyTerms()
{
    QStringList terms;
    for (int i = 0; i < 2000; ++i) {
        terms << QStringLiteral("Term%1 Müller/CI").arg(i);
    }
    return terms;
}

QList<Replacement> manyRules()
{
    QList<Replacement> rules;
    for (int i = 0; i < 500; ++i) {
        Replacement rule;
        rule.phrase = QStringLiteral("spoken phrase %1").arg(i);
        rule.expansion = QStringLiteral("the \"expansion\" of rule %1, with some words").arg(i);
        rule.isEnabled = i % 3 != 0;
        rules << rule;
    }
    return rules;
}

void BM_VocabularyBlobEncode(benchmark::State &state)
{
    const QStringList terms = manyTerms();
    const QList<Replacement> rules = manyRules();
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QString blob = SharedVocabulary::blob(terms, rules);
        bytes = blob.size();
        benchmark::DoNotOptimize(blob);
    }
    state.counters["chars"] = double(bytes);
}
BENCHMARK(BM_VocabularyBlobEncode)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_VocabularyBlobDecode(benchmark::State &state)
{
    const QString blob = SharedVocabulary::blob(manyTerms(), manyRules());
    for (auto _ : state) {
        const auto payload = SharedVocabulary::decodeBlob(blob);
        if (!payload || payload->terms.size() != 2000 || payload->replacements.size() != 500) {
            state.SkipWithError("the blob did not decode");
            break;
        }
        benchmark::DoNotOptimize(payload);
    }
}
BENCHMARK(BM_VocabularyBlobDecode)->Unit(benchmark::kMillisecond)->Repetitions(5);

struct Quiet final
    : VocabularyMigrator
    , UsageEventQueue
    , SpeechEnginePreparer
    , LoginItem
{
    void migrateIfNeeded(const QStringList &, const QList<Replacement> &) override { }
    void clearQueue() override { }
    QCoro::Task<> prepare(std::optional<QString>) override { co_return; }
    void prepareHints(std::optional<QString>, QStringList) override { }
    bool registerItem(QString &) override { return true; }
    bool unregisterItem(QString &) override { return true; }
};

void BM_SettingsChangeThatLeavesTheBlob(benchmark::State &state)
{
    QTemporaryDir home;
    const QByteArray previousData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.path().toUtf8()); // the debug log goes here, not to the user's

    FakeCloudService service;
    CloudSession session(service.baseURL());
    ManualClock clock;
    Keychain keychain(nullptr, clock);
    QCoro::waitFor(keychain.load());
    keychain.set(QStringLiteral("benchmark-token"), CloudAccount::tokenKey);
    keychain.set(QStringLiteral("bench@example.org"), CloudAccount::emailKey);
    FakeUrlOpener opener;
    CloudAccount account({&keychain, &session, &opener});
    UserDefaults defaults;
    Quiet quiet;
    AppSettings settings(defaults, {&quiet, &quiet, &quiet, &quiet, QString()});
    CloudSync sync({&settings, &defaults, &session, &account, &clock});
    sync.start(); // the first pull finds no copy and sends the settings
    while (sync.sync().isBusy()) {
        QCoreApplication::processEvents();
    }
    const size_t before = service.requestCount();

    bool classic = false;
    for (auto _ : state) {
        classic = !classic;
        settings.setVoiceBarStyle(classic ? VoiceBarStyle::classic : VoiceBarStyle::notch);
        clock.advance(VersionedBlobSync::pushDelay); // the debounced check runs here
    }
    QCoreApplication::processEvents();
    state.counters["requests"] = double(service.requestCount() - before);
    if (service.requestCount() != before || sync.sync().isBusy()) {
        state.SkipWithError("a change that leaves the blob sent a request");
    }
    qputenv("XDG_DATA_HOME", previousData);
}
BENCHMARK(BM_SettingsChangeThatLeavesTheBlob)->Unit(benchmark::kMicrosecond)->Repetitions(5);

} // namespace
