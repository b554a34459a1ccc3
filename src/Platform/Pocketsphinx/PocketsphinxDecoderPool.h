#pragma once

#include "Platform/Pocketsphinx/PocketsphinxDecoder.h"
#include "Platform/Pocketsphinx/PocketsphinxModel.h"

#include <QStringList>

#include <functional>
#include <memory>

// Loaded decoders kept for reuse, per model. Loading one costs about a quarter of a second and
// 100 MB, and a dictation needs one per recognition segment, two at a time while one segment
// hands over to the next; the pool keeps up to `idleLimit` idle decoders of each model so that
// segments and later dictations start at once. Thread-safe.
class PocketsphinxDecoderPool
{
public:
    // Sets the vocabulary made from the terms on a decoder; runs on a thread of the pool and may
    // throw, which drops the decoder.
    using VocabularySetter =
        std::function<void(PocketsphinxDecoder &decoder, const QStringList &terms)>;

    explicit PocketsphinxDecoderPool(int idleLimit = 2);
    ~PocketsphinxDecoderPool();

    // The process's pool; never destroyed, so that recognition threads still running at exit
    // can hand their decoders back.
    static PocketsphinxDecoderPool &shared();

    // An idle decoder of the model, or the one a preload is about to deliver, or else a newly
    // loaded one (blocking the caller while it loads). Among idle decoders, one whose vocabulary
    // was made from `terms` comes first: it needs no new search. Throws std::runtime_error when
    // the model cannot be loaded.
    std::unique_ptr<PocketsphinxDecoder> acquire(const PocketsphinxModel &model,
                                                 const QStringList &terms = {});
    // Takes a decoder back; it is kept when fewer than idleLimit of its model are idle, else
    // freed.
    void release(std::unique_ptr<PocketsphinxDecoder> decoder);
    // Loads one decoder of the model in the background when none is idle or loading.
    void preload(const PocketsphinxModel &model);
    // Gives an idle decoder of the model the vocabulary of `terms` in the background, so that
    // the next acquire() with these terms needs no new search; acquire() meanwhile waits for
    // that decoder rather than loading another. Nothing happens when an idle decoder has them
    // already; when none is idle, the decoder released next gets them. Terms asked for while a
    // preparation runs replace those still waiting: only the latest are prepared.
    void prepare(const PocketsphinxModel &model, const QStringList &terms,
                 VocabularySetter setVocabulary);

    int idleCount(const PocketsphinxModel &model) const;
    // Whether an idle decoder of the model has the vocabulary made from these terms.
    bool hasIdle(const PocketsphinxModel &model, const QStringList &terms) const;
    // Decoders loaded by this pool so far.
    int loadCount() const;
    // Frees every idle decoder.
    void clear();

private:
    struct State;
    std::shared_ptr<State> m_state;
};
