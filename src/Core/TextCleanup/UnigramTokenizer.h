#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

// Segments a text into the pieces of a unigram subword vocabulary: the highest-scoring sequence of
// pieces over the text's Unicode scalars, with byte pieces ("<0x41>") where no piece covers a
// scalar. The result is a fixed-length row of ids for a token-classification model, together with
// the scalar range each token covers, so that per-token verdicts can be mapped back onto the text.
//
// Immutable once built; copies share the vocabulary, and any thread may encode at any time.
class UnigramTokenizer
{
public:
    // Why a vocabulary could not be loaded.
    class Error : public std::runtime_error
    {
    public:
        enum class Kind {
            unreadable, // the file could not be read; the message is the system's reason
            invalidJSON, // not a JSON document; the message is the parser's
            corruptFile, // JSON, but not in the layout of a unigram vocabulary
        };
        Error(Kind kind, const QString &description);
        Kind kind() const { return m_kind; }
        QString description() const { return QString::fromUtf8(what()); }

    private:
        Kind m_kind;
    };

    // Half-open range of scalar positions of the encoded text.
    struct ScalarRange
    {
        qint64 lower = 0;
        qint64 upper = 0;
        friend bool operator==(const ScalarRange &, const ScalarRange &) = default;
    };

    // Three rows of the same length: the start id, the content tokens, the end id, then padding.
    struct Encoding
    {
        std::vector<qint32> ids;
        // 1 for the start id, every content token and the end id; 0 for padding.
        std::vector<qint32> attentionMask;
        // The scalars each content token covers; absent for the start, end and padding ids. All
        // byte pieces of one scalar carry that scalar's range.
        std::vector<std::optional<ScalarRange>> spans;
    };

    // Stands for a space inside pieces: U+2581 LOWER ONE EIGHTH BLOCK.
    static constexpr char32_t metaspace = U'\u2581';

    // Reads a vocabulary file: {"model": {"vocab": [[piece, score], ...]}, "added_tokens": [...]}.
    // Throws Error.
    explicit UnigramTokenizer(const QString &filePath);
    // The same from the file's bytes. Throws Error (invalidJSON or corruptFile).
    static UnigramTokenizer fromJSON(const QByteArray &json);

    // Exactly `maxLength` entries (values below 1 count as 1). Spaces (U+0020) are encoded as the
    // metaspace; nothing else of the text is changed. At most maxLength - 2 content tokens are
    // kept, from the start of the text. A text that cannot be covered by pieces gives no content
    // tokens at all.
    Encoding encode(const QString &text, qsizetype maxLength) const;

    // The id of the added token "<s>", else 1.
    qint32 bosID() const;
    // The id of the added token "</s>", else 2.
    qint32 eosID() const;
    // The id of the added token "<pad>", else 3.
    qint32 padID() const;
    // The id of the byte piece for `byte`; -1 when the vocabulary has none.
    qint32 byteToken(quint8 byte) const;
    // What one scalar encoded by byte pieces costs: the lowest score of any ordinary piece, minus
    // 10.
    double fallbackScore() const;

private:
    struct Vocabulary;
    explicit UnigramTokenizer(std::shared_ptr<const Vocabulary> vocabulary);

    std::shared_ptr<const Vocabulary> d;
};
