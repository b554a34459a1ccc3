#include "Platform/Pocketsphinx/PocketsphinxSentences.h"

#include <gtest/gtest.h>

TEST(PocketsphinxSentencesTest, CapitalisesAndClosesSentencesOnlyAtLongPauses)
{
    using Stretches = std::vector<PocketsphinxStream::Stretch>;
    const double longPause = PocketsphinxSentences::sentencePause;
    const double breath = PocketsphinxSentences::sentencePause - 0.1;
    struct Case
    {
        const char *name;
        Stretches stretches;
        bool ended;
        QString text;
    };
    const Case cases[] = {
        {"one sentence",
         {{QStringLiteral("go forward ten meters")}},
         true,
         QStringLiteral("Go forward ten meters.")},
        {"not closed while the dictation goes on",
         {{QStringLiteral("go forward")}},
         false,
         QStringLiteral("Go forward")},
        {"a long pause ends a sentence",
         {{QStringLiteral("he was not an ill disposed young man"), longPause},
          {QStringLiteral("he might even have been made amiable")}},
         true,
         QStringLiteral("He was not an ill disposed young man. He might even have been made "
                        "amiable.")},
        {"a breath does not",
         {{QStringLiteral("and then"), breath}, {QStringLiteral("we left")}},
         true,
         QStringLiteral("And then we left.")},
        {"the pause after the open stretch is not known yet",
         {{QStringLiteral("first part"), -1}, {QStringLiteral("second")}},
         false,
         QStringLiteral("First part second")},
        {"closed before the next words come",
         {{QStringLiteral("that is all"), longPause}},
         false,
         QStringLiteral("That is all.")},
        {"the pronoun I",
         {{QStringLiteral("i think i'm late and i'll run")}},
         true,
         QStringLiteral("I think I'm late and I'll run.")},
        {"words spelled by the user are kept",
         {{QStringLiteral("iPhone sales at Sonorvelle"), longPause}, {QStringLiteral("Inc.")}},
         true,
         QStringLiteral("iPhone sales at Sonorvelle. Inc.")},
        {"nothing said", {}, true, QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PocketsphinxSentences::format(c.stretches, c.ended), c.text);
    }
}

TEST(PocketsphinxSentencesTest, OnlyEnglishHasTheRules)
{
    EXPECT_TRUE(PocketsphinxSentences::supports(SpeechLocale(QStringLiteral("en-US"))));
    EXPECT_TRUE(PocketsphinxSentences::supports(SpeechLocale(QStringLiteral("en_GB"))));
    EXPECT_FALSE(PocketsphinxSentences::supports(SpeechLocale(QStringLiteral("de-DE"))));
    EXPECT_FALSE(PocketsphinxSentences::supports(SpeechLocale(QStringLiteral("fr"))));
}
