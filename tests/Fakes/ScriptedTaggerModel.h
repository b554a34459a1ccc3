#pragma once

#include "Platform/TaggerModel.h"

#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <utility>

// A tagger model whose answer is computed by a script from the inputs; records every call.
class ScriptedTaggerModel final : public TaggerModel
{
public:
    using Script = std::function<std::optional<Logits>(const std::vector<qint32> &inputIDs,
                                                       const std::vector<qint32> &attentionMask)>;

    struct Call
    {
        std::vector<qint32> inputIDs;
        std::vector<qint32> attentionMask;
    };

    explicit ScriptedTaggerModel(Script script)
        : m_script(std::move(script))
    { }

    std::optional<Logits> predict(const std::vector<qint32> &inputIDs,
                                  const std::vector<qint32> &attentionMask) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back({inputIDs, attentionMask});
        }
        return m_script(inputIDs, attentionMask);
    }

    std::vector<Call> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

    // Scores (delete, keep) per token, as the script gives them for each (position, id).
    static Script scoring(std::function<std::pair<double, double>(qsizetype, qint32)> score)
    {
        return [score](const std::vector<qint32> &ids, const std::vector<qint32> &) {
            Logits logits;
            logits.tokenCount = qsizetype(ids.size());
            for (qsizetype t = 0; t < logits.tokenCount; ++t) {
                const auto [deleteScore, keepScore] = score(t, ids[size_t(t)]);
                logits.values.push_back(deleteScore);
                logits.values.push_back(keepScore);
            }
            return std::optional<Logits>(std::move(logits));
        };
    }

    // Marks delete every token whose id is in `ids`, keep every other one.
    static Script deleting(std::set<qint32> ids)
    {
        return scoring([ids = std::move(ids)](qsizetype, qint32 id) {
            return ids.count(id) ? std::pair(2.0, -1.0) : std::pair(-1.0, 2.0);
        });
    }

    // Fails every prediction with `message`.
    static Script failing(const char *message)
    {
        return [message](const std::vector<qint32> &,
                         const std::vector<qint32> &) -> std::optional<Logits> {
            throw std::runtime_error(message);
        };
    }

private:
    Script m_script;
    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
};
