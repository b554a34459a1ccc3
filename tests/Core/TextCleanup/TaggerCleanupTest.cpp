#include "Core/TextCleanup/TaggerCleanup.h"

#include "Base/Unicode.h"
#include "Fakes/FakeTaggerModelRuntime.h"
#include "Fakes/ScriptedTaggerModel.h"
#include "Platform/TaggerModelRuntime.h"

#include <QMutex>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <QCoro/QCoroTask>

#include "TestSupport/QtPrinters.h"

#include <random>
#include <set>
#include <stdexcept>

namespace {

// A small Japanese vocabulary with byte pieces for every byte value; "猫" is not in it.
QString fixtureVocabulary()
{
    return QStringLiteral(SONORVELLE_TESTS_SOURCE_DIR "/Core/TextCleanup/data/tokenizer.json");
}

// Collects the warnings written while it lives.
class WarningCapture
{
public:
    WarningCapture()
    {
        s_messages.clear();
        m_previous = qInstallMessageHandler(&WarningCapture::handle);
    }
    ~WarningCapture() { qInstallMessageHandler(m_previous); }

    QStringList messages() const
    {
        QMutexLocker lock(&s_mutex);
        return s_messages;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type == QtWarningMsg) {
            QMutexLocker lock(&s_mutex);
            s_messages.append(message);
        }
    }

    static inline QMutex s_mutex;
    static inline QStringList s_messages;
    QtMessageHandler m_previous = nullptr;
};

// A stage over the fixture vocabulary whose model follows `script`.
struct Stage
{
    explicit Stage(ScriptedTaggerModel::Script script)
    {
        runtime.loader = [this, script](const QString &) {
            auto created = std::make_unique<ScriptedTaggerModel>(script);
            model = created.get();
            return created;
        };
        stage = std::make_shared<TaggerCleanup>(
            TaggerCleanup::Assets {QStringLiteral("tagger.model"), fixtureVocabulary()}, runtime);
    }

    QString clean(const QString &text, const QString &locale = QStringLiteral("ja-JP")) const
    {
        CleanupContext context;
        context.localeIdentifier = locale;
        return QCoro::waitFor(stage->cleanup(text, context));
    }

    FakeTaggerModelRuntime runtime;
    ScriptedTaggerModel *model = nullptr;
    std::shared_ptr<TaggerCleanup> stage;
};

const UnigramTokenizer &tokenizer()
{
    static const UnigramTokenizer t(fixtureVocabulary());
    return t;
}

// The id of a piece of the fixture vocabulary.
qint32 idOf(const QString &piece)
{
    const auto encoding = tokenizer().encode(piece, 8);
    EXPECT_TRUE(encoding.spans[1] && !encoding.spans[2]) << piece.toStdString();
    return encoding.ids[1];
}

std::set<qint32> idsOf(const QStringList &pieces)
{
    std::set<qint32> ids;
    for (const QString &piece : pieces) {
        ids.insert(idOf(piece));
    }
    return ids;
}

} // namespace

TEST(TaggerCleanup, OnlyJapaneseLocales)
{
    struct Case
    {
        QString locale;
        QString text;
        QString expected;
    };
    const QString text = QStringLiteral("  えー今日は晴れです\n");
    const Case cases[] = {
        {QStringLiteral("ja-JP"), text, QStringLiteral("今日は晴れです。")},
        {QStringLiteral("JA"), text, QStringLiteral("今日は晴れです。")},
        {QStringLiteral("ja_JP"), text, QStringLiteral("今日は晴れです。")},
        {QStringLiteral("en-US"), text, text},
        {QString(), text, text},
        {QStringLiteral("ja-JP"), QStringLiteral(" \n\t\u3000 "), QStringLiteral(" \n\t\u3000 ")},
        {QStringLiteral("ja-JP"), QString(), QString()},
    };
    Stage s(ScriptedTaggerModel::deleting(idsOf({QStringLiteral("えー")})));
    EXPECT_EQ(s.stage->name(), QStringLiteral("localModel"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.locale.toStdString());
        EXPECT_EQ(s.clean(c.text, c.locale), c.expected);
    }
    // Only the three Japanese texts that were not blank reached the model.
    EXPECT_EQ(s.model->calls().size(), 3u);
}

TEST(TaggerCleanup, DeletesTaggedTokensAndRepairsPunctuation)
{
    struct Case
    {
        const char *name;
        QString text;
        QString expected;
    };
    const Case cases[] = {
        {"two commas left side by side become one", QStringLiteral("今日は、えー、晴れです"),
         QStringLiteral("今日は、晴れです。")},
        {"a comma at the start goes", QStringLiteral("えー、今日は晴れです"),
         QStringLiteral("今日は晴れです。")},
        {"a comma before a full stop goes", QStringLiteral("晴れです、えー。"),
         QStringLiteral("晴れです。")},
        {"a comma after a question mark goes", QStringLiteral("本当？えー、はい"),
         QStringLiteral("本当？はい。")},
        {"a comma before an exclamation mark goes", QStringLiteral("いい天気、あの!"),
         QStringLiteral("いい天気!")},
        {"a result ending in a full-width question mark gets no full stop",
         QStringLiteral("あの本当？"), QStringLiteral("本当？")},
        {"nor one ending in an ASCII question mark", QStringLiteral("本当?"),
         QStringLiteral("本当?")},
        {"nor one ending in a full-width exclamation mark", QStringLiteral("いい！"),
         QStringLiteral("いい！")},
        {"a closing bracket gets one", QStringLiteral("彼は「晴れ」"),
         QStringLiteral("彼は「晴れ」。")},
        {"a letter gets one", QStringLiteral("えーa"), QStringLiteral("a。")},
        {"spaces left at the ends are trimmed", QStringLiteral("えー 今日は あの"),
         QStringLiteral("今日は。")},
        {"a space restarted across a filler collapses", QStringLiteral("今日は えー 晴れ"),
         QStringLiteral("今日は 晴れ。")},
        {"a run of commas becomes one", QStringLiteral("今日は、、晴れです"),
         QStringLiteral("今日は、晴れです。")},
        {"nothing deleted", QStringLiteral("今日は晴れです。"), QStringLiteral("今日は晴れです。")},
        {"everything deleted gives the trimmed text", QStringLiteral(" えーあの "),
         QStringLiteral("えーあの")},
        {"a restart across a filler keeps only the second saying",
         QStringLiteral("明日はえー明日は雨"), QStringLiteral("明日は雨。")},
    };
    Stage s(ScriptedTaggerModel::deleting(idsOf({QStringLiteral("えー"), QStringLiteral("あの")})));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(s.clean(c.text), c.expected);
    }
}

TEST(TaggerCleanup, ModelInputsAndVerdicts)
{
    {
        SCOPED_TRACE("the model gets the encoding of the trimmed text");
        Stage s(ScriptedTaggerModel::deleting({}));
        s.clean(QStringLiteral("\n 今日は晴れ "));
        ASSERT_EQ(s.model->calls().size(), 1u);
        const auto expected = tokenizer().encode(QStringLiteral("今日は晴れ"), 128);
        EXPECT_EQ(s.model->calls()[0].inputIDs, expected.ids);
        EXPECT_EQ(s.model->calls()[0].attentionMask, expected.attentionMask);
    }
    {
        SCOPED_TRACE("equal scores keep the token");
        Stage s(
            ScriptedTaggerModel::scoring([](qsizetype, qint32) { return std::pair(0.5, 0.5); }));
        EXPECT_EQ(s.clean(QStringLiteral("えー今日は")), QStringLiteral("えー今日は。"));
    }
    {
        SCOPED_TRACE("a delete on one byte piece removes the whole scalar");
        const qint32 middleByte = tokenizer().byteToken(0x8C); // "猫" is E7 8C AB
        Stage s(ScriptedTaggerModel::deleting({middleByte}));
        EXPECT_EQ(s.clean(QStringLiteral("今日は猫です")), QStringLiteral("今日はです。"));
    }
    {
        SCOPED_TRACE("verdicts on padding and the start and end ids are ignored");
        Stage s(ScriptedTaggerModel::scoring([](qsizetype t, qint32) {
            return t == 0 || t > 3 ? std::pair(1.0, 0.0) : std::pair(0.0, 1.0);
        }));
        EXPECT_EQ(s.clean(QStringLiteral("今日は晴れ")), QStringLiteral("今日は晴れ。"));
    }
}

TEST(TaggerCleanup, OnlyTheFirstRowOfTokensIsJudged)
{
    // 40 rounds of 今日|えー|晴れ|です: 160 tokens, of which the first 126 are judged, so the
    // fillers of the first 32 rounds go and the rest stay.
    QString text;
    QString expected;
    for (int round = 0; round < 40; ++round) {
        text += QStringLiteral("今日えー晴れです");
        expected +=
            round < 32 ? QStringLiteral("今日晴れです") : QStringLiteral("今日えー晴れです");
    }
    expected += QStringLiteral("。");
    Stage s(ScriptedTaggerModel::deleting(idsOf({QStringLiteral("えー")})));
    EXPECT_EQ(s.clean(text), expected);
}

TEST(TaggerCleanup, FailuresReturnTheText)
{
    const QString text = QStringLiteral(" えー今日は\n");
    {
        SCOPED_TRACE("a failed prediction is logged");
        WarningCapture warnings;
        Stage s(ScriptedTaggerModel::failing("the model crashed"));
        EXPECT_EQ(s.clean(text), text);
        EXPECT_EQ(
            warnings.messages(),
            QStringList {QStringLiteral("TaggerCleanup: inference failed: the model crashed")});
    }
    {
        SCOPED_TRACE("no logits output gives the trimmed text untouched");
        WarningCapture warnings;
        Stage s([](const std::vector<qint32> &, const std::vector<qint32> &) {
            return std::optional<TaggerModel::Logits>();
        });
        EXPECT_EQ(s.clean(text), QStringLiteral("えー今日は"));
        EXPECT_TRUE(warnings.messages().isEmpty());
    }
    {
        SCOPED_TRACE("logits for fewer tokens than the row are a failed prediction");
        WarningCapture warnings;
        Stage s([](const std::vector<qint32> &, const std::vector<qint32> &) {
            TaggerModel::Logits logits;
            logits.tokenCount = 4;
            logits.values.assign(8, 1.0);
            return std::optional(logits);
        });
        EXPECT_EQ(s.clean(text), text);
        ASSERT_EQ(warnings.messages().size(), 1);
        EXPECT_TRUE(
            warnings.messages()[0].startsWith(QStringLiteral("TaggerCleanup: inference failed: ")));
    }
}

TEST(TaggerCleanupSeams, CollapseRestarts)
{
    struct Case
    {
        const char *name;
        QString text;
        QString deleted; // "x" where the scalar is deleted
        QString expectedKept;
    };
    const Case cases[] = {
        {"ABC, a deleted run, then ABCD", QStringLiteral("ABC--ABCD"), QStringLiteral("...xx...."),
         QStringLiteral("ABCD")},
        {"AB, a deleted run, then BC", QStringLiteral("AB--BC"), QStringLiteral("..xx.."),
         QStringLiteral("ABC")},
        {"the longest match of at most four wins", QStringLiteral("XABCD-ABCDE"),
         QStringLiteral(".....x....."), QStringLiteral("XABCDE")},
        {"a match counts only where the scalars after the seam are kept", QStringLiteral("AB-AB"),
         QStringLiteral("..x.x"), QStringLiteral("ABA")},
        {"a shorter match still applies", QStringLiteral("AA-AA"), QStringLiteral("..x.x"),
         QStringLiteral("AA")},
        {"a deleted run at the start collapses nothing", QStringLiteral("--AB"),
         QStringLiteral("xx.."), QStringLiteral("AB")},
        {"kept scalars before the run need not be contiguous", QStringLiteral("A-B--AB"),
         QStringLiteral(".x.xx.."), QStringLiteral("AB")},
        {"no match", QStringLiteral("AB-CD"), QStringLiteral("..x.."), QStringLiteral("ABCD")},
        {"flags set at one seam are seen at the next", QStringLiteral("XY-Y-XY"),
         QStringLiteral("..x.x.."), QStringLiteral("XY")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::u32string scalars = Unicode::scalars(c.text);
        ASSERT_EQ(c.deleted.size(), c.text.size());
        std::vector<bool> drop;
        for (QChar flag : c.deleted) {
            drop.push_back(flag == QLatin1Char('x'));
        }
        TaggerCleanup::collapseSeamRestarts(scalars, drop);
        std::u32string kept;
        for (size_t i = 0; i < scalars.size(); ++i) {
            if (!drop[i]) {
                kept += scalars[i];
            }
        }
        EXPECT_EQ(Unicode::fromScalars(kept), c.expectedKept);
    }

    // Flags of the wrong length, or fewer than two scalars: nothing happens.
    std::vector<bool> drop {false, true};
    TaggerCleanup::collapseSeamRestarts(U"ABA", drop);
    EXPECT_EQ(drop, (std::vector<bool> {false, true}));
    drop = {true};
    TaggerCleanup::collapseSeamRestarts(U"A", drop);
    EXPECT_EQ(drop, std::vector<bool> {true});
}

TEST(TaggerCleanupLoad, SharedInstanceAndFailures)
{
    {
        SCOPED_TRACE("no assets: absent, nothing logged");
        WarningCapture warnings;
        FakeTaggerModelRuntime runtime;
        EXPECT_EQ(TaggerCleanup::load(runtime), nullptr);
        EXPECT_TRUE(runtime.loadedPaths.isEmpty());
        EXPECT_TRUE(warnings.messages().isEmpty());
    }
    {
        SCOPED_TRACE("an unreadable vocabulary fails before the model is loaded");
        WarningCapture warnings;
        FakeTaggerModelRuntime runtime;
        // Made in place: GCC's sanitizer build takes an assignment to the empty optional for a
        // read of strings it never set, and warns.
        runtime.assets.emplace(QStringLiteral("tagger.model"),
                               QStringLiteral("/nonexistent/tokenizer.json"));
        EXPECT_EQ(TaggerCleanup::load(runtime), nullptr);
        EXPECT_TRUE(runtime.loadedPaths.isEmpty());
        ASSERT_EQ(warnings.messages().size(), 1);
        EXPECT_TRUE(warnings.messages()[0].startsWith(
            QStringLiteral("TaggerCleanup: load failed: /nonexistent/tokenizer.json")))
            << warnings.messages()[0].toStdString();
    }
    {
        SCOPED_TRACE("a model that cannot be loaded");
        WarningCapture warnings;
        FakeTaggerModelRuntime runtime;
        runtime.assets =
            TaggerCleanup::Assets {QStringLiteral("tagger.model"), fixtureVocabulary()};
        runtime.loader = [](const QString &) -> std::unique_ptr<TaggerModel> {
            throw std::runtime_error("unsupported model format");
        };
        EXPECT_EQ(TaggerCleanup::load(runtime), nullptr);
        EXPECT_EQ(runtime.loadedPaths, QStringList {QStringLiteral("tagger.model")});
        EXPECT_EQ(
            warnings.messages(),
            QStringList {QStringLiteral("TaggerCleanup: load failed: unsupported model format")});
    }
    {
        SCOPED_TRACE("loaded");
        FakeTaggerModelRuntime runtime;
        runtime.assets =
            TaggerCleanup::Assets {QStringLiteral("tagger.model"), fixtureVocabulary()};
        runtime.loader = [](const QString &) {
            return std::make_unique<ScriptedTaggerModel>(ScriptedTaggerModel::deleting({}));
        };
        const auto stage = TaggerCleanup::load(runtime);
        ASSERT_NE(stage, nullptr);
        EXPECT_EQ(stage->name(), QStringLiteral("localModel"));
    }
    {
        SCOPED_TRACE("this system has no tagger runtime, so the shared stage is absent");
        EXPECT_EQ(TaggerModelRuntime::system().locateAssets(), std::nullopt);
        EXPECT_EQ(TaggerCleanup::shared(), nullptr);
        EXPECT_EQ(TaggerCleanup::shared(), nullptr);
    }
}

// Random transcripts and random verdicts: the result only ever drops scalars of the trimmed text
// (and may end in an added full stop), and is never empty.
TEST(TaggerCleanup, RandomVerdictsOnlyDropScalars)
{
    std::mt19937 random(5);
    const QStringList pieces = {
        QStringLiteral("えー"),       QStringLiteral("今日"), QStringLiteral("は"),
        QStringLiteral("、"),         QStringLiteral("。"),   QStringLiteral("？"),
        QStringLiteral(" "),          QStringLiteral("猫"),   QStringLiteral("晴れ"),
        QStringLiteral("!"),          QStringLiteral("\n"),   QStringLiteral("a"),
        QStringLiteral("\U0001F600"),
    };
    Stage s(ScriptedTaggerModel::scoring([&random](qsizetype, qint32) {
        return random() % 3 == 0 ? std::pair(1.0, 0.0) : std::pair(0.0, 1.0);
    }));
    for (int round = 0; round < 300; ++round) {
        QString text;
        const int count = int(random() % 60);
        for (int i = 0; i < count; ++i) {
            text += pieces[qsizetype(random() % quint32(pieces.size()))];
        }
        const QString result = s.clean(text);
        const QString trimmed = Unicode::trimmedWhitespaceAndNewlines(text);
        if (trimmed.isEmpty()) {
            EXPECT_EQ(result, text);
            continue;
        }
        ASSERT_FALSE(result.isEmpty());
        // A subsequence of the trimmed text, allowing one appended full stop.
        const std::u32string source = Unicode::scalars(trimmed);
        const std::u32string output = Unicode::scalars(result);
        size_t matched = 0;
        size_t at = 0;
        for (; matched < output.size() && at < source.size(); ++at) {
            if (source[at] == output[matched]) {
                ++matched;
            }
        }
        const bool addedStop = matched + 1 == output.size() && output.back() == U'\u3002';
        EXPECT_TRUE(matched == output.size() || addedStop) << result.toStdString();
    }
}
