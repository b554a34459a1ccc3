#include "Platform/Pocketsphinx/PocketsphinxStream.h"

#include <algorithm>
#include <utility>

PocketsphinxStream::PocketsphinxStream(PocketsphinxDecoder &decoder)
    : m_decoder(decoder)
{
    m_decoder.startUtterance();
    m_open = true;
}

bool PocketsphinxStream::process(const std::int16_t *samples, std::size_t count)
{
    bool settled = false;
    if (!m_partial.empty()) {
        const std::size_t taken = std::min(count, pieceSize - m_partial.size());
        m_partial.insert(m_partial.end(), samples, samples + taken);
        samples += taken;
        count -= taken;
        if (m_partial.size() < pieceSize) {
            return false;
        }
        settled = processPiece(m_partial.data(), pieceSize);
        m_partial.clear();
    }
    for (; count >= pieceSize; samples += pieceSize, count -= pieceSize) {
        settled = processPiece(samples, pieceSize) || settled;
    }
    m_partial.assign(samples, samples + count);
    return settled;
}

bool PocketsphinxStream::processPiece(const std::int16_t *samples, std::size_t count)
{
    if (!m_open) {
        m_decoder.startUtterance();
        m_open = true;
    }
    m_decoder.process(samples, count);
    m_position += std::int64_t(count);
    if (m_decoder.isInSpeech()) {
        if (m_pauseFrom >= 0) {
            m_settled.back().pauseAfter =
                double(m_position - m_pauseFrom) / double(PocketsphinxDecoder::sampleRate);
            m_pauseFrom = -1;
        }
        m_heardSpeech = true;
        return false;
    }
    if (!m_heardSpeech) {
        return false;
    }
    m_heardSpeech = false;
    // A burst of noise the detector took for speech stays in the open utterance: ending an
    // utterance of noise alone moves the decoder's channel estimate towards the noise, and the
    // words after it come out wrong.
    if (m_decoder.hypothesis().isEmpty()) {
        return false;
    }
    endUtterance();
    ++m_settledCount;
    return true;
}

void PocketsphinxStream::endUtterance()
{
    m_open = false;
    m_heardSpeech = false;
    m_decoder.endUtterance();
    const QString text = m_decoder.hypothesis();
    if (!text.isEmpty()) {
        m_settled.push_back({text, -1, m_position});
        m_pauseFrom = m_position;
    }
}

std::vector<PocketsphinxStream::Stretch> PocketsphinxStream::stretches() const
{
    std::vector<Stretch> all = m_settled;
    const QString open = m_open ? m_decoder.hypothesis() : QString();
    if (!open.isEmpty()) {
        all.push_back({open});
    }
    return all;
}

QString PocketsphinxStream::text() const
{
    QStringList texts;
    for (const Stretch &stretch : stretches()) {
        texts.append(stretch.text);
    }
    return texts.join(u' ');
}

QString PocketsphinxStream::finish()
{
    if (!m_partial.empty()) {
        const std::vector<std::int16_t> rest = std::exchange(m_partial, {});
        if (!m_open) {
            m_decoder.startUtterance();
            m_open = true;
        }
        m_decoder.process(rest.data(), rest.size());
    }
    if (m_open) {
        endUtterance();
    }
    m_pauseFrom = -1;
    return text();
}
