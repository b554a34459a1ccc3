#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class Phonemizer;

// The user's dictionary terms as the hints of one recognition session: the words the decoder
// should expect, each with the pronunciation to add when the decoder's dictionary lacks it, the
// multi-word terms as word sequences, and the language model that makes them likelier. The
// decoder mixes that small model into its own (PocketsphinxDecoder::setVocabulary), so that a
// term's words are raised above their usual weight without any other word losing more than a
// few per cent.
//
// Words are kept as the dictionary spells them (lower case); respell() gives the recognised text
// back with the terms spelled as the user wrote them. A term that cannot be pronounced (digits,
// symbols, a script without English letters) is left out and listed in skipped().
class PocketsphinxVocabulary
{
public:
    struct Word
    {
        QByteArray text;
        // ARPAbet phones to add to the dictionary; empty when the dictionary holds the word.
        QByteArray phones;
    };

    // The share of the language model's probability given to the terms' words, spread evenly
    // over them, but never more per word than when there are `evenOver` of them: a single term
    // then weighs as much as a fairly common word rather than as much as "the", which would
    // draw it into every similar-sounding stretch of speech.
    static constexpr double hintWeight = 0.03;
    static constexpr int evenOver = 50;

    PocketsphinxVocabulary() = default;

    // `inDictionary` says whether the decoder's dictionary holds a word (as the dictionary
    // spells it); `phonemizer` pronounces the others, or, when null, they are skipped.
    static PocketsphinxVocabulary
    fromTerms(const QStringList &terms, const std::function<bool(const QByteArray &)> &inDictionary,
              Phonemizer *phonemizer);

    bool isEmpty() const { return m_words.empty(); }
    // The terms it was made from, skipped ones included.
    const QStringList &terms() const { return m_terms; }
    const std::vector<Word> &words() const { return m_words; }
    const QStringList &skipped() const { return m_skipped; }

    // The hint model in ARPA text: every word of the terms as a unigram, and each word of a
    // multi-word term followed by the next one as a bigram.
    QByteArray languageModel() const;

    // The recognised text (blank-separated words) with every term's words spelled as the user
    // wrote the term; the longer terms first.
    QString respell(const QString &text) const;

private:
    struct Term
    {
        QStringList spoken; // as the dictionary spells the words
        QStringList written;
    };

    QStringList m_terms;
    std::vector<Word> m_words;
    std::vector<Term> m_kept;
    QStringList m_skipped;
};
