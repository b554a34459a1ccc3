#include "Platform/Pocketsphinx/PocketsphinxDecoderPool.h"
#include "Platform/Pocketsphinx/PocketsphinxModel.h"
#include "Platform/Pocketsphinx/PocketsphinxRecognitionService.h"

#include "Core/Transcription/RunTask.h"
#include "Platform/Pocketsphinx/LibrivoxDictation.h"
#include "TestSupport/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace {

void write(const QString &path, const QByteArray &content = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// A model folder laid out as the Debian packages install one, its files beginning as real ones
// do (never loaded).
void makeModel(const QString &root, const QString &name)
{
    const QString folder = root + u'/' + name;
    write(folder + u'/' + name + QStringLiteral("/mdef"), "BMDF");
    for (const char *part : {"means", "variances", "transition_matrices"}) {
        write(folder + u'/' + name + u'/' + QLatin1StringView(part), "s3\n");
    }
    write(folder + u'/' + name + QStringLiteral("-phone.lm.bin"));
    write(folder + u'/' + name + QStringLiteral(".lm.bin"));
    write(folder + QStringLiteral("/cmudict-") + name + QStringLiteral(".dict"));
}

PocketsphinxModel installedEnglish()
{
    for (const PocketsphinxModel &model : PocketsphinxModel::installed()) {
        if (model.locale == SpeechLocale(QStringLiteral("en-US"))) {
            return model;
        }
    }
    return {};
}

// Threads of this process.
int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

template<typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(30))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

TEST(PocketsphinxModelTest, FindsCompleteModelsNamedAfterTheirLocale)
{
    QTemporaryDir user;
    QTemporaryDir system;
    makeModel(user.path(), QStringLiteral("en-us"));
    makeModel(system.path(), QStringLiteral("en-us"));
    makeModel(system.path(), QStringLiteral("fr-fr"));
    // Incomplete, with an empty file, or not named after a locale: passed over.
    write(system.path() + QStringLiteral("/de-de/de-de/mdef"));
    makeModel(system.path(), QStringLiteral("it-it"));
    write(system.path() + QStringLiteral("/it-it/it-it/means"), QByteArray());
    makeModel(system.path(), QStringLiteral("es-es"));
    write(system.path() + QStringLiteral("/es-es/es-es/mdef"), "garbage");
    makeModel(system.path(), QStringLiteral("generic"));

    const auto models = PocketsphinxModel::installed({user.path(), system.path()});
    ASSERT_EQ(models.size(), 2);
    EXPECT_EQ(models[0].locale.bcp47Identifier(), QStringLiteral("en-US"));
    EXPECT_EQ(models[0].acousticModel, user.path() + QStringLiteral("/en-us/en-us"));
    EXPECT_EQ(models[0].languageModel, user.path() + QStringLiteral("/en-us/en-us.lm.bin"));
    EXPECT_EQ(models[0].dictionary, user.path() + QStringLiteral("/en-us/cmudict-en-us.dict"));
    EXPECT_EQ(models[1].locale.bcp47Identifier(), QStringLiteral("fr-FR"));
}

TEST(PocketsphinxRecognitionServiceTest, AuthorisedAndSupportedByWhatIsInstalled)
{
    const PocketsphinxModel english = installedEnglish();
    ASSERT_FALSE(english.locale.isEmpty())
        << "no pocketsphinx model for en-US (package pocketsphinx-en-us)";
    QList<PocketsphinxModel> models;
    PocketsphinxDecoderPool pool;
    PocketsphinxRecognitionService service(pool, [&] { return models; });
    using Status = SpeechRecognitionService::AuthorizationStatus;

    EXPECT_EQ(service.authorizationStatus(), Status::denied);
    EXPECT_FALSE(runTask(service.requestAuthorization()));
    EXPECT_TRUE(service.supportedLocales().isEmpty());
    EXPECT_FALSE(service.makeRecognizer(SpeechLocale(QStringLiteral("en-US"))));

    models = {english};
    EXPECT_EQ(service.authorizationStatus(), Status::authorized);
    EXPECT_TRUE(runTask(service.requestAuthorization()));
    EXPECT_EQ(service.supportedLocales(),
              QList<SpeechLocale> {SpeechLocale(QStringLiteral("en-US"))});
    EXPECT_FALSE(service.makeRecognizer(SpeechLocale(QStringLiteral("de-DE"))));
    auto recognizer = service.makeRecognizer(SpeechLocale(QStringLiteral("en_US")));
    ASSERT_TRUE(recognizer);
    EXPECT_TRUE(recognizer->isAvailable());
    EXPECT_TRUE(recognizer->supportsOnDeviceRecognition());
}

TEST(PocketsphinxRecognitionServiceTest, ReportsAModelThatCannotBeLoaded)
{
    const PocketsphinxModel english = installedEnglish();
    ASSERT_FALSE(english.locale.isEmpty())
        << "no pocketsphinx model for en-US (package pocketsphinx-en-us)";
    QTemporaryDir root;
    const QString broken = root.path() + QStringLiteral("/en-us/en-us.lm.bin");
    write(broken, "not a language model");
    PocketsphinxModel model = english;
    model.languageModel = broken;
    PocketsphinxDecoderPool pool;
    PocketsphinxRecognitionService service(pool, [&] { return QList<PocketsphinxModel> {model}; });
    auto recognizer = service.makeRecognizer(SpeechLocale(QStringLiteral("en-US")));
    ASSERT_TRUE(recognizer);

    std::atomic<bool> reported = false;
    std::exception_ptr error;
    bool hadResult = false;
    auto request = std::make_shared<SpeechRecognitionRequest>();
    auto task = recognizer->recognitionTask(request, [&](const auto &result, std::exception_ptr e) {
        hadResult = bool(result);
        error = e;
        reported = true;
    });
    // Without a queue the handler runs on the task's thread.
    for (int i = 0; i < 2000 && !reported; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(reported);
    EXPECT_FALSE(hadResult);
    EXPECT_TRUE(error);
    EXPECT_EQ(pool.idleCount(model), 0);
}

TEST(PocketsphinxDecoderPoolTest, ReusesLoadedDecoders)
{
    const PocketsphinxModel model = installedEnglish();
    ASSERT_FALSE(model.locale.isEmpty())
        << "no pocketsphinx model for en-US (package pocketsphinx-en-us)";
    PocketsphinxDecoderPool pool(1);

    auto first = pool.acquire(model);
    first->startUtterance();
    auto second = pool.acquire(model);
    EXPECT_EQ(pool.loadCount(), 2);
    PocketsphinxDecoder *const kept = first.get();
    // Handed back in the middle of an utterance: the pool ends it.
    pool.release(std::move(first));
    pool.release(std::move(second)); // beyond the idle limit: freed
    EXPECT_EQ(pool.idleCount(model), 1);

    auto again = pool.acquire(model);
    EXPECT_EQ(again.get(), kept);
    EXPECT_FALSE(again->isInUtterance());
    EXPECT_EQ(pool.loadCount(), 2);
    pool.release(std::move(again));

    // A preload is waited for instead of loading a second decoder at the same time.
    pool.clear();
    pool.preload(model);
    pool.preload(model);
    auto preloaded = pool.acquire(model);
    EXPECT_TRUE(preloaded);
    EXPECT_EQ(pool.loadCount(), 3);
}

TEST(PocketsphinxRecognitionServiceTest, CancelAtAnUtteranceEndAtAPauseLeavesNoThreadRunning)
{
    const PocketsphinxModel english = installedEnglish();
    ASSERT_FALSE(english.locale.isEmpty())
        << "no pocketsphinx model for en-US (package pocketsphinx-en-us)";
    const LibrivoxDictation dictation = LibrivoxDictation::load();
    ASSERT_EQ(dictation.sentences, 5)
        << "the librivox recordings of pocketsphinx-testdata are missing";
    PocketsphinxDecoderPool pool(1);
    pool.release(pool.acquire(english));
    PocketsphinxRecognitionService service(pool,
                                           [&] { return QList<PocketsphinxModel> {english}; });
    auto recognizer = service.makeRecognizer(SpeechLocale(QStringLiteral("en-US")));
    ASSERT_TRUE(recognizer);
    const int threadsBefore = threadCount();

    // All the audio is there when the task starts, so that it is taken as one piece: the first
    // result is the text settled at the first pause, reported before the decoder goes on. The
    // handler (on the task's own thread) cancels right there.
    auto request = std::make_shared<SpeechRecognitionRequest>();
    for (const AudioBuffer &buffer : dictation.audio.blocks(1024)) {
        request->append(buffer);
    }
    std::promise<std::shared_ptr<SpeechRecognizer::Task>> started;
    std::shared_future<std::shared_ptr<SpeechRecognizer::Task>> task = started.get_future().share();
    std::atomic<int> calls = 0;
    QString reported;
    bool wasFinal = true;
    started.set_value(recognizer->recognitionTask(
        request,
        [&, task](const std::optional<SpeechRecognizer::Result> &result, std::exception_ptr) {
            if (calls++ == 0 && result) {
                reported = result->formattedString;
                wasFinal = result->isFinal;
            }
            task.get()->cancel();
        }));

    ASSERT_TRUE(waitFor([&] { return pool.idleCount(english) == 1; }))
        << "the decoder never came back to the pool";
    EXPECT_TRUE(waitFor([&] { return threadCount() <= threadsBefore; }))
        << threadCount() << " threads, " << threadsBefore << " before the task";
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(wasFinal);
    EXPECT_TRUE(reported.contains(QStringLiteral("in his power to do"))) << reported.toStdString();
    EXPECT_FALSE(reported.contains(QStringLiteral("young man")))
        << "only the first sentence was settled: " << reported.toStdString();

    // The decoder it left behind recognises the next request from its start.
    std::promise<QString> finalText;
    auto next = std::make_shared<SpeechRecognitionRequest>();
    next->append(SpeechRecording::load(QStringLiteral("goforward.raw")));
    next->endAudio();
    auto nextTask = recognizer->recognitionTask(next, [&](const auto &result, std::exception_ptr) {
        if (result && result->isFinal) {
            finalText.set_value(result->formattedString);
        }
    });
    auto text = finalText.get_future();
    ASSERT_EQ(text.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(text.get(), QStringLiteral("go forward ten meters"));
    EXPECT_EQ(pool.loadCount(), 1);
    // The task's thread hands the decoder back after its final result; the pool must outlive
    // that.
    EXPECT_TRUE(waitFor([&] { return pool.idleCount(english) == 1; }));
    EXPECT_TRUE(waitFor([&] { return threadCount() <= threadsBefore; }));
}

TEST(PocketsphinxRecognitionServiceTest, ACancelledTaskEndsWithItsDecoderBackInThePool)
{
    const PocketsphinxModel english = installedEnglish();
    ASSERT_FALSE(english.locale.isEmpty())
        << "no pocketsphinx model for en-US (package pocketsphinx-en-us)";
    PocketsphinxDecoderPool pool(1);
    pool.release(pool.acquire(english));
    PocketsphinxRecognitionService service(pool,
                                           [&] { return QList<PocketsphinxModel> {english}; });
    auto recognizer = service.makeRecognizer(SpeechLocale(QStringLiteral("en-US")));
    ASSERT_TRUE(recognizer);
    const auto recording = SpeechRecording::load(QStringLiteral("goforward.raw"));
    const int threadsBefore = threadCount();

    // Started and cancelled as fast as a flood of commands would: each end is awaited, and the
    // one decoder is all there ever is.
    for (int i = 0; i < 50; ++i) {
        auto request = std::make_shared<SpeechRecognitionRequest>();
        request->append(recording);
        auto task = recognizer->recognitionTask(request, [](const auto &, std::exception_ptr) {});
        task->cancel();
        QFuture<void> ended = task->ended();
        ended.waitForFinished();
        ASSERT_EQ(pool.idleCount(english), 1) << i;
    }
    EXPECT_EQ(pool.loadCount(), 1);
    EXPECT_TRUE(waitFor([&] { return threadCount() <= threadsBefore; }));
}
