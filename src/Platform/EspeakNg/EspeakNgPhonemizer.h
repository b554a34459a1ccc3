#pragma once

#include "Platform/Phonemizer.h"

#include <QHash>

#include <mutex>

// English pronunciations from espeak-ng's text-to-phoneme rules (its American English voice),
// its phoneme names mapped onto ARPAbet. Only the translation into phonemes is used: nothing is
// synthesised. The library keeps one global state, so every call goes through one lock; it is
// loaded at the first call (a few hundred milliseconds), and every word's answer is kept for
// later sessions.
class EspeakNgPhonemizer final : public Phonemizer
{
public:
    QStringList arpabet(const QString &word) override;

    // espeak-ng's own phonemes for a word ("d 'a S w U d"), stress marks included; empty when
    // the library cannot be loaded.
    QString espeakPhonemes(const QString &word);

    // ARPAbet phones for espeak-ng phonemes; empty when one of them has no counterpart.
    static QStringList toArpabet(const QString &espeakPhonemes);

private:
    bool ensureLoaded();

    std::mutex m_mutex;
    bool m_tried = false;
    bool m_loaded = false;
    QHash<QString, QStringList> m_known;
};
