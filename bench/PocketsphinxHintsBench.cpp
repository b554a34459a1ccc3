// The user's dictionary terms as recognition hints: what they cost when a session opens, and
// what they do to the word error rate on the packaged recordings (pocketsphinx-testdata, the
// model from pocketsphinx-en-us).
#include "Core/Transcription/SpeechRecording.h"
#include "Platform/Pocketsphinx/PocketsphinxDecoderPool.h"
#include "Platform/Pocketsphinx/PocketsphinxModel.h"
#include "Platform/Pocketsphinx/PocketsphinxRecognitionService.h"
#include "TestSupport/WordErrors.h"

#include <QRegularExpression>

#include <benchmark/benchmark.h>

#include <chrono>
#include <future>
#include <random>
#include <thread>

namespace {

PocketsphinxModel englishModel()
{
    for (const PocketsphinxModel &model : PocketsphinxModel::installed()) {
        if (model.locale == SpeechLocale(QStringLiteral("en-US"))) {
            return model;
        }
    }
    return {};
}

// A user's dictionary that has nothing to do with the recordings: people's names, names of
// software and services, dishes and code names; most of them missing from the recogniser's
// dictionary. `offset` picks another dictionary of the same kind.
QStringList unrelatedTerms(int count, int offset = 0)
{
    static const QStringList first =
        QStringLiteral(
            "Anika Bartholomew Chiamaka Dmitri Esperanza Fenella Giorgos Hiroko Ingrid Jovana "
            "Kasimir "
            "Leocadia Mireille Nkechi Oksana Priyanka Quentin Rosalind Siobhan Tadeusz Ulrike "
            "Vasilisa Wilhelmina Xiomara Yevgenia Zbigniew Agnieszka Bogdan Cosimo Dagny Eulalia")
            .split(u' ');
    static const QStringList last =
        QStringLiteral(
            "Okafor Vandersloot Przybylski Castellanos Nakamura Oyelaran Lindqvist Haverkamp "
            "Abernathy Kowalczyk Rautenberg Delacroix Mwangi Sokolova Quintero Brannigan "
            "Hollingsworth Ravensworth Villanueva Achterberg Chudnovsky Eisenhauer Featherstone")
            .split(u' ');
    static const QStringList words =
        QStringLiteral(
            "Kubernetes PostgreSQL Terraform Grafana Prometheus Elasticsearch Kafka Zookeeper "
            "Ansible "
            "Nginx Memcached Clickhouse Databricks Airflow Metabase Figma Asana Trello Confluence "
            "Bitbucket Kotlin Haskell Erlang Elixir Clojure Fortran Webpack Eslint Storybook "
            "Cypress "
            "Vitest Svelte Supabase Netlify Heroku Cloudflare Twilio Sendgrid Braintree Klarna "
            "quinoa edamame kombucha sriracha gochujang tahini halloumi burrata pancetta gnocchi "
            "orecchiette tagliatelle ciabatta focaccia pumpernickel babka rugelach pierogi pelmeni "
            "khachapuri churchkhela baklava kunefe marzipan pavlova tiramisu panettone "
            "sfogliatella")
            .split(u' ');
    QStringList terms;
    for (int i = offset; terms.size() < count; ++i) {
        switch (i % 3) {
        case 0:
            terms.append(first[i % first.size()] + u' ' + last[(i * 7 + 3) % last.size()]);
            break;
        case 1:
            terms.append(words[(i / 3) % words.size()]);
            break;
        default:
            terms.append(QStringLiteral("Project ") + last[(i / 3) % last.size()]);
        }
        terms.removeDuplicates();
    }
    return terms;
}

// The final text of one recognition task over the audio, all of it there when the task starts,
// once the task's thread has handed its decoder back to the pool (which must outlive that).
QString recognise(SpeechRecognizer &recognizer, PocketsphinxDecoderPool &pool,
                  const PocketsphinxModel &model, const AudioBuffer &audio,
                  const QStringList &terms)
{
    SpeechRecognitionRequest::Options options;
    options.contextualStrings = terms;
    auto request = std::make_shared<SpeechRecognitionRequest>(options);
    for (const AudioBuffer &buffer : audio.blocks(1024)) {
        request->append(buffer);
    }
    request->endAudio();
    auto text = std::make_shared<std::promise<QString>>();
    auto task = recognizer.recognitionTask(request, [text](const auto &result, auto error) {
        if (error) {
            text->set_value(QString());
        } else if (result && result->isFinal) {
            text->set_value(result->formattedString);
        }
    });
    const QString final = text->get_future().get();
    while (pool.idleCount(model) == 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return final;
}

struct Recording
{
    AudioBuffer audio;
    QStringList reference;
};

// Every packaged recording with a transcription: the command, the five read sentences, the five
// card names.
std::vector<Recording> packagedRecordings()
{
    std::vector<Recording> recordings {{SpeechRecording::load(QStringLiteral("goforward.raw")),
                                        QStringLiteral("go forward ten meters").split(u' ')}};
    static const QRegularExpression line(QStringLiteral("^<s> (.*) </s> \\((.*)\\)$"));
    for (const QString &folder : {QStringLiteral("librivox"), QStringLiteral("cards")}) {
        QFile list(
            SpeechRecording::path(folder + u'/'
                                  + (folder == u"cards" ? QStringLiteral("cards.transcription")
                                                        : QStringLiteral("transcription"))));
        if (!list.open(QIODevice::ReadOnly)) {
            return {};
        }
        for (const QString &text :
             QString::fromUtf8(list.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
            const auto match = line.match(text.trimmed());
            if (match.hasMatch()) {
                recordings.push_back({SpeechRecording::load(folder + u'/' + match.captured(2)
                                                            + QStringLiteral(".wav")),
                                      match.captured(1).split(u' ', Qt::SkipEmptyParts)});
            }
        }
    }
    return recordings;
}

} // namespace

// From the start of a recognition task to its final result over half a second of quiet room
// noise, with 0, 50 or 500 dictionary terms. change 0: the pooled decoder already has these
// terms, as in every session after the first with the user's dictionary; 1: it had other ones
// (the first session after the user edited the dictionary), so its search is rebuilt; 2: it had
// other ones, and the edit had it prepared for the new terms in the background before the
// session. The time with no terms is what a session costs without hints.
static void BM_SessionOpenWithTerms(benchmark::State &state)
{
    const PocketsphinxModel model = englishModel();
    if (model.locale.isEmpty()) {
        state.SkipWithError("no pocketsphinx model for en-US (pocketsphinx-en-us)");
        return;
    }
    const int count = int(state.range(0));
    const int change = int(state.range(1));
    AudioBuffer quiet;
    quiet.sampleRate = 16000;
    quiet.channels = 1;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1e-4f, 1e-4f);
    quiet.samples.resize(8000);
    for (float &sample : quiet.samples) {
        sample = noise(random);
    }
    const QStringList terms = unrelatedTerms(count);
    const QStringList others = unrelatedTerms(50, 1000);

    PocketsphinxDecoderPool pool(1);
    PocketsphinxRecognitionService service(pool, [&] { return QList<PocketsphinxModel> {model}; });
    auto recognizer = service.makeRecognizer(model.locale);
    recognise(*recognizer, pool, model, quiet, terms);
    for (auto _ : state) {
        if (change != 0) {
            state.PauseTiming();
            recognise(*recognizer, pool, model, quiet, count ? others : unrelatedTerms(50));
            if (change == 2) {
                recognizer->prepareHints(terms);
                while (!pool.hasIdle(model, terms)) {
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
            }
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(recognise(*recognizer, pool, model, quiet, terms));
    }
    state.counters["loads"] = pool.loadCount();
}
BENCHMARK(BM_SessionOpenWithTerms)
    ->ArgNames({"terms", "change"})
    ->ArgsProduct({{0, 50, 500}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly()
    ->UseRealTime();

// Word error rate (words compared without case and punctuation) over the packaged recordings,
// each one session on a decoder that has heard the same recordings before it: without terms,
// with 200 terms unrelated to the recordings, and with the words the recogniser misses without
// hints made terms.
static void BM_WordErrorRateWithTerms(benchmark::State &state)
{
    const PocketsphinxModel model = englishModel();
    const std::vector<Recording> recordings = packagedRecordings();
    if (model.locale.isEmpty() || recordings.size() != 11) {
        state.SkipWithError("needs pocketsphinx-en-us and pocketsphinx-testdata");
        return;
    }
    const QStringList missed {QStringLiteral("mister"), QStringLiteral("prudently"),
                              QStringLiteral("ill disposed"), QStringLiteral("unless"),
                              QStringLiteral("clubs")};
    const QStringList terms = state.range(0) == 0 ? QStringList()
        : state.range(0) == 1                     ? unrelatedTerms(200)
                                                  : missed;
    int errors = 0;
    int words = 0;
    for (auto _ : state) {
        PocketsphinxDecoderPool pool(1);
        PocketsphinxRecognitionService service(pool,
                                               [&] { return QList<PocketsphinxModel> {model}; });
        auto recognizer = service.makeRecognizer(model.locale);
        for (const Recording &recording : recordings) {
            errors += wordErrors(
                recording.reference,
                comparableWords(recognise(*recognizer, pool, model, recording.audio, terms)));
            words += int(recording.reference.size());
        }
    }
    state.counters["wer"] = words ? double(errors) / words : 0;
}
BENCHMARK(BM_WordErrorRateWithTerms)
    ->ArgName("terms")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
