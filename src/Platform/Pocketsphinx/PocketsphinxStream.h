#pragma once

#include "Platform/Pocketsphinx/PocketsphinxDecoder.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <vector>

// The speech of one recognition task, settled as it comes. Ending a pocketsphinx utterance
// costs time in proportion to its length (the search's last trace back, and the flat-lexicon and
// lattice passes where they run); ended only once the audio has ended, a long dictation would
// leave all of it to the moment the user stops speaking. So the utterance is ended at every
// pause the decoder's own voice detector finds (speech, then about half a second of silence)
// once the utterance has some text, its text kept, and the speech after the pause goes to a fresh
// utterance: what is left when the audio ends is the stretch since the last pause. The decoder's
// channel estimate carries over from one utterance to the next.
//
// The decoder takes the audio in pieces of `pieceSize` samples, the last one short when the
// audio ends, and its voice detector is consulted after each, so that where the utterances end
// depends on the audio alone, never on how it was cut into buffers or how fast it came. Runs on
// the caller's thread; not thread-safe.
//
// Each settled stretch keeps the length of the pause after it: the time from the detector's
// speech-to-silence point, where the stretch was settled, to its next silence-to-speech point.
// The detector turns to silence about half a second into a pause and back to speech about a
// tenth of a second into the speech, so the length is some 0.4 s shorter than the pause heard.
class PocketsphinxStream
{
public:
    static constexpr std::size_t pieceSize = 320; // 20 ms at 16 kHz

    struct Stretch
    {
        QString text;
        // Seconds of pause after it; negative while unknown: the stretch is still open, or no
        // speech has come after it.
        double pauseAfter = -1;
        // Where it was settled, in samples from the stream's start; -1 while open.
        std::int64_t end = -1;
    };

    // Starts an utterance on the decoder, which must outlive the stream.
    explicit PocketsphinxStream(PocketsphinxDecoder &decoder);

    // Decodes 16 kHz mono samples; true when an utterance was settled at a pause among them.
    // Throws std::runtime_error when decoding fails.
    bool process(const std::int16_t *samples, std::size_t count);
    // The settled texts and the open utterance's hypothesis, joined by blanks.
    QString text() const;
    // The settled stretches with text, then the open utterance's when it has text.
    std::vector<Stretch> stretches() const;
    // Ends the open utterance; the text of all the speech. Throws std::runtime_error when the
    // decoder fails.
    QString finish();

    // Utterances ended at a pause so far.
    int settledCount() const { return m_settledCount; }

private:
    bool processPiece(const std::int16_t *samples, std::size_t count);
    void endUtterance();

    PocketsphinxDecoder &m_decoder;
    std::vector<Stretch> m_settled;
    int m_settledCount = 0;
    // Samples decoded so far, and where the pause after the last settled stretch began (-1
    // when its length is known or nothing was settled).
    std::int64_t m_position = 0;
    std::int64_t m_pauseFrom = -1;
    // The start of the next piece, until it is whole.
    std::vector<std::int16_t> m_partial;
    // The open utterance has had speech: silence now ends it.
    bool m_heardSpeech = false;
    // After a pause the next utterance starts with the next audio, so that a cancel arriving
    // meanwhile finds the decoder idle.
    bool m_open = false;
};
