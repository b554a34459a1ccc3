#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

// A loaded token-tagger model: for each of the 128 tokens of one input row, a score for "delete"
// and a score for "keep".
//
// predict may be called from several threads at once; an implementation whose runtime cannot run
// concurrent predictions on one model serialises them itself.
class TaggerModel
{
public:
    // The output "logits" of shape [1, tokenCount, 2].
    struct Logits
    {
        qsizetype tokenCount = 0;
        std::vector<double> values; // tokenCount x 2, token-major

        double at(qsizetype token, int index) const { return values[size_t(token * 2 + index)]; }
    };

    static constexpr qsizetype inputLength = 128;

    virtual ~TaggerModel() = default;

    // Runs the model once on the inputs "input_ids" and "attention_mask" (inputLength entries
    // each). Returns nothing when the model yields no "logits" array. Throws a std::exception
    // describing the fault when the inputs cannot be built or the prediction fails.
    virtual std::optional<Logits> predict(const std::vector<qint32> &inputIDs,
                                          const std::vector<qint32> &attentionMask) = 0;
};
