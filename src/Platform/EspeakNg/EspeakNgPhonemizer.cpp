#include "Platform/EspeakNg/EspeakNgPhonemizer.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <QChar>

namespace {

// espeak-ng's English phoneme names (stress marks removed) and the ARPAbet phones closest to
// them in American English. espeak-ng writes the r of "or", "are", "air" and "ear" into the vowel
// (o@, A@, e@, i@3), ARPAbet as a phone of its own; a linking r after ER is ARPAbet's ER itself.
const QHash<QString, QString> &phoneTable()
{
    static const QHash<QString, QString> table {
        // vowels
        {"@", "AH"},
        {"@-", "AH"},
        {"@2", "AH"},
        {"@5", "AH"},
        {"@L", "AH L"},
        {"3", "ER"},
        {"3:", "ER"},
        {"a", "AE"},
        {"a#", "AH"},
        {"aa", "AE"},
        {"A:", "AA"},
        {"A@", "AA R"},
        {"0", "AA"},
        {"0#", "AA"},
        {"E", "EH"},
        {"e@", "EH R"},
        {"eI", "EY"},
        {"I", "IH"},
        {"I#", "IH"},
        {"I2", "IH"},
        {"i", "IY"},
        {"i:", "IY"},
        {"i@", "IY AH"},
        {"i@3", "IH R"},
        {"O", "AO"},
        {"O:", "AO"},
        {"O2", "AO"},
        {"O@", "AO R"},
        {"o@", "AO R"},
        {"OI", "OY"},
        {"oU", "OW"},
        {"U", "UH"},
        {"U@", "UH R"},
        {"u:", "UW"},
        {"V", "AH"},
        {"aI", "AY"},
        {"aI@", "AY AH"},
        {"aI3", "AY ER"},
        {"aU", "AW"},
        {"aU@", "AW ER"},
        // consonants
        {"b", "B"},
        {"d", "D"},
        {"f", "F"},
        {"g", "G"},
        {"h", "HH"},
        {"j", "Y"},
        {"k", "K"},
        {"l", "L"},
        {"m", "M"},
        {"n", "N"},
        {"p", "P"},
        {"r", "R"},
        {"s", "S"},
        {"t", "T"},
        {"v", "V"},
        {"w", "W"},
        {"z", "Z"},
        {"D", "DH"},
        {"T", "TH"},
        {"S", "SH"},
        {"Z", "ZH"},
        {"N", "NG"},
        {"tS", "CH"},
        {"dZ", "JH"},
        {"t#", "T"},
        {"t2", "T"},
        {"d#", "D"},
        {"n-", "AH N"},
        {"l-", "AH L"},
        {"r-", "R"},
        {"x", "K"},
        {"?", "T"},
    };
    return table;
}

// Letters of the Latin script, with apostrophes and hyphens inside a word: what the English
// rules can read as one word. Digits would be read out as number words, other scripts switch
// to another language's phonemes.
bool isEnglishWord(const QString &word)
{
    if (word.isEmpty() || !word.front().isLetter() || !word.back().isLetter()) {
        return false;
    }
    for (const QChar c : word) {
        const bool joiner = c == u'\'' || c == u'\u2019' || c == u'-';
        if (!joiner && !(c.isLetter() && c.script() == QChar::Script_Latin)) {
            return false;
        }
    }
    return true;
}

} // namespace

QStringList EspeakNgPhonemizer::toArpabet(const QString &espeakPhonemes)
{
    QStringList phones;
    for (QString name : espeakPhonemes.split(u' ', Qt::SkipEmptyParts)) {
        while (!name.isEmpty()
               && (name.front() == u'\'' || name.front() == u',' || name.front() == u'%'
                   || name.front() == u'=')) {
            name.remove(0, 1);
        }
        // Syllable marks between phonemes.
        if (name.isEmpty() || name == u";" || name == u"_" || name == u"|") {
            continue;
        }
        const auto found = phoneTable().constFind(name);
        if (found == phoneTable().cend()) {
            return {};
        }
        for (const QString &phone : found->split(u' ')) {
            if (phone == u"R" && !phones.isEmpty() && phones.back() == u"ER") {
                continue;
            }
            phones.append(phone);
        }
    }
    return phones;
}

bool EspeakNgPhonemizer::ensureLoaded()
{
    if (!m_tried) {
        m_tried = true;
        espeak_ng_InitializePath(nullptr);
        espeak_ng_ERROR_CONTEXT context = nullptr;
        m_loaded =
            espeak_ng_Initialize(&context) == ENS_OK && espeak_ng_SetVoiceByName("en-us") == ENS_OK;
        if (context) {
            espeak_ng_ClearErrorContext(&context);
        }
    }
    return m_loaded;
}

QString EspeakNgPhonemizer::espeakPhonemes(const QString &word)
{
    std::lock_guard lock(m_mutex);
    if (!ensureLoaded()) {
        return {};
    }
    const QByteArray text = word.toUtf8();
    const void *position = text.constData();
    QStringList pieces;
    // The translation stops at every clause boundary; the pointer is null once all is read.
    while (position) {
        const char *phonemes = espeak_TextToPhonemes(&position, espeakCHARS_UTF8, int(u' ') << 8);
        if (phonemes && *phonemes) {
            pieces.append(QString::fromUtf8(phonemes).trimmed());
        }
    }
    return pieces.join(u' ');
}

QStringList EspeakNgPhonemizer::arpabet(const QString &word)
{
    if (!isEnglishWord(word)) {
        return {};
    }
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_known.constFind(word);
        if (found != m_known.cend()) {
            return *found;
        }
    }
    const QStringList phones = toArpabet(espeakPhonemes(word));
    std::lock_guard lock(m_mutex);
    m_known.insert(word, phones);
    return phones;
}

Phonemizer &Phonemizer::english()
{
    static auto *phonemizer = new EspeakNgPhonemizer();
    return *phonemizer;
}
