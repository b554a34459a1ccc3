#include "Platform/Pocketsphinx/PocketsphinxVocabulary.h"

#include "Platform/Phonemizer.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

// Pronounces any word of letters as one phone per letter, and records what it was asked.
class RecordingPhonemizer final : public Phonemizer
{
public:
    QStringList arpabet(const QString &word) override
    {
        asked.append(word);
        QStringList phones;
        for (const QChar c : word) {
            if (!c.isLetter() || c.script() != QChar::Script_Latin) {
                return {};
            }
            phones.append(QStringLiteral("AH"));
        }
        return phones;
    }

    QStringList asked;
};

const QSet<QByteArray> dictionary {"new", "york", "city", "go", "forward", "dr"};

PocketsphinxVocabulary vocabularyOf(const QStringList &terms, RecordingPhonemizer &phonemizer)
{
    return PocketsphinxVocabulary::fromTerms(
        terms, [](const QByteArray &word) { return dictionary.contains(word); }, &phonemizer);
}

QStringList wordTexts(const PocketsphinxVocabulary &vocabulary)
{
    QStringList texts;
    for (const auto &word : vocabulary.words()) {
        texts.append(QString::fromUtf8(word.text + (word.phones.isEmpty() ? "" : " +")));
    }
    return texts;
}

} // namespace

TEST(PocketsphinxVocabularyTest, TakesDictionaryWordsAsTheyArePronouncesTheRestAndSkipsTheUnsayable)
{
    RecordingPhonemizer phonemizer;
    const QStringList terms {
        QStringLiteral("New York City"), QStringLiteral("Sonorvelle"), QStringLiteral("Dr. Okafor"),
        QStringLiteral("4711"),          QStringLiteral("東京 Tower"), QStringLiteral("  "),
        QStringLiteral("sonorvelle"),
    };
    const PocketsphinxVocabulary vocabulary = vocabularyOf(terms, phonemizer);

    EXPECT_EQ(vocabulary.terms(), terms);
    // Dictionary words plain, the others with a pronunciation ("+"), each word once.
    EXPECT_EQ(wordTexts(vocabulary),
              (QStringList {"new", "york", "city", "sonorvelle +", "dr", "okafor +"}));
    EXPECT_EQ(vocabulary.skipped(), (QStringList {"4711", "東京 Tower"}));
    // The phonemizer hears each word as the user wrote it, without the punctuation around it,
    // and only for words the dictionary lacks.
    EXPECT_EQ(phonemizer.asked, (QStringList {"Sonorvelle", "Okafor", "4711", "東京"}));
}

TEST(PocketsphinxVocabularyTest, ItsLanguageModelHoldsEveryWordAndTheWordSequencesOfTheTerms)
{
    RecordingPhonemizer phonemizer;
    const PocketsphinxVocabulary vocabulary =
        vocabularyOf({QStringLiteral("New York City"), QStringLiteral("Sonorvelle")}, phonemizer);
    const QString arpa = QString::fromUtf8(vocabulary.languageModel());

    EXPECT_TRUE(arpa.contains(QStringLiteral("ngram 1=6\nngram 2=2\n"))) << arpa.toStdString();
    // Fewer words than the even spread counts: each has the weight it has among 50.
    for (const char *word : {"new", "york", "city", "sonorvelle", "</s>"}) {
        EXPECT_TRUE(arpa.contains(QStringLiteral("-1.6990 %1").arg(QLatin1StringView(word))))
            << word;
    }
    EXPECT_TRUE(arpa.contains(QStringLiteral("-0.3010 new york\n")));
    EXPECT_TRUE(arpa.contains(QStringLiteral("-0.3010 york city\n")));
    EXPECT_TRUE(arpa.endsWith(QStringLiteral("\\end\\\n")));
}

TEST(PocketsphinxVocabularyTest, RespellsTheTermsAsTheUserWroteThem)
{
    RecordingPhonemizer phonemizer;
    const PocketsphinxVocabulary vocabulary =
        vocabularyOf({QStringLiteral("York"), QStringLiteral("New York City"),
                      QStringLiteral("Sonorvelle"), QStringLiteral("Dr. Okafor")},
                     phonemizer);
    struct Case
    {
        const char *name;
        QString recognised;
        QString respelled;
    };
    const Case cases[] = {
        {"a name", QStringLiteral("open sonorvelle now"), QStringLiteral("open Sonorvelle now")},
        {"the longer term first", QStringLiteral("new york city and york"),
         QStringLiteral("New York City and York")},
        {"a term's words apart are left", QStringLiteral("a new city"),
         QStringLiteral("a new city")},
        {"punctuation as written", QStringLiteral("call dr okafor"),
         QStringLiteral("call Dr. Okafor")},
        {"empty", QString(), QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(vocabulary.respell(c.recognised), c.respelled);
    }
}
