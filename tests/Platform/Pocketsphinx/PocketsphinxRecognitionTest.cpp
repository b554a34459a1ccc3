#include "Platform/Pocketsphinx/PocketsphinxDecoderPool.h"
#include "Platform/Pocketsphinx/PocketsphinxModel.h"
#include "Platform/Pocketsphinx/PocketsphinxRecognitionService.h"

#include "Core/DebugLog.h"
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

// A recogniser of one model with a pool of its own. Each recognition returns once the task's
// decoder is back in the pool: the task's thread hands it back after the final result, and the
// pool must outlive that.
struct PooledRecognizer
{
    // With `loadAhead` the pool's one decoder is loaded before the recogniser is made: the tasks
    // only borrow it, and no preload thread runs beside them.
    explicit PooledRecognizer(PocketsphinxModel recognised, bool loadAhead = false)
        : model(std::move(recognised))
        , service(pool, [this] { return QList<PocketsphinxModel> {model}; })
    {
        if (loadAhead) {
            pool.release(pool.acquire(model));
        }
        recognizer = service.makeRecognizer(model.locale);
    }

    // The final text of one recognition task over the audio, all of it there when the task
    // starts; "(failed)" when the task reports an error.
    QString recognise(const AudioBuffer &audio, SpeechRecognitionRequest::Options options = {})
    {
        auto request = std::make_shared<SpeechRecognitionRequest>(std::move(options));
        for (const AudioBuffer &buffer : audio.blocks(1024)) {
            request->append(buffer);
        }
        request->endAudio();
        auto text = std::make_shared<std::promise<QString>>();
        auto task = recognizer->recognitionTask(
            request, [text](const auto &result, std::exception_ptr error) {
                if (error) {
                    text->set_value(QStringLiteral("(failed)"));
                } else if (result && result->isFinal) {
                    text->set_value(result->formattedString);
                }
            });
        auto future = text->get_future();
        if (future.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
            return QStringLiteral("(no final result)");
        }
        EXPECT_TRUE(waitFor([&] { return pool.idleCount(model) == 1; }));
        return future.get();
    }

    PocketsphinxModel model;
    PocketsphinxDecoderPool pool {1};
    PocketsphinxRecognitionService service;
    std::shared_ptr<SpeechRecognizer> recognizer;
};

SpeechRecognitionRequest::Options withTerms(const QStringList &terms)
{
    SpeechRecognitionRequest::Options options;
    options.contextualStrings = terms;
    return options;
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
    PooledRecognizer pooled(english, true);
    ASSERT_TRUE(pooled.recognizer);
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
    started.set_value(pooled.recognizer->recognitionTask(
        request,
        [&, task](const std::optional<SpeechRecognizer::Result> &result, std::exception_ptr) {
            if (calls++ == 0 && result) {
                reported = result->formattedString;
                wasFinal = result->isFinal;
            }
            task.get()->cancel();
        }));

    // The task takes the decoder on its own thread: until the handler has run, an idle decoder
    // may be one the task has not taken yet.
    ASSERT_TRUE(waitFor([&] { return calls > 0 && pooled.pool.idleCount(english) == 1; }))
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
    auto nextTask =
        pooled.recognizer->recognitionTask(next, [&](const auto &result, std::exception_ptr) {
            if (result && result->isFinal) {
                finalText.set_value(result->formattedString);
            }
        });
    auto text = finalText.get_future();
    ASSERT_EQ(text.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(text.get(), QStringLiteral("go forward ten meters"));
    EXPECT_EQ(pooled.pool.loadCount(), 1);
    // The task's thread hands the decoder back after its final result; the pool must outlive
    // that.
    EXPECT_TRUE(waitFor([&] { return pooled.pool.idleCount(english) == 1; }));
    EXPECT_TRUE(waitFor([&] { return threadCount() <= threadsBefore; }));
}

// The user's dictionary terms as hints, on the real decoder and the packaged recordings.
class PocketsphinxHintsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        english = installedEnglish();
        ASSERT_FALSE(english.locale.isEmpty())
            << "no pocketsphinx model for en-US (package pocketsphinx-en-us)";
        dictation = LibrivoxDictation::load();
        ASSERT_EQ(dictation.sentences, 5)
            << "the librivox recordings of pocketsphinx-testdata are missing";
    }

    PocketsphinxModel english;
    LibrivoxDictation dictation;
};

TEST_F(PocketsphinxHintsTest, MissedWordsMadeTermsAreRecognisedInTheirSessionAlone)
{
    // Words the recogniser misses in the librivox dictation without hints ("mr", "crudely",
    // "until exposed", "oldest those"), and terms that cannot be said, which are passed over.
    const QStringList missed {QStringLiteral("mister"), QStringLiteral("prudently"),
                              QStringLiteral("ill disposed")};
    const QStringList unsayable {QStringLiteral("4711"), QStringLiteral("東京")};
    PooledRecognizer hinting(english);
    // A decoder of its own that never has hints and hears the same audio in the same order: a
    // decoder's channel estimate follows the audio it has heard, never its hints.
    PooledRecognizer plainOnly(english);

    const QString plain = plainOnly.recognise(dictation.audio);
    const QString hinted = hinting.recognise(dictation.audio, withTerms(missed + unsayable));
    for (const QString &term : missed) {
        EXPECT_FALSE((u' ' + plain + u' ').contains(u' ' + term + u' ')) << term.toStdString();
        EXPECT_EQ((u' ' + hinted + u' ').count(u' ' + term + u' '), term == u"ill disposed" ? 2 : 1)
            << term.toStdString();
    }
    EXPECT_LT(dictation.wordErrorRate(hinted), dictation.wordErrorRate(plain));
    std::printf("word error rate %.3f without hints, %.3f with the missed words as terms\n",
                dictation.wordErrorRate(plain), dictation.wordErrorRate(hinted));
    std::printf("without: %s\nwith:    %s\n", qPrintable(plain), qPrintable(hinted));
    const QString log = DebugLog::tail();
    for (const QString &term : unsayable) {
        EXPECT_EQ(
            log.count(
                QStringLiteral("speech: dictionary term \"%1\" cannot be pronounced").arg(term)),
            1)
            << term.toStdString();
    }

    // The next session without terms gets the same decoder, and decodes as a decoder that never
    // had them.
    EXPECT_EQ(hinting.recognise(dictation.audio), plainOnly.recognise(dictation.audio));
    EXPECT_EQ(hinting.pool.loadCount(), 1);
    // With the terms once more, they are back.
    EXPECT_TRUE(hinting.recognise(dictation.audio, withTerms(missed))
                    .contains(QStringLiteral(" prudently ")));
}

TEST_F(PocketsphinxHintsTest, ChangedTermsArePreparedOnAnIdleDecoderForTheNextSession)
{
    const QStringList missed {QStringLiteral("mister"), QStringLiteral("prudently"),
                              QStringLiteral("ill disposed")};
    const QStringList others {QStringLiteral("Kubernetes"), QStringLiteral("Siobhan Okafor")};
    const AudioBuffer goForward = SpeechRecording::load(QStringLiteral("goforward.raw"));
    PooledRecognizer hinting(english);
    ASSERT_EQ(hinting.recognise(goForward), QStringLiteral("go forward ten meters"));

    // The terms change while the decoder is idle: it gets them in the background.
    hinting.recognizer->prepareHints(missed);
    ASSERT_TRUE(waitFor([&] { return hinting.pool.hasIdle(english, missed); }))
        << "the idle decoder never got the terms";
    const QString hinted = hinting.recognise(dictation.audio, withTerms(missed));
    EXPECT_TRUE(hinted.contains(QStringLiteral(" prudently "))) << hinted.toStdString();

    // They change during a session: the decoder gets them once the session hands it back.
    auto request = std::make_shared<SpeechRecognitionRequest>(withTerms(missed));
    request->append(goForward);
    auto task = hinting.recognizer->recognitionTask(request, [](const auto &, auto) {});
    ASSERT_TRUE(waitFor([&] { return hinting.pool.idleCount(english) == 0; }));
    hinting.recognizer->prepareHints(others);
    EXPECT_FALSE(hinting.pool.hasIdle(english, others));
    request->endAudio();
    ASSERT_TRUE(waitFor([&] { return hinting.pool.hasIdle(english, others); }))
        << "the decoder handed back never got the terms";
    task.reset();

    // A session with other terms than those prepared hears none of them.
    EXPECT_EQ(hinting.recognise(goForward), QStringLiteral("go forward ten meters"));
    EXPECT_EQ(hinting.pool.loadCount(), 1);
}

TEST_F(PocketsphinxHintsTest, WordsTheDictionaryLacksArePronouncedAndSpelledAsTheUserWroteThem)
{
    // The installed model with a dictionary that lacks two words of the first librivox sentence.
    QTemporaryDir folder;
    QFile full(english.dictionary);
    ASSERT_TRUE(full.open(QIODevice::ReadOnly));
    QByteArray lacking;
    while (!full.atEnd()) {
        const QByteArray line = full.readLine();
        if (!line.startsWith("dashwood") && !line.startsWith("prudently")) {
            lacking += line;
        }
    }
    PocketsphinxModel model = english;
    model.dictionary = folder.filePath(QStringLiteral("lacking.dict"));
    write(model.dictionary, lacking);
    PooledRecognizer recognizer(model);
    const AudioBuffer sentence = SpeechRecording::load(
        QStringLiteral("librivox/sense_and_sensibility_01_austen_64kb-0870.wav"));

    const QString plain = recognizer.recognise(sentence);
    EXPECT_FALSE(plain.contains(QStringLiteral("dashwood"), Qt::CaseInsensitive))
        << plain.toStdString();
    const QString hinted = recognizer.recognise(
        sentence, withTerms({QStringLiteral("John Dashwood"), QStringLiteral("prudently")}));
    EXPECT_TRUE(hinted.contains(QStringLiteral(" John Dashwood "))) << hinted.toStdString();
    EXPECT_TRUE(hinted.contains(QStringLiteral(" prudently "))) << hinted.toStdString();
}

TEST_F(PocketsphinxHintsTest, EnglishDictationComesAsSentences)
{
    struct Case
    {
        const char *name;
        AudioBuffer audio;
        bool punctuation;
        SpeechLocale locale;
        QString text;
    };
    const AudioBuffer goForward = SpeechRecording::load(QStringLiteral("goforward.raw"));
    const SpeechLocale us(QStringLiteral("en-US"));
    const Case cases[] = {
        {"a command", goForward, true, us, QStringLiteral("Go forward ten meters.")},
        {"a phrase", SpeechRecording::load(QStringLiteral("something.raw")), true, us,
         QStringLiteral("Go somewhere and do something.")},
        {"five sentences a second apart", dictation.audio, true, us,
         QStringLiteral("The mr john dashwood and then at leisure to consider our much there "
                        "might be crudely in his power to do how about. He was not until exposed "
                        "young man. Homeless to be rather cold hearted him rather selfish is to "
                        "be oldest those. Had he married a more amiable woman he might have been "
                        "made still more respectable many watts. He might even have been made "
                        "amiable himself.")},
        {"without punctuation asked for", goForward, false, us,
         QStringLiteral("go forward ten meters")},
        // The English model installed as another language's: no rules for it.
        {"a language without the rules", goForward, true, SpeechLocale(QStringLiteral("de-DE")),
         QStringLiteral("go forward ten meters")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PocketsphinxModel model = english;
        model.locale = c.locale;
        PooledRecognizer recognizer(model);
        ASSERT_TRUE(recognizer.recognizer);
        SpeechRecognitionRequest::Options options;
        options.addsPunctuation = c.punctuation;
        EXPECT_EQ(recognizer.recognise(c.audio, options), c.text);
    }
}

TEST(PocketsphinxRecognitionServiceTest, ACancelledTaskEndsWithItsDecoderBackInThePool)
{
    const PocketsphinxModel english = installedEnglish();
    ASSERT_FALSE(english.locale.isEmpty())
        << "no pocketsphinx model for en-US (package pocketsphinx-en-us)";
    PooledRecognizer pooled(english, true);
    ASSERT_TRUE(pooled.recognizer);
    const auto recording = SpeechRecording::load(QStringLiteral("goforward.raw"));
    const int threadsBefore = threadCount();

    // Started and cancelled as fast as a flood of commands would: each end is awaited, and the
    // one decoder is all there ever is.
    for (int i = 0; i < 50; ++i) {
        auto request = std::make_shared<SpeechRecognitionRequest>();
        request->append(recording);
        auto task =
            pooled.recognizer->recognitionTask(request, [](const auto &, std::exception_ptr) {});
        task->cancel();
        QFuture<void> ended = task->ended();
        ended.waitForFinished();
        ASSERT_EQ(pooled.pool.idleCount(english), 1) << i;
    }
    EXPECT_EQ(pooled.pool.loadCount(), 1);
    EXPECT_TRUE(waitFor([&] { return threadCount() <= threadsBefore; }));
}
