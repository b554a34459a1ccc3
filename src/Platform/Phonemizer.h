#pragma once

#include <QString>
#include <QStringList>

// Pronunciations of written English words that no installed recognition dictionary holds (the
// names and rare words of a user's vocabulary), so that the recogniser can listen for them.
// Thread-safe.
class Phonemizer
{
public:
    virtual ~Phonemizer() = default;

    // The word's pronunciation as ARPAbet phones without stress marks ("D AE SH W UH D": the
    // phone set of the CMU dictionary and of pocketsphinx's English models); empty when the
    // word cannot be pronounced (digits, symbols, a script English has no letters for).
    virtual QStringList arpabet(const QString &word) = 0;

    // The system's phonemizer (espeak-ng's English text-to-phoneme rules).
    static Phonemizer &english();
};
