#include "Core/TextCleanup/UnigramTokenizer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TestSupport/QtPrinters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Json = nlohmann::json;
using Range = UnigramTokenizer::ScalarRange;

struct Piece
{
    std::string text;
    Json score;
};

Json vocabularyDocument(const std::vector<Piece> &pieces, Json addedTokens = nullptr)
{
    Json vocab = Json::array();
    for (const Piece &piece : pieces) {
        vocab.push_back(Json::array({piece.text, piece.score}));
    }
    Json document = {{"model", {{"type", "Unigram"}, {"vocab", vocab}}}};
    if (!addedTokens.is_null()) {
        document["added_tokens"] = addedTokens;
    }
    return document;
}

UnigramTokenizer tokenizer(const std::vector<Piece> &pieces, Json addedTokens = nullptr)
{
    return UnigramTokenizer::fromJSON(
        QByteArray::fromStdString(vocabularyDocument(pieces, addedTokens).dump()));
}

// The content tokens of an encoding: (id, span) of every entry with a span.
std::vector<std::pair<qint32, Range>> contentTokens(const UnigramTokenizer::Encoding &encoding)
{
    std::vector<std::pair<qint32, Range>> tokens;
    for (size_t i = 0; i < encoding.ids.size(); ++i) {
        if (encoding.spans[i]) {
            tokens.emplace_back(encoding.ids[i], *encoding.spans[i]);
        }
    }
    return tokens;
}

std::vector<qint32> contentIDs(const UnigramTokenizer::Encoding &encoding)
{
    std::vector<qint32> ids;
    for (const auto &[id, span] : contentTokens(encoding)) {
        ids.push_back(id);
    }
    return ids;
}

// The pieces "<0x00>" to "<0xFF>" in byte order.
std::vector<Piece> bytePieces(const std::vector<int> &values)
{
    std::vector<Piece> pieces;
    for (int value : values) {
        char text[8];
        std::snprintf(text, sizeof text, "<0x%02X>", value);
        pieces.push_back({text, -5.0});
    }
    return pieces;
}

// Every row has maxLength entries: start id, content, end id, padding; the mask and the spans
// agree with that shape.
void expectWellFormed(const UnigramTokenizer &t, const UnigramTokenizer::Encoding &e,
                      qsizetype maxLength)
{
    ASSERT_EQ(e.ids.size(), size_t(maxLength));
    ASSERT_EQ(e.attentionMask.size(), size_t(maxLength));
    ASSERT_EQ(e.spans.size(), size_t(maxLength));
    EXPECT_EQ(e.ids[0], t.bosID());
    EXPECT_FALSE(e.spans[0]);
    size_t endAt = 1;
    while (endAt < e.ids.size() && e.spans[endAt]) {
        ++endAt;
    }
    ASSERT_LT(endAt, e.ids.size());
    EXPECT_EQ(e.ids[endAt], t.eosID());
    for (size_t i = 0; i < e.ids.size(); ++i) {
        EXPECT_EQ(e.attentionMask[i], i <= endAt ? 1 : 0) << "at " << i;
        if (i > endAt) {
            EXPECT_EQ(e.ids[i], t.padID());
            EXPECT_FALSE(e.spans[i]);
        }
    }
}

} // namespace

TEST(UnigramTokenizerEncode, EmptyTextIsStartEndAndPadding)
{
    const auto t = tokenizer({{"a", -1.0}});
    const auto e = t.encode(QString(), 128);
    expectWellFormed(t, e, 128);
    EXPECT_EQ(e.ids[0], 1);
    EXPECT_EQ(e.ids[1], 2);
    EXPECT_EQ(std::count(e.ids.begin() + 2, e.ids.end(), 3), 126);
    EXPECT_EQ(e.attentionMask[0], 1);
    EXPECT_EQ(e.attentionMask[1], 1);
    EXPECT_EQ(std::count(e.attentionMask.begin(), e.attentionMask.end(), 0), 126);
}

TEST(UnigramTokenizerEncode, SegmentsAndSpans)
{
    struct Case
    {
        const char *name;
        std::vector<Piece> pieces;
        QString text;
        std::vector<std::pair<qint32, Range>> expected;
    };
    const Case cases[] = {
        {"the space is covered by the metaspace piece",
         {{"a", -1.0}, {"\u2581b", -1.0}},
         QStringLiteral("a b"),
         {{0, {0, 1}}, {1, {1, 3}}}},
        {"a leading space becomes the metaspace, with no extra one in front",
         {{"\u2581b", -1.0}, {"\u2581", -1.0}},
         QStringLiteral(" b"),
         {{0, {0, 2}}}},
        {"no metaspace is put before the first word", {{"\u2581b", -1.0}}, QStringLiteral("b"), {}},
        {"a tab is not a space",
         {{"a", -1.0}, {"b", -1.0}, {"\u2581", -1.0}},
         QStringLiteral("a\tb"),
         {}},
        {"a tab piece covers a tab",
         {{"a", -1.0}, {"b", -1.0}, {"\t", -1.0}},
         QStringLiteral("a\tb"),
         {{0, {0, 1}}, {2, {1, 2}}, {1, {2, 3}}}},
        {"two pieces beat a worse single piece",
         {{"ab", -1.0}, {"a", -0.4}, {"b", -0.4}},
         QStringLiteral("ab"),
         {{1, {0, 1}}, {2, {1, 2}}}},
        {"a tie keeps the longer last piece",
         {{"ab", -1.0}, {"a", -0.5}, {"b", -0.5}},
         QStringLiteral("ab"),
         {{0, {0, 2}}}},
        {"a tie keeps the longer last piece whatever the vocabulary order",
         {{"a", -0.5}, {"b", -0.5}, {"ab", -1.0}},
         QStringLiteral("ab"),
         {{2, {0, 2}}}},
        {"spans count scalars, not UTF-16 units",
         {{"a", -1.0}, {"\U0001F600", -1.0}},
         QStringLiteral("\U0001F600a"),
         {{1, {0, 1}}, {0, {1, 2}}}},
        {"no normalisation: a decomposed letter is not the composed piece",
         {{"\u00E9", -1.0}},
         QStringLiteral("e\u0301"),
         {}},
        {"a later duplicate of a piece takes over its id and score",
         {{"ab", -0.1}, {"a", -0.5}, {"b", -0.5}, {"ab", -3.0}},
         QStringLiteral("ab"),
         {{1, {0, 1}}, {2, {1, 2}}}},
        {"the empty piece is never produced",
         {{"", 5.0}, {"a", -1.0}},
         QStringLiteral("aa"),
         {{1, {0, 1}}, {1, {1, 2}}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto t = tokenizer(c.pieces);
        const auto e = t.encode(c.text, 128);
        expectWellFormed(t, e, 128);
        EXPECT_EQ(contentTokens(e), c.expected);
    }
}

TEST(UnigramTokenizerEncode, ByteFallback)
{
    // U+3042 is E3 81 82 in UTF-8; U+1F600 is F0 9F 98 80.
    const auto allBytes = [] {
        std::vector<int> values;
        for (int b = 0; b < 256; ++b) {
            values.push_back(b);
        }
        return bytePieces(values);
    }();

    {
        SCOPED_TRACE("a three-byte scalar gives three byte ids over one span");
        const auto t = tokenizer(allBytes);
        const auto e = t.encode(QStringLiteral("\u3042"), 128);
        expectWellFormed(t, e, 128);
        EXPECT_EQ(contentTokens(e),
                  (std::vector<std::pair<qint32, Range>> {
                      {0xE3, {0, 1}}, {0x81, {0, 1}}, {0x82, {0, 1}}}));
    }
    {
        SCOPED_TRACE("a four-byte scalar gives four byte ids");
        const auto t = tokenizer(allBytes);
        EXPECT_EQ(contentIDs(t.encode(QStringLiteral("\U0001F600"), 128)),
                  (std::vector<qint32> {0xF0, 0x9F, 0x98, 0x80}));
    }
    {
        SCOPED_TRACE("fallback only where no piece ends right after the scalar");
        auto pieces = allBytes;
        pieces.push_back({"a", -100.0});
        const auto t = tokenizer(pieces);
        EXPECT_EQ(contentIDs(t.encode(QStringLiteral("a"), 128)), (std::vector<qint32> {256}));
    }

    // Fallback costs the lowest ordinary score minus 10 (here -11), once per scalar, however many
    // bytes it has. Against the whole piece "あy" (-1), bytes then "y" win only when "y" scores
    // more than 10: +12 gives -11 + 12 = 1 (charged per byte it would be -21 and lose), +9 gives
    // -2.
    for (const auto &[yScore, expectWhole] :
         std::vector<std::pair<double, bool>> {{12.0, false}, {9.0, true}}) {
        SCOPED_TRACE(yScore);
        auto pieces = bytePieces({0xE3, 0x81, 0x82});
        pieces.push_back({"y", yScore});
        pieces.push_back({"\u3042y", -1.0});
        const auto t = tokenizer(pieces);
        EXPECT_EQ(t.fallbackScore(), -11.0);
        const auto ids = contentIDs(t.encode(QStringLiteral("\u3042y"), 128));
        EXPECT_EQ(ids, (expectWhole ? std::vector<qint32> {4} : std::vector<qint32> {0, 1, 2, 3}));
    }
}

TEST(UnigramTokenizerEncode, UncoverableScalarLeavesNoContentTokens)
{
    struct Case
    {
        const char *name;
        std::vector<Piece> pieces;
        std::vector<std::pair<qint32, Range>> expected;
    };
    // "a", U+3042 (E3 81 82), "b"; the byte piece for 82 is missing.
    auto partialBytes = bytePieces({0xE3, 0x81});
    const Case cases[] = {
        {"a missing byte piece makes every later position unreachable",
         [&] {
             auto p = partialBytes;
             p.push_back({"a", -1.0});
             p.push_back({"b", -1.0});
             return p;
         }(),
         {}},
        {"a piece from an earlier start that reaches across the scalar still covers it",
         [&] {
             auto p = partialBytes;
             p.push_back({"a", -1.0});
             p.push_back({"b", -1.0});
             p.push_back({"a\u3042", -4.0});
             return p;
         }(),
         {{4, {0, 2}}, {3, {2, 3}}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto t = tokenizer(c.pieces);
        const auto e = t.encode(QStringLiteral("a\u3042b"), 128);
        expectWellFormed(t, e, 128);
        EXPECT_EQ(contentTokens(e), c.expected);
    }
}

TEST(UnigramTokenizerLoad, BytePieces)
{
    std::vector<Piece> pieces;
    for (int i = 0; i < 7; ++i) {
        pieces.push_back({"p" + std::to_string(i), -1.0});
    }
    pieces.push_back({"<0x41>", -1.0}); // id 7
    pieces.push_back({"<0xZZ>", -2.0}); // id 8: an ordinary piece
    pieces.push_back({"<0x4a>", -1.0}); // id 9: lower-case digits
    pieces.push_back({"<0x4A>", -1.0}); // id 10: replaces id 9 for 0x4A
    pieces.push_back({"<0x4>", -1.0}); // id 11: five characters, an ordinary piece
    pieces.push_back({"<0x-1>", -1.0}); // id 12: not hexadecimal
    pieces.push_back({"<0x41", -1.0}); // id 13
    const auto t = tokenizer(pieces);

    EXPECT_EQ(t.byteToken(0x41), 7);
    EXPECT_EQ(t.byteToken(0x4A), 10);
    EXPECT_EQ(t.byteToken(0x42), -1);
    EXPECT_EQ(t.byteToken(0x5A), -1);
    // Byte piece scores take no part in the lowest score.
    EXPECT_EQ(t.fallbackScore(), -12.0);

    EXPECT_EQ(contentIDs(t.encode(QStringLiteral("<0xZZ>"), 128)), (std::vector<qint32> {8}));
    EXPECT_EQ(contentIDs(t.encode(QStringLiteral("<0x-1>"), 128)), (std::vector<qint32> {12}));
    // A byte piece is never matched as text; "A" itself is encoded by it.
    EXPECT_EQ(contentIDs(t.encode(QStringLiteral("<0x41>"), 128)), std::vector<qint32> {});
    EXPECT_EQ(contentIDs(t.encode(QStringLiteral("A"), 128)), (std::vector<qint32> {7}));
}

TEST(UnigramTokenizerLoad, EntriesAndScores)
{
    struct Case
    {
        const char *name;
        Json vocab;
        QString text;
        std::vector<qint32> expectedIDs;
        double expectedFallback;
    };
    const Case cases[] = {
        {"short or non-text entries are skipped without renumbering",
         Json::parse(R"([["x"], [5, -1.0], [], ["a", -1.0]])"),
         QStringLiteral("a"),
         {3},
         -11.0},
        {"a score that is not a number counts as 0",
         Json::parse(R"([["ab", "high"], ["a", -0.1], ["b", -0.1]])"),
         QStringLiteral("ab"),
         {0},
         -10.1},
        {"a boolean score counts as 0",
         Json::parse(R"([["ab", true], ["a", null], ["b", -0.1]])"),
         QStringLiteral("ab"),
         {0},
         -10.1},
        {"the lowest score starts at 0",
         Json::parse(R"([["a", 2.5], ["b", 1.0]])"),
         QStringLiteral("ab"),
         {0, 1},
         -10.0},
        {"extra members of an entry are ignored",
         Json::parse(R"([["a", -3.0, "extra"], ["b", -1.0, {}]])"),
         QStringLiteral("ba"),
         {1, 0},
         -13.0},
        {"an empty vocabulary", Json::array(), QStringLiteral("a"), {}, -10.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Json document = {{"model", {{"vocab", c.vocab}}}};
        const auto t = UnigramTokenizer::fromJSON(QByteArray::fromStdString(document.dump()));
        EXPECT_EQ(contentIDs(t.encode(c.text, 128)), c.expectedIDs);
        EXPECT_DOUBLE_EQ(t.fallbackScore(), c.expectedFallback);
    }
}

TEST(UnigramTokenizerLoad, SpecialTokens)
{
    struct Case
    {
        const char *name;
        Json addedTokens;
        qint32 bos, eos, pad;
    };
    const Case cases[] = {
        {"absent", nullptr, 1, 2, 3},
        {"found by content",
         Json::parse(R"([{"content": "<pad>", "id": 0}, {"content": "<s>", "id": 5},
                         {"content": "</s>", "id": 6, "special": true}])"),
         5, 6, 0},
        {"later entries win",
         Json::parse(R"([{"content": "<s>", "id": 5}, {"content": "<s>", "id": 9}])"), 9, 2, 3},
        {"objects without a text content or an integer id are ignored",
         Json::parse(R"([{"content": "<s>", "id": "7"}, {"content": "</s>"}, {"id": 4},
                         {"content": 1, "id": 4}, {"content": "<pad>", "id": 1.5}, 12, null])"),
         1, 2, 3},
        {"an id outside the 32-bit range is ignored",
         Json::parse(R"([{"content": "<s>", "id": 4294967296}, {"content": "</s>", "id": -7}])"), 1,
         -7, 3},
        {"added_tokens of another shape counts as absent", Json::parse(R"({"<s>": 5})"), 1, 2, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto t = tokenizer({{"a", -1.0}}, c.addedTokens);
        EXPECT_EQ(t.bosID(), c.bos);
        EXPECT_EQ(t.eosID(), c.eos);
        EXPECT_EQ(t.padID(), c.pad);
        const auto e = t.encode(QStringLiteral("a"), 5);
        EXPECT_EQ(e.ids, (std::vector<qint32> {c.bos, 0, c.eos, c.pad, c.pad}));
        EXPECT_EQ(e.attentionMask, (std::vector<qint32> {1, 1, 1, 0, 0}));
    }
}

TEST(UnigramTokenizerEncode, RowLength)
{
    const auto t = tokenizer({{"a", -1.0}, {"\u2581", -1.0}});
    {
        SCOPED_TRACE("at most 126 content tokens in a row of 128; the end of the text is lost");
        const auto e = t.encode(QString(200, QLatin1Char('a')), 128);
        expectWellFormed(t, e, 128);
        const auto tokens = contentTokens(e);
        ASSERT_EQ(tokens.size(), 126u);
        EXPECT_EQ(tokens.back().second, (Range {125, 126}));
        EXPECT_EQ(e.ids[127], t.eosID());
    }
    {
        SCOPED_TRACE("exactly filling the row");
        const auto e = t.encode(QString(126, QLatin1Char('a')), 128);
        expectWellFormed(t, e, 128);
        EXPECT_EQ(contentTokens(e).size(), 126u);
    }
    struct Case
    {
        qsizetype maxLength;
        std::vector<qint32> ids;
    };
    const Case cases[] = {
        {4, {1, 0, 1, 2}}, {2, {1, 2}}, {1, {2}}, {0, {2}}, {-5, {2}}, {7, {1, 0, 1, 0, 0, 2, 3}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.maxLength);
        const auto e = t.encode(QStringLiteral("a aa"), c.maxLength);
        EXPECT_EQ(e.ids, c.ids);
        EXPECT_EQ(e.spans.size(), c.ids.size());
        EXPECT_EQ(e.attentionMask.size(), c.ids.size());
    }
}

TEST(UnigramTokenizerLoad, Errors)
{
    using Kind = UnigramTokenizer::Error::Kind;
    struct Case
    {
        const char *name;
        QByteArray bytes;
        Kind kind;
    };
    const Case cases[] = {
        {"empty file", "", Kind::invalidJSON},
        {"not JSON", "model: vocab", Kind::invalidJSON},
        {"truncated", R"({"model": {"vocab": [["a", -1)", Kind::invalidJSON},
        {"invalid UTF-8", "{\"model\": {\"vocab\": [[\"\xFF\", 1]]}}", Kind::invalidJSON},
        {"top level is an array", "[1, 2]", Kind::corruptFile},
        {"top level is a string", "\"model\"", Kind::corruptFile},
        {"no model", R"({"vocab": []})", Kind::corruptFile},
        {"model is an array", R"({"model": []})", Kind::corruptFile},
        {"no vocab", R"({"model": {}})", Kind::corruptFile},
        {"vocab is an object", R"({"model": {"vocab": {"a": -1}}})", Kind::corruptFile},
        {"vocab holds a non-array", R"({"model": {"vocab": [["a", -1], "b"]}})", Kind::corruptFile},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        try {
            (void)UnigramTokenizer::fromJSON(c.bytes);
            ADD_FAILURE() << "loaded";
        } catch (const UnigramTokenizer::Error &error) {
            EXPECT_EQ(error.kind(), c.kind);
            EXPECT_FALSE(error.description().isEmpty());
        }
    }
}

TEST(UnigramTokenizerLoad, Files)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("tokenizer.json"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(vocabularyDocument({{"a", -1.0}}).dump()));
    }
    EXPECT_EQ(contentIDs(UnigramTokenizer(path).encode(QStringLiteral("a"), 8)),
              (std::vector<qint32> {0}));

    for (const QString &unreadable :
         {folder.filePath(QStringLiteral("missing.json")), folder.path()}) {
        SCOPED_TRACE(unreadable.toStdString());
        try {
            UnigramTokenizer t(unreadable);
            ADD_FAILURE() << "loaded";
        } catch (const UnigramTokenizer::Error &error) {
            EXPECT_EQ(error.kind(), UnigramTokenizer::Error::Kind::unreadable);
            EXPECT_TRUE(error.description().startsWith(unreadable)) << error.what();
        }
    }
}

// The best segmentation's score equals the best score over every segmentation, found by brute
// force on short texts with few distinct scores (so ties are common).
TEST(UnigramTokenizerEncode, ViterbiFindsTheBestSegmentation)
{
    std::mt19937 random(20240501);
    const std::string alphabet = "ab c";
    for (int round = 0; round < 200; ++round) {
        std::vector<Piece> pieces;
        std::vector<std::pair<std::u32string, double>> scored;
        const int count = 3 + int(random() % 10);
        for (int i = 0; i < count; ++i) {
            std::string text;
            const int length = 1 + int(random() % 3);
            for (int k = 0; k < length; ++k) {
                const char c = alphabet[random() % alphabet.size()];
                text += c == ' ' ? std::string("\u2581") : std::string(1, c);
            }
            const double score = -0.5 * double(1 + random() % 6);
            pieces.push_back({text, score});
        }
        std::string textUtf8;
        const int length = int(random() % 9);
        for (int k = 0; k < length; ++k) {
            textUtf8 += alphabet[random() % alphabet.size()];
        }
        const auto t = tokenizer(pieces);

        // Later duplicates of a piece win.
        std::map<std::u32string, std::pair<qint32, double>> byText;
        for (size_t id = 0; id < pieces.size(); ++id) {
            const std::u32string s = QString::fromStdString(pieces[id].text).toStdU32String();
            byText[s] = {qint32(id), pieces[id].score.get<double>()};
        }
        std::u32string text;
        for (char c : textUtf8) {
            text += c == ' ' ? U'\u2581' : char32_t(c);
        }
        std::function<double(size_t)> bestFrom = [&](size_t from) -> double {
            if (from == text.size()) {
                return 0.0;
            }
            double best = -std::numeric_limits<double>::infinity();
            for (size_t end = from + 1; end <= text.size(); ++end) {
                const auto it = byText.find(text.substr(from, end - from));
                if (it != byText.end()) {
                    best = std::max(best, it->second.second + bestFrom(end));
                }
            }
            return best;
        };
        const double expected = bestFrom(0);

        const auto e = t.encode(QString::fromStdString(textUtf8), 64);
        const auto tokens = contentTokens(e);
        if (std::isinf(expected)) {
            EXPECT_TRUE(tokens.empty()) << textUtf8;
            continue;
        }
        double total = 0.0;
        qint64 covered = 0;
        for (const auto &[id, span] : tokens) {
            EXPECT_EQ(span.lower, covered);
            const auto piece = text.substr(size_t(span.lower), size_t(span.upper - span.lower));
            ASSERT_TRUE(byText.count(piece));
            EXPECT_EQ(byText[piece].first, id);
            total += byText[piece].second;
            covered = span.upper;
        }
        EXPECT_EQ(covered, qint64(text.size())) << textUtf8;
        EXPECT_DOUBLE_EQ(total, expected) << textUtf8;
    }
}

// Random and damaged vocabulary files either load or fail with an Error; random texts always
// encode to a well-formed row.
TEST(UnigramTokenizerFuzz, DamagedFilesAndRandomTexts)
{
    std::mt19937 random(7);
    std::vector<Piece> pieces = bytePieces({0x41, 0xE3, 0x81, 0x82, 0x20});
    for (const char *text : {"a", "b", "ab", "\u2581a", "\u3042", "\u3042\u3044", "\U0001F600",
                             "<0x", ">", "<0xZZ>"}) {
        pieces.push_back({text, -double(1 + random() % 8)});
    }
    const QByteArray valid = QByteArray::fromStdString(
        vocabularyDocument(pieces, Json::parse(R"([{"content": "<s>", "id": 0}])")).dump());
    ASSERT_NO_THROW((void)UnigramTokenizer::fromJSON(valid));

    std::vector<QByteArray> damaged;
    for (qsizetype length = 0; length < valid.size(); ++length) {
        damaged.push_back(valid.left(length));
    }
    for (int i = 0; i < 2000; ++i) {
        QByteArray bytes = valid;
        const int edits = 1 + int(random() % 4);
        for (int k = 0; k < edits; ++k) {
            const qsizetype at = qsizetype(random() % quint32(bytes.size()));
            switch (random() % 3) {
            case 0:
                bytes[at] = char(random() % 256);
                break;
            case 1:
                bytes.remove(at, 1 + qsizetype(random() % 8));
                break;
            default:
                bytes.insert(at, "[{\"\\,]}:0-e"[random() % 11]);
                break;
            }
        }
        damaged.push_back(bytes);
    }
    damaged.push_back(QByteArray(100000, '['));
    damaged.push_back(QByteArray::fromStdString(R"({"model": {"vocab": [[")"
                                                + std::string(5000, 'a') + R"(", -1e308]]}})"));

    const QList<char32_t> textScalars = {U'a', U'b',      U' ',      U'\u3042', U'\u3044',
                                         U'<', U'\u2581', U'\n',     U'\t',     U'\U0001F600',
                                         U'A', U'\u00E9', U'\uFFFD', U'z'};
    auto randomText = [&] {
        QString text;
        const int length = int(random() % 40);
        for (int k = 0; k < length; ++k) {
            if (random() % 17 == 0) {
                text += QChar(char16_t(0xD800 + random() % 0x800)); // a lone surrogate
                continue;
            }
            const char32_t c = textScalars[qsizetype(random() % quint32(textScalars.size()))];
            text += QString::fromUcs4(&c, 1);
        }
        return text;
    };

    int loaded = 0;
    for (const QByteArray &bytes : damaged) {
        try {
            const auto t = UnigramTokenizer::fromJSON(bytes);
            ++loaded;
            for (int k = 0; k < 3; ++k) {
                const QString text = randomText();
                const qsizetype maxLength = 1 + qsizetype(random() % 40);
                const auto e = t.encode(text, maxLength);
                ASSERT_EQ(e.ids.size(), size_t(maxLength));
                ASSERT_EQ(e.spans.size(), size_t(maxLength));
                ASSERT_EQ(e.attentionMask.size(), size_t(maxLength));
                // Content spans run from the start of the text without gaps; the byte pieces of
                // one scalar repeat its span.
                std::optional<UnigramTokenizer::ScalarRange> previous;
                for (const auto &span : e.spans) {
                    if (!span) {
                        continue;
                    }
                    EXPECT_LT(span->lower, span->upper);
                    EXPECT_LE(span->upper, qint64(text.toUcs4().size()));
                    if (previous) {
                        EXPECT_TRUE(*span == *previous || span->lower == previous->upper);
                    } else {
                        EXPECT_EQ(span->lower, 0);
                    }
                    previous = span;
                }
            }
        } catch (const UnigramTokenizer::Error &) { }
    }
    EXPECT_GT(loaded, 0);
}
