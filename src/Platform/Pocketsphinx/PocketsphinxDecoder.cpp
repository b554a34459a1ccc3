#include "Platform/Pocketsphinx/PocketsphinxDecoder.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <mutex>
#include <stdexcept>
#include <string>

struct PocketsphinxDecoder::Handles
{
    cmd_ln_t *config = nullptr;
    ps_decoder_t *decoder = nullptr;

    ~Handles()
    {
        if (decoder) {
            ps_free(decoder);
        }
        if (config) {
            cmd_ln_free_r(config);
        }
    }
};

PocketsphinxDecoder::PocketsphinxDecoder(const PocketsphinxModel &model)
    : m_model(model)
    , m_handles(std::make_unique<Handles>())
{
    // The library logs every step of loading and decoding to stderr; the application keeps its
    // own log.
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });

    const QByteArray hmm = model.acousticModel.toLocal8Bit();
    const QByteArray lm = model.languageModel.toLocal8Bit();
    const QByteArray dict = model.dictionary.toLocal8Bit();
    // One pass: the forward tree search alone. On read speech settled at its pauses the flat
    // lexicon and lattice passes cost more time than they win words (they lost some on the
    // librivox recordings), and their cost falls at the end of every utterance, where the
    // user waits for it. At most 5000 active HMMs a frame (30000 by default) takes a third
    // off the decoding time and lost no word on those recordings.
    m_handles->config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm",
                                    lm.constData(), "-dict", dict.constData(), "-fwdflat", "no",
                                    "-bestpath", "no", "-maxhmmpf", "5000", nullptr);
    if (!m_handles->config) {
        throw std::runtime_error("pocketsphinx: invalid configuration for " + hmm.toStdString());
    }
    m_handles->decoder = ps_init(m_handles->config);
    if (!m_handles->decoder) {
        throw std::runtime_error("pocketsphinx: cannot load the model " + hmm.toStdString());
    }
}

PocketsphinxDecoder::~PocketsphinxDecoder()
{
    if (m_inUtterance) {
        ps_end_utt(m_handles->decoder);
    }
}

void PocketsphinxDecoder::startUtterance()
{
    if (m_inUtterance) {
        ps_end_utt(m_handles->decoder);
    }
    if (ps_start_utt(m_handles->decoder) < 0) {
        throw std::runtime_error("pocketsphinx: cannot start an utterance");
    }
    m_inUtterance = true;
}

void PocketsphinxDecoder::process(const std::int16_t *samples, std::size_t count)
{
    if (!m_inUtterance || count == 0) {
        return;
    }
    if (ps_process_raw(m_handles->decoder, samples, count, FALSE, FALSE) < 0) {
        throw std::runtime_error("pocketsphinx: decoding failed");
    }
}

QString PocketsphinxDecoder::hypothesis() const
{
    int32 score = 0;
    const char *text = ps_get_hyp(m_handles->decoder, &score);
    return text ? QString::fromUtf8(text).trimmed() : QString();
}

bool PocketsphinxDecoder::isInSpeech() const
{
    return ps_get_in_speech(m_handles->decoder) != 0;
}

void PocketsphinxDecoder::endUtterance()
{
    if (!m_inUtterance) {
        return;
    }
    m_inUtterance = false;
    if (ps_end_utt(m_handles->decoder) < 0) {
        throw std::runtime_error("pocketsphinx: cannot end the utterance");
    }
}
