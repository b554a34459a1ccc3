#include "Platform/Pocketsphinx/PocketsphinxVocabulary.h"

#include "Platform/Phonemizer.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

// A word of a term without the punctuation around it ("Dr." is said as "dr", "(beta)" as
// "beta").
QString spokenForm(const QString &token)
{
    qsizetype first = 0;
    qsizetype last = token.size();
    while (first < last && !token.at(first).isLetterOrNumber()) {
        ++first;
    }
    while (last > first && !token.at(last - 1).isLetterOrNumber()) {
        --last;
    }
    return token.mid(first, last - first);
}

QByteArray log10Text(double probability)
{
    return QByteArray::number(std::log10(probability), 'f', 4);
}

} // namespace

PocketsphinxVocabulary
PocketsphinxVocabulary::fromTerms(const QStringList &terms,
                                  const std::function<bool(const QByteArray &)> &inDictionary,
                                  Phonemizer *phonemizer)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    PocketsphinxVocabulary vocabulary;
    vocabulary.m_terms = terms;
    QSet<QByteArray> known;
    for (const QString &term : terms) {
        const QStringList written = term.split(blanks, Qt::SkipEmptyParts);
        if (written.isEmpty()) {
            continue;
        }
        Term kept;
        std::vector<Word> added;
        bool pronounceable = true;
        for (const QString &token : written) {
            const QString plain = spokenForm(token);
            const QByteArray spoken = plain.toLower().toUtf8();
            if (spoken.isEmpty()) {
                pronounceable = false;
                break;
            }
            kept.spoken.append(QString::fromUtf8(spoken));
            if (known.contains(spoken)
                || std::any_of(added.cbegin(), added.cend(),
                               [&](const Word &word) { return word.text == spoken; })) {
                continue;
            }
            if (inDictionary(spoken)) {
                added.push_back({spoken, {}});
                continue;
            }
            const QStringList phones = phonemizer ? phonemizer->arpabet(plain) : QStringList();
            if (phones.isEmpty()) {
                pronounceable = false;
                break;
            }
            added.push_back({spoken, phones.join(u' ').toUtf8()});
        }
        if (!pronounceable) {
            vocabulary.m_skipped.append(term);
            continue;
        }
        kept.written = written;
        for (Word &word : added) {
            known.insert(word.text);
            vocabulary.m_words.push_back(std::move(word));
        }
        vocabulary.m_kept.push_back(std::move(kept));
    }
    // Longer terms are respelled first, so that "New York City" wins over "York".
    std::stable_sort(
        vocabulary.m_kept.begin(), vocabulary.m_kept.end(),
        [](const Term &a, const Term &b) { return a.spoken.size() > b.spoken.size(); });
    return vocabulary;
}

QByteArray PocketsphinxVocabulary::languageModel() const
{
    QSet<QByteArray> continued;
    QList<QByteArray> bigrams;
    for (const Term &term : m_kept) {
        for (qsizetype i = 0; i + 1 < term.spoken.size(); ++i) {
            const QByteArray pair = term.spoken[i].toUtf8() + ' ' + term.spoken[i + 1].toUtf8();
            if (!bigrams.contains(pair)) {
                bigrams.append(pair);
                continued.insert(term.spoken[i].toUtf8());
            }
        }
    }
    const QByteArray unigram = log10Text(1.0 / double(std::max<size_t>(m_words.size(), evenOver)));
    // A word that starts a multi-word term leads to its next word half of the time.
    const QByteArray half = log10Text(0.5);

    QByteArray arpa =
        "\\data\\\nngram 1=" + QByteArray::number(qsizetype(m_words.size()) + 2) + '\n';
    if (!bigrams.isEmpty()) {
        arpa += "ngram 2=" + QByteArray::number(bigrams.size()) + '\n';
    }
    arpa += "\n\\1-grams:\n-99 <s> 0\n" + unigram + " </s> 0\n";
    for (const Word &word : m_words) {
        arpa +=
            unigram + ' ' + word.text + ' ' + (continued.contains(word.text) ? half : "0") + '\n';
    }
    if (!bigrams.isEmpty()) {
        arpa += "\n\\2-grams:\n";
        for (const QByteArray &pair : bigrams) {
            arpa += half + ' ' + pair + '\n';
        }
    }
    arpa += "\n\\end\\\n";
    return arpa;
}

QString PocketsphinxVocabulary::respell(const QString &text) const
{
    if (m_kept.empty() || text.isEmpty()) {
        return text;
    }
    QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    for (const Term &term : m_kept) {
        const qsizetype length = term.spoken.size();
        for (qsizetype at = 0; at + length <= words.size(); ++at) {
            bool matches = true;
            for (qsizetype i = 0; i < length && matches; ++i) {
                matches = words[at + i].compare(term.spoken[i], Qt::CaseInsensitive) == 0;
            }
            if (matches) {
                for (qsizetype i = 0; i < length; ++i) {
                    words[at + i] = term.written[i];
                }
                at += length - 1;
            }
        }
    }
    return words.join(u' ');
}
