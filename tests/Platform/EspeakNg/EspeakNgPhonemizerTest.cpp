#include "Platform/EspeakNg/EspeakNgPhonemizer.h"

#include "Platform/Pocketsphinx/PocketsphinxModel.h"

#include <QFile>
#include <QHash>

#include <gtest/gtest.h>

namespace {

// The pronunciations of the installed English dictionary (pocketsphinx-en-us), first reading of
// each word.
QHash<QString, QString> dictionaryPronunciations(const QStringList &words)
{
    QHash<QString, QString> found;
    for (const PocketsphinxModel &model : PocketsphinxModel::installed()) {
        if (model.locale.languageCode() != u"en") {
            continue;
        }
        QFile file(model.dictionary);
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            const qsizetype blank = line.indexOf(u' ');
            const QString word = line.left(blank);
            if (blank > 0 && words.contains(word) && !found.contains(word)) {
                found.insert(word, line.mid(blank + 1).trimmed());
            }
        }
    }
    return found;
}

} // namespace

TEST(EspeakNgPhonemizerTest, PronouncesWordsAsTheDictionaryDoes)
{
    // Words of the test recordings and a few that take the mapping's special cases: an r
    // written into the vowel (forward, airline), a linking r after ER (boosterism), a syllabic
    // l (amiable, respectable), the flapped t of American English (meters).
    const QStringList words {
        QStringLiteral("go"),          QStringLiteral("forward"),    QStringLiteral("meters"),
        QStringLiteral("dashwood"),    QStringLiteral("prudently"),  QStringLiteral("mister"),
        QStringLiteral("unless"),      QStringLiteral("disposed"),   QStringLiteral("clubs"),
        QStringLiteral("airline"),     QStringLiteral("boosterism"), QStringLiteral("amiable"),
        QStringLiteral("respectable"), QStringLiteral("selfish"),
    };
    const QHash<QString, QString> dictionary = dictionaryPronunciations(words);
    ASSERT_EQ(dictionary.size(), words.size())
        << "no English dictionary installed (package pocketsphinx-en-us)";
    EspeakNgPhonemizer phonemizer;
    for (const QString &word : words) {
        SCOPED_TRACE(word.toStdString() + ": espeak-ng says \""
                     + phonemizer.espeakPhonemes(word).toStdString() + '"');
        EXPECT_EQ(phonemizer.arpabet(word).join(u' '), dictionary.value(word));
    }
}

TEST(EspeakNgPhonemizerTest, WordsWithoutEnglishLettersHaveNoPronunciation)
{
    EspeakNgPhonemizer phonemizer;
    for (const char *word : {"", "1234", "4G", "#$%", "東京", "Привет", "-", "C++"}) {
        SCOPED_TRACE(word);
        EXPECT_TRUE(phonemizer.arpabet(QString::fromUtf8(word)).isEmpty());
    }
    // Names and words the dictionary lacks still have one.
    EXPECT_EQ(phonemizer.arpabet(QStringLiteral("Sonorvelle")).join(u' '),
              QStringLiteral("S AA N AO R V EH L"));
    EXPECT_FALSE(phonemizer.arpabet(QStringLiteral("O'Hare")).isEmpty());
}

TEST(EspeakNgPhonemizerTest, MapsPhonemesOrNothing)
{
    struct Case
    {
        const char *name;
        QString espeak;
        QString arpabet;
    };
    const Case cases[] = {
        {"stress marks dropped", QStringLiteral("g 'oU"), QStringLiteral("G OW")},
        {"r inside the vowel", QStringLiteral("f 'O@ w 3 d"), QStringLiteral("F AO R W ER D")},
        {"linking r after ER", QStringLiteral("b 3 r 'I"), QStringLiteral("B ER IH")},
        {"syllable marks dropped", QStringLiteral("m i ; @"), QStringLiteral("M IY AH")},
        {"glottal stop heard as t", QStringLiteral("b 'E ? n-"), QStringLiteral("B EH T AH N")},
        // A language switch ("(fr)") or a phoneme of another language: no pronunciation.
        {"unknown phoneme", QStringLiteral("b (fr) y"), QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EspeakNgPhonemizer::toArpabet(c.espeak).join(u' '), c.arpabet);
    }
}
