#pragma once

#include "Platform/Pocketsphinx/PocketsphinxModel.h"
#include "Platform/Pocketsphinx/PocketsphinxVocabulary.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

// One loaded pocketsphinx decoder (about 100 MB and a quarter of a second to load), decoding one
// utterance at a time from 16 kHz mono 16-bit samples. Not thread-safe: one user at a time, which
// the decoder pool ensures.
//
// A session's vocabulary hints change the decoder until the next vocabulary replaces them: the
// pool hands a decoder to whichever session comes next, and that session sets its own (an empty
// one restores the model as loaded). Changing it rebuilds the decoder's search, a large part of
// the time loading takes, so the pool prefers a decoder that already has the session's terms.
class PocketsphinxDecoder
{
public:
    static constexpr int sampleRate = 16000;

    // Loads the model; throws std::runtime_error when it cannot.
    explicit PocketsphinxDecoder(const PocketsphinxModel &model);
    ~PocketsphinxDecoder();
    PocketsphinxDecoder(const PocketsphinxDecoder &) = delete;
    PocketsphinxDecoder &operator=(const PocketsphinxDecoder &) = delete;

    const PocketsphinxModel &model() const { return m_model; }

    // Whether the pronunciation dictionary holds the word (spelled as the dictionary spells it:
    // lower case). Words added for an earlier vocabulary stay in it, out of the search's reach.
    bool hasWord(const QByteArray &word) const;
    // The dictionary's pronunciation of a word ("G OW"); empty when it has none.
    QString pronunciation(const QByteArray &word) const;

    // Listens for the vocabulary's words from the next utterance on: the words the dictionary
    // lacks are added with their pronunciations, and the vocabulary's small language model is
    // mixed into the decoder's own. Nothing happens when the decoder already has the same terms.
    // Not during an utterance. Throws std::runtime_error when the search cannot be rebuilt.
    void setVocabulary(PocketsphinxVocabulary vocabulary);
    const PocketsphinxVocabulary &vocabulary() const { return m_vocabulary; }

    void startUtterance();
    // Throws std::runtime_error when decoding fails.
    void process(const std::int16_t *samples, std::size_t count);
    // The best hypothesis of the utterance so far (after endUtterance(): of the whole utterance).
    QString hypothesis() const;
    // Whether the decoder's voice detector counts the last processed audio as speech; it goes
    // back to false after about half a second of silence.
    bool isInSpeech() const;
    void endUtterance();
    bool isInUtterance() const { return m_inUtterance; }

private:
    struct Handles;
    PocketsphinxModel m_model;
    std::unique_ptr<Handles> m_handles;
    PocketsphinxVocabulary m_vocabulary;
    bool m_inUtterance = false;
};
