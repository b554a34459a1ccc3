#pragma once

#include "Platform/Pocketsphinx/PocketsphinxModel.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

// One loaded pocketsphinx decoder (about 100 MB and a quarter of a second to load), decoding one
// utterance at a time from 16 kHz mono 16-bit samples. Not thread-safe: one user at a time, which
// the decoder pool ensures.
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
    bool m_inUtterance = false;
};
