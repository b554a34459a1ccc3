#include "Platform/Pocketsphinx/PocketsphinxSentences.h"

#include <QStringList>

#include <algorithm>

namespace PocketsphinxSentences {

namespace {

bool hasCapital(const QString &word)
{
    return std::any_of(word.cbegin(), word.cend(), [](QChar c) { return c.isUpper(); });
}

// "i", "i'm", "i'll", "i've", "i'd": the pronoun is always a capital.
bool isPronounI(const QString &word)
{
    return word == u"i" || word.startsWith(QStringLiteral("i'"));
}

} // namespace

bool supports(const SpeechLocale &locale)
{
    return locale.languageCode() == u"en";
}

QString format(const std::vector<PocketsphinxStream::Stretch> &stretches, bool ended)
{
    QStringList words;
    bool sentenceStart = true;
    for (std::size_t i = 0; i < stretches.size(); ++i) {
        const QStringList stretch = stretches[i].text.split(u' ', Qt::SkipEmptyParts);
        for (QString word : stretch) {
            if ((sentenceStart || isPronounI(word)) && !hasCapital(word)) {
                word[0] = word[0].toUpper();
            }
            sentenceStart = false;
            words.append(word);
        }
        const bool last = i + 1 == stretches.size();
        const bool closes = stretches[i].pauseAfter >= sentencePause || (last && ended);
        if (closes && !words.isEmpty() && !sentenceStart) {
            if (!words.back().endsWith(u'.')) {
                words.back() += u'.';
            }
            sentenceStart = true;
        }
    }
    return words.join(u' ');
}

} // namespace PocketsphinxSentences
