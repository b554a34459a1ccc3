#include "Platform/Pocketsphinx/PocketsphinxDecoder.h"

#include <pocketsphinx.h>
#include <sphinxbase/ckd_alloc.h>
#include <sphinxbase/err.h>
#include <sphinxbase/ngram_model.h>

#include <sys/mman.h>
#include <unistd.h>

#include <mutex>
#include <stdexcept>
#include <string>

namespace {

// The n-gram search ps_init() makes for the model's language model, and the name the library
// gives that model inside the search's model set.
constexpr const char *searchName = "_default";
constexpr const char *loadedModelName = "default";

} // namespace

struct PocketsphinxDecoder::Handles
{
    cmd_ln_t *config = nullptr;
    ps_decoder_t *decoder = nullptr;
    // The language model as loaded, kept unchanged: every vocabulary's search is built on it.
    ngram_model_t *languageModel = nullptr;

    ~Handles()
    {
        if (decoder) {
            ps_free(decoder);
        }
        if (languageModel) {
            ngram_model_free(languageModel);
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
    ngram_model_t *set = ps_get_lm(m_handles->decoder, searchName);
    ngram_model_t *loaded = set ? ngram_model_set_lookup(set, loadedModelName) : nullptr;
    if (!loaded) {
        throw std::runtime_error("pocketsphinx: no language model in " + lm.toStdString());
    }
    m_handles->languageModel = ngram_model_retain(loaded);
}

bool PocketsphinxDecoder::hasWord(const QByteArray &word) const
{
    char *phones = ps_lookup_word(m_handles->decoder, word.constData());
    ckd_free(phones);
    return phones != nullptr;
}

QString PocketsphinxDecoder::pronunciation(const QByteArray &word) const
{
    char *phones = ps_lookup_word(m_handles->decoder, word.constData());
    const QString text = phones ? QString::fromUtf8(phones) : QString();
    ckd_free(phones);
    return text;
}

namespace {

// Reads an ARPA text into a model sharing the decoder's log tables (a model set requires it).
ngram_model_t *readLanguageModel(cmd_ln_t *config, logmath_t *logmath, const QByteArray &arpa)
{
    const int fd = memfd_create("sonorvelle-vocabulary", MFD_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    ngram_model_t *model = nullptr;
    if (write(fd, arpa.constData(), size_t(arpa.size())) == ssize_t(arpa.size())) {
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        model = ngram_model_read(config, path.c_str(), NGRAM_ARPA, logmath);
    }
    close(fd);
    return model;
}

} // namespace

void PocketsphinxDecoder::setVocabulary(PocketsphinxVocabulary vocabulary)
{
    if (vocabulary.terms() == m_vocabulary.terms()) {
        return;
    }
    ps_decoder_t *decoder = m_handles->decoder;
    // The search goes before words are added: ps_add_word() also adds every new word to the
    // language model of each search there is, the loaded model among them, and from there it
    // would reach every later session. Without a search the words go to the dictionary alone,
    // where only a search whose model knows them can find them.
    ps_unset_search(decoder, searchName);
    m_vocabulary = PocketsphinxVocabulary();

    ngram_model_t *model = m_handles->languageModel;
    ngram_model_t *mixed = nullptr;
    if (!vocabulary.isEmpty()) {
        for (const PocketsphinxVocabulary::Word &word : vocabulary.words()) {
            if (!word.phones.isEmpty() && !hasWord(word.text)) {
                ps_add_word(decoder, word.text.constData(), word.phones.constData(), FALSE);
            }
        }
        ngram_model_t *hints = readLanguageModel(m_handles->config, ps_get_logmath(decoder),
                                                 vocabulary.languageModel());
        if (hints) {
            ngram_model_t *models[] = {model, hints};
            char *names[] = {const_cast<char *>("loaded"), const_cast<char *>("vocabulary")};
            const float32 weights[] = {float32(1.0 - PocketsphinxVocabulary::hintWeight),
                                       float32(PocketsphinxVocabulary::hintWeight)};
            mixed = ngram_model_set_init(m_handles->config, models, names, weights, 2);
            ngram_model_free(hints);
        }
    }
    // The search holds the models it is built on.
    bool built = ps_set_lm(decoder, searchName, mixed ? mixed : model) == 0;
    if (mixed) {
        ngram_model_free(mixed);
    }
    if (built && (mixed || vocabulary.isEmpty())) {
        m_vocabulary = std::move(vocabulary);
    } else if (!built) {
        // Without the hints rather than without a search.
        built = mixed && ps_set_lm(decoder, searchName, model) == 0;
    }
    if (!built) {
        throw std::runtime_error("pocketsphinx: cannot rebuild the search");
    }
    ps_set_search(decoder, searchName);
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
