#include "Core/TextCleanup/UnigramTokenizer.h"

#include "Base/BoundedFile.h"
#include "Base/Unicode.h"

#include <QFile>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>

namespace {

constexpr char32_t emptyKey = 0xFFFFFFFF; // never a scalar value
constexpr double minusInfinity = -std::numeric_limits<double>::infinity();

quint32 slotHash(char32_t scalar)
{
    quint32 h = quint32(scalar) * 2654435761u;
    return h ^ (h >> 15);
}

// The byte value of a piece written "<0xHH>", or -1 for any other piece.
int bytePieceValue(const std::string &piece)
{
    if (piece.size() != 6 || piece.compare(0, 3, "<0x") != 0 || piece[5] != '>') {
        return -1;
    }
    auto hexDigit = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    };
    const int high = hexDigit(piece[3]);
    const int low = hexDigit(piece[4]);
    if (high < 0 || low < 0) {
        return -1;
    }
    return high * 16 + low;
}

int utf8Bytes(char32_t scalar, quint8 out[4])
{
    if (scalar < 0x80) {
        out[0] = quint8(scalar);
        return 1;
    }
    if (scalar < 0x800) {
        out[0] = quint8(0xC0 | (scalar >> 6));
        out[1] = quint8(0x80 | (scalar & 0x3F));
        return 2;
    }
    if (scalar < 0x10000) {
        out[0] = quint8(0xE0 | (scalar >> 12));
        out[1] = quint8(0x80 | ((scalar >> 6) & 0x3F));
        out[2] = quint8(0x80 | (scalar & 0x3F));
        return 3;
    }
    out[0] = quint8(0xF0 | (scalar >> 18));
    out[1] = quint8(0x80 | ((scalar >> 12) & 0x3F));
    out[2] = quint8(0x80 | ((scalar >> 6) & 0x3F));
    out[3] = quint8(0x80 | (scalar & 0x3F));
    return 4;
}

// The ids that end at one lattice position: one ordinary piece, or the one to four byte pieces of
// one scalar.
struct LastPiece
{
    std::array<qint32, 4> ids {};
    qint8 count = 0;
};

} // namespace

UnigramTokenizer::Error::Error(Kind kind, const QString &description)
    : std::runtime_error(description.toStdString())
    , m_kind(kind)
{ }

// --- Vocabulary and its prefix tree ---

struct UnigramTokenizer::Vocabulary
{
    // One node of the prefix tree. Its children form a small open-addressing hash map from scalar
    // value to node index, kept as a window [slotBegin, slotBegin + slotMask] of `childSlots`. A
    // node without children points at slot 0, which stays empty, so a lookup needs no special case.
    struct TrieNode
    {
        quint32 slotBegin = 0;
        quint32 slotMask = 0;
        qint32 tokenID = -1;
        double score = 0.0;
    };

    struct Slot
    {
        char32_t scalar = emptyKey;
        qint64 node = -1;
    };

    std::vector<TrieNode> nodes;
    std::vector<Slot> childSlots;
    std::array<qint32, 256> byteTokens {};
    double fallbackScore = -10.0;
    qint32 bosID = 1;
    qint32 eosID = 2;
    qint32 padID = 3;

    qint64 child(qint64 node, char32_t scalar) const
    {
        const TrieNode &n = nodes[size_t(node)];
        quint32 i = slotHash(scalar) & n.slotMask;
        for (;;) {
            const Slot &slot = childSlots[n.slotBegin + i];
            if (slot.scalar == scalar) {
                return slot.node;
            }
            if (slot.scalar == emptyKey) {
                return -1;
            }
            i = (i + 1) & n.slotMask;
        }
    }
};

UnigramTokenizer::UnigramTokenizer(std::shared_ptr<const Vocabulary> vocabulary)
    : d(std::move(vocabulary))
{ }

UnigramTokenizer::UnigramTokenizer(const QString &filePath)
{
    // The shipped vocabulary is a few megabytes.
    const BoundedFile::Result file = BoundedFile::read(filePath, 64 * 1024 * 1024);
    if (!file.isRead()) {
        throw Error(Error::Kind::unreadable,
                    filePath + QStringLiteral(": ")
                        + (file.error.isEmpty() ? QStringLiteral("missing") : file.error));
    }
    d = fromJSON(file.bytes).d;
}

UnigramTokenizer UnigramTokenizer::fromJSON(const QByteArray &json)
{
    using Json = nlohmann::json;
    auto corrupt = [](const char *what) {
        return Error(Error::Kind::corruptFile,
                     QStringLiteral("not a unigram vocabulary: ") + QString::fromUtf8(what));
    };

    Json document;
    try {
        document = Json::parse(json.begin(), json.end());
    } catch (const Json::exception &error) {
        throw Error(Error::Kind::invalidJSON, QString::fromUtf8(error.what()));
    }
    if (!document.is_object()) {
        throw corrupt("the top level is not an object");
    }
    const auto model = document.find("model");
    if (model == document.end() || !model->is_object()) {
        throw corrupt("\"model\" is missing or not an object");
    }
    const auto vocab = model->find("vocab");
    if (vocab == model->end() || !vocab->is_array()) {
        throw corrupt("\"model\" \u2192 \"vocab\" is missing or not an array");
    }
    for (const Json &entry : *vocab) {
        if (!entry.is_array()) {
            throw corrupt("an element of \"model\" \u2192 \"vocab\" is not an array");
        }
    }

    auto v = std::make_shared<Vocabulary>();
    v->byteTokens.fill(-1);
    v->nodes.reserve(vocab->size() * 2 + 1);
    v->nodes.emplace_back();

    // While building, the edges live in one map keyed by (parent, scalar); they are laid out as
    // per-node tables afterwards, once every node's number of children is known.
    std::unordered_map<quint64, qint64> edges;
    edges.reserve(vocab->size() * 2);
    auto edgeKey = [](qint64 parent, char32_t scalar) {
        return (quint64(parent) << 21) | quint64(scalar);
    };

    double lowestScore = 0.0;
    for (size_t k = 0; k < vocab->size(); ++k) {
        const Json &entry = (*vocab)[k];
        if (entry.size() < 2 || !entry[0].is_string()) {
            continue;
        }
        const auto &piece = entry[0].get_ref<const std::string &>();
        const double score = entry[1].is_number() ? entry[1].get<double>() : 0.0;
        const qint32 id = qint32(k);

        const int byteValue = bytePieceValue(piece);
        if (byteValue >= 0) {
            v->byteTokens[size_t(byteValue)] = id;
            continue;
        }

        qint64 node = 0;
        for (char32_t scalar : Unicode::scalars(QString::fromStdString(piece))) {
            const auto [it, inserted] = edges.try_emplace(edgeKey(node, scalar), 0);
            if (inserted) {
                it->second = qint64(v->nodes.size());
                v->nodes.emplace_back();
            }
            node = it->second;
        }
        v->nodes[size_t(node)].tokenID = id;
        v->nodes[size_t(node)].score = score;
        lowestScore = std::min(lowestScore, score);
    }
    v->fallbackScore = lowestScore - 10.0;

    // Lay out the children: a power-of-two table per node, at most half full.
    std::vector<quint32> childCount(v->nodes.size(), 0);
    for (const auto &[key, child] : edges) {
        ++childCount[size_t(key >> 21)];
    }
    v->childSlots.resize(1); // slot 0: the shared empty table of every leaf
    for (size_t i = 0; i < v->nodes.size(); ++i) {
        if (childCount[i] == 0) {
            continue;
        }
        quint32 capacity = 2;
        while (capacity < childCount[i] * 2) {
            capacity *= 2;
        }
        v->nodes[i].slotBegin = quint32(v->childSlots.size());
        v->nodes[i].slotMask = capacity - 1;
        v->childSlots.resize(v->childSlots.size() + capacity);
    }
    for (const auto &[key, child] : edges) {
        Vocabulary::TrieNode &parent = v->nodes[size_t(key >> 21)];
        const char32_t scalar = char32_t(key & 0x1FFFFF);
        quint32 i = slotHash(scalar) & parent.slotMask;
        while (v->childSlots[parent.slotBegin + i].scalar != emptyKey) {
            i = (i + 1) & parent.slotMask;
        }
        v->childSlots[parent.slotBegin + i] = {scalar, child};
    }

    std::unordered_map<std::string, qint64> addedTokens;
    const auto added = document.find("added_tokens");
    if (added != document.end() && added->is_array()) {
        for (const Json &token : *added) {
            if (!token.is_object()) {
                continue;
            }
            const auto content = token.find("content");
            const auto id = token.find("id");
            if (content == token.end() || !content->is_string() || id == token.end()
                || !id->is_number_integer()) {
                continue;
            }
            // Ids are 32-bit; one outside that range cannot name a token of this vocabulary.
            qint64 value = 0;
            if (id->is_number_unsigned()) {
                const auto u = id->get<std::uint64_t>();
                if (u > std::uint64_t(std::numeric_limits<qint32>::max())) {
                    continue;
                }
                value = qint64(u);
            } else {
                value = id->get<std::int64_t>();
                if (value < std::numeric_limits<qint32>::min()
                    || value > std::numeric_limits<qint32>::max()) {
                    continue;
                }
            }
            addedTokens[content->get<std::string>()] = value;
        }
    }
    auto addedID = [&](const char *content, qint32 fallback) {
        const auto it = addedTokens.find(content);
        return it == addedTokens.end() ? fallback : qint32(it->second);
    };
    v->bosID = addedID("<s>", 1);
    v->eosID = addedID("</s>", 2);
    v->padID = addedID("<pad>", 3);

    return UnigramTokenizer(std::move(v));
}

qint32 UnigramTokenizer::bosID() const
{
    return d->bosID;
}

qint32 UnigramTokenizer::eosID() const
{
    return d->eosID;
}

qint32 UnigramTokenizer::padID() const
{
    return d->padID;
}

qint32 UnigramTokenizer::byteToken(quint8 byte) const
{
    return d->byteTokens[byte];
}

double UnigramTokenizer::fallbackScore() const
{
    return d->fallbackScore;
}

// --- Encoding ---

UnigramTokenizer::Encoding UnigramTokenizer::encode(const QString &text, qsizetype maxLength) const
{
    const Vocabulary &v = *d;
    const size_t rowLength = size_t(std::max<qsizetype>(1, maxLength));

    std::u32string s = Unicode::scalars(text);
    std::replace(s.begin(), s.end(), U' ', metaspace);
    const size_t n = s.size();

    // best[p]: the best score of a segmentation of the first p scalars; start[p] and last[p]: where
    // the last piece of that segmentation starts, and its ids.
    std::vector<double> best(n + 1, minusInfinity);
    std::vector<qint64> start(n + 1, -1);
    std::vector<LastPiece> last(n + 1);
    best[0] = 0.0;

    for (size_t i = 0; i < n; ++i) {
        if (best[i] == minusInfinity) {
            continue;
        }
        qint64 node = 0;
        for (size_t j = i; j < n; ++j) {
            node = v.child(node, s[j]);
            if (node < 0) {
                break;
            }
            const Vocabulary::TrieNode &reached = v.nodes[size_t(node)];
            if (reached.tokenID < 0) {
                continue;
            }
            // Only a strictly better score replaces an entry, and starts are met in ascending
            // order: of equal segmentations the one with the longer last piece stays.
            const double candidate = best[i] + reached.score;
            if (best[j + 1] < candidate) {
                best[j + 1] = candidate;
                start[j + 1] = qint64(i);
                last[j + 1].ids[0] = reached.tokenID;
                last[j + 1].count = 1;
            }
        }
        if (best[i + 1] == minusInfinity) {
            quint8 bytes[4];
            const int byteCount = utf8Bytes(s[i], bytes);
            LastPiece piece;
            for (int b = 0; b < byteCount; ++b) {
                const qint32 id = v.byteTokens[bytes[b]];
                if (id < 0) {
                    piece.count = 0;
                    break;
                }
                piece.ids[size_t(b)] = id;
                piece.count = qint8(b + 1);
            }
            if (piece.count == byteCount) {
                best[i + 1] = best[i] + v.fallbackScore;
                start[i + 1] = qint64(i);
                last[i + 1] = piece;
            }
        }
    }

    // The segments of the best path, from the end of the text back to its start.
    std::vector<size_t> ends;
    for (size_t p = n; start[p] >= 0;) {
        ends.push_back(p);
        if (start[p] == 0) {
            break;
        }
        p = size_t(start[p]);
    }

    Encoding encoding;
    encoding.ids.reserve(rowLength);
    encoding.attentionMask.reserve(rowLength);
    encoding.spans.reserve(rowLength);
    encoding.ids.push_back(v.bosID);
    encoding.spans.push_back(std::nullopt);
    for (auto it = ends.rbegin(); it != ends.rend() && encoding.ids.size() < rowLength; ++it) {
        const size_t end = *it;
        const ScalarRange span {start[end], qint64(end)};
        for (qint8 b = 0; b < last[end].count; ++b) {
            encoding.ids.push_back(last[end].ids[size_t(b)]);
            encoding.spans.push_back(span);
        }
    }
    if (encoding.ids.size() >= rowLength) {
        encoding.ids.resize(rowLength - 1);
        encoding.spans.resize(rowLength - 1);
    }
    encoding.ids.push_back(v.eosID);
    encoding.spans.push_back(std::nullopt);
    encoding.attentionMask.assign(encoding.ids.size(), 1);
    while (encoding.ids.size() < rowLength) {
        encoding.ids.push_back(v.padID);
        encoding.spans.push_back(std::nullopt);
        encoding.attentionMask.push_back(0);
    }
    return encoding;
}
