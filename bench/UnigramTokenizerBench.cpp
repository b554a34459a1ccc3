#include "Core/TextCleanup/UnigramTokenizer.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#ifdef SONORVELLE_HAVE_SENTENCEPIECE
#include <sentencepiece_processor.h>
#endif

#include <chrono>
#include <memory>
#include <string>
#include <vector>

// Our tokenizer against libsentencepiece on the same unigram vocabulary and the same lines.
//
// The vocabulary is trained at start-up with Debian's sentencepiece tools (package "sentencepiece")
// on the King James Version of the Bible (public domain; package "bible-kjv" prints it): 8,000
// pieces, byte fallback, no normalisation and no dummy prefix, so that both tokenizers see the text
// as it is. It is exported as tokenizer.json; the first 10,000 verses are encoded by both.
// The comparison with libsentencepiece needs the bench built with SONORVELLE_HAVE_SENTENCEPIECE
// and linked against the library.

namespace {

constexpr int vocabularySize = 8000;
constexpr size_t encodedLines = 10000;
constexpr qsizetype rowLength = 128;

struct Corpus
{
    QString error; // why the fixture could not be made; empty when it was
    QTemporaryDir folder;
    QString tokenizerPath;
    QString modelPath;
    std::vector<QString> lines;
    std::vector<std::string> utf8Lines;
};

QString run(const QString &program, const QStringList &arguments, QByteArray *output)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        return program + QStringLiteral(" failed: ") + process.errorString() + QStringLiteral(" ")
            + QString::fromLocal8Bit(process.readAllStandardError());
    }
    if (output) {
        *output = process.readAllStandardOutput();
    }
    return QString();
}

std::unique_ptr<Corpus> makeCorpus()
{
    auto corpus = std::make_unique<Corpus>();
    const QString bible = QStandardPaths::findExecutable(QStringLiteral("bible"));
    const QString train = QStandardPaths::findExecutable(QStringLiteral("spm_train"));
    if (bible.isEmpty() || train.isEmpty()) {
        corpus->error = QStringLiteral("needs the programs \"bible\" (package bible-kjv) and "
                                       "\"spm_train\" (package sentencepiece)");
        return corpus;
    }
    if (!corpus->folder.isValid()) {
        corpus->error = QStringLiteral("no temporary folder");
        return corpus;
    }

    // Verses come as "  12 text"; headings and blank lines are skipped.
    QByteArray text;
    corpus->error =
        run(bible, {QStringLiteral("-l100000"), QStringLiteral("gen1:1-rev22:21")}, &text);
    if (!corpus->error.isEmpty()) {
        return corpus;
    }
    QByteArray verses;
    for (const QByteArray &line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype blank = trimmed.indexOf(' ');
        bool isNumber = false;
        trimmed.left(blank).toInt(&isNumber);
        if (blank <= 0 || !isNumber) {
            continue;
        }
        const QByteArray verse = trimmed.mid(blank + 1);
        verses += verse + '\n';
        if (corpus->lines.size() < encodedLines) {
            corpus->lines.push_back(QString::fromUtf8(verse));
            corpus->utf8Lines.push_back(verse.toStdString());
        }
    }
    const QString corpusPath = corpus->folder.filePath(QStringLiteral("corpus.txt"));
    QFile corpusFile(corpusPath);
    if (!corpusFile.open(QIODevice::WriteOnly) || corpusFile.write(verses) != verses.size()) {
        corpus->error = QStringLiteral("cannot write the corpus");
        return corpus;
    }
    corpusFile.close();

    const QString prefix = corpus->folder.filePath(QStringLiteral("kjv"));
    corpus->error =
        run(train,
            {QStringLiteral("--input=") + corpusPath, QStringLiteral("--model_prefix=") + prefix,
             QStringLiteral("--vocab_size=%1").arg(vocabularySize),
             QStringLiteral("--model_type=unigram"), QStringLiteral("--byte_fallback=true"),
             QStringLiteral("--character_coverage=1.0"),
             QStringLiteral("--normalization_rule_name=identity"),
             QStringLiteral("--add_dummy_prefix=false"),
             QStringLiteral("--remove_extra_whitespaces=false"), QStringLiteral("--unk_id=0"),
             QStringLiteral("--bos_id=1"), QStringLiteral("--eos_id=2"),
             QStringLiteral("--pad_id=3"), QStringLiteral("--minloglevel=2")},
            nullptr);
    if (!corpus->error.isEmpty()) {
        return corpus;
    }
    corpus->modelPath = prefix + QStringLiteral(".model");

    // Export "piece<TAB>score" lines in id order as tokenizer.json.
    QFile vocabFile(prefix + QStringLiteral(".vocab"));
    if (!vocabFile.open(QIODevice::ReadOnly)) {
        corpus->error = QStringLiteral("no vocabulary was written");
        return corpus;
    }
    nlohmann::json vocab = nlohmann::json::array();
    for (const QByteArray &line : vocabFile.readAll().split('\n')) {
        const qsizetype tab = line.lastIndexOf('\t');
        if (tab < 0) {
            continue;
        }
        vocab.push_back(nlohmann::json::array(
            {line.left(tab).toStdString(), std::stod(line.mid(tab + 1).toStdString())}));
    }
    nlohmann::json added = nlohmann::json::array();
    const char *specials[] = {"<unk>", "<s>", "</s>", "<pad>"};
    for (int id = 0; id < 4; ++id) {
        added.push_back({{"id", id}, {"content", specials[id]}, {"special", true}});
    }
    const nlohmann::json document = {
        {"version", "1.0"},
        {"added_tokens", added},
        {"model", {{"type", "Unigram"}, {"unk_id", 0}, {"byte_fallback", true}, {"vocab", vocab}}},
    };
    corpus->tokenizerPath = corpus->folder.filePath(QStringLiteral("tokenizer.json"));
    QFile tokenizerFile(corpus->tokenizerPath);
    const QByteArray json = QByteArray::fromStdString(document.dump());
    if (!tokenizerFile.open(QIODevice::WriteOnly) || tokenizerFile.write(json) != json.size()) {
        corpus->error = QStringLiteral("cannot write tokenizer.json");
    }
    return corpus;
}

const Corpus &corpus()
{
    static const std::unique_ptr<Corpus> instance = makeCorpus();
    return *instance;
}

bool ready(benchmark::State &state)
{
    if (!corpus().error.isEmpty()) {
        state.SkipWithError(corpus().error.toStdString().c_str());
        return false;
    }
    return true;
}

double encodeAllOurs(const UnigramTokenizer &tokenizer)
{
    const auto start = std::chrono::steady_clock::now();
    for (const QString &line : corpus().lines) {
        benchmark::DoNotOptimize(tokenizer.encode(line, rowLength));
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void BM_UnigramTokenizerLoad(benchmark::State &state)
{
    if (!ready(state)) {
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(UnigramTokenizer(corpus().tokenizerPath));
    }
}
BENCHMARK(BM_UnigramTokenizerLoad)->Unit(benchmark::kMillisecond);

void BM_UnigramTokenizerEncode10kLines(benchmark::State &state)
{
    if (!ready(state)) {
        return;
    }
    const UnigramTokenizer tokenizer(corpus().tokenizerPath);
    for (auto _ : state) {
        encodeAllOurs(tokenizer);
    }
    state.counters["lines"] = double(corpus().lines.size());
}
BENCHMARK(BM_UnigramTokenizerEncode10kLines)->Unit(benchmark::kMillisecond);

#ifdef SONORVELLE_HAVE_SENTENCEPIECE

double encodeAllTheirs(const sentencepiece::SentencePieceProcessor &processor)
{
    std::vector<int> ids;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string &line : corpus().utf8Lines) {
        (void)processor.Encode(line, &ids);
        benchmark::DoNotOptimize(ids.data());
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

bool loadProcessor(benchmark::State &state, sentencepiece::SentencePieceProcessor &processor)
{
    if (!processor.Load(corpus().modelPath.toStdString()).ok()) {
        state.SkipWithError("libsentencepiece cannot load the trained model");
        return false;
    }
    return true;
}

void BM_SentencePieceLoad(benchmark::State &state)
{
    if (!ready(state)) {
        return;
    }
    for (auto _ : state) {
        sentencepiece::SentencePieceProcessor processor;
        if (!loadProcessor(state, processor)) {
            return;
        }
    }
}
BENCHMARK(BM_SentencePieceLoad)->Unit(benchmark::kMillisecond);

void BM_SentencePieceEncode10kLines(benchmark::State &state)
{
    sentencepiece::SentencePieceProcessor processor;
    if (!ready(state) || !loadProcessor(state, processor)) {
        return;
    }
    for (auto _ : state) {
        encodeAllTheirs(processor);
    }
}
BENCHMARK(BM_SentencePieceEncode10kLines)->Unit(benchmark::kMillisecond);

// Both tokenizers over the same lines in each iteration; "ratio" is our time over theirs.
// "sameIDs" counts the lines that both segment into the same pieces.
void BM_EncodeRatioAgainstSentencePiece(benchmark::State &state)
{
    sentencepiece::SentencePieceProcessor processor;
    if (!ready(state) || !loadProcessor(state, processor)) {
        return;
    }
    const UnigramTokenizer tokenizer(corpus().tokenizerPath);

    int same = 0;
    for (size_t i = 0; i < corpus().lines.size(); ++i) {
        std::vector<int> theirs;
        (void)processor.Encode(corpus().utf8Lines[i], &theirs);
        const auto ours = tokenizer.encode(corpus().lines[i], 4096);
        std::vector<int> oursContent;
        for (size_t t = 0; t < ours.ids.size(); ++t) {
            if (ours.spans[t]) {
                oursContent.push_back(ours.ids[t]);
            }
        }
        same += oursContent == theirs ? 1 : 0;
    }

    double oursTotal = 0;
    double theirsTotal = 0;
    for (auto _ : state) {
        oursTotal += encodeAllOurs(tokenizer);
        theirsTotal += encodeAllTheirs(processor);
    }
    state.counters["ours_ms"] = benchmark::Counter(oursTotal, benchmark::Counter::kAvgIterations);
    state.counters["sentencepiece_ms"] =
        benchmark::Counter(theirsTotal, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = oursTotal / theirsTotal;
    state.counters["sameIDs"] = same;
    state.counters["lines"] = double(corpus().lines.size());
}
BENCHMARK(BM_EncodeRatioAgainstSentencePiece)->Unit(benchmark::kMillisecond)->Repetitions(5);

#endif

} // namespace
