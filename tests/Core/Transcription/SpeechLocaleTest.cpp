#include "Core/Transcription/SpeechLocale.h"

#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

TEST(SpeechLocaleTest, NormalizesIdentifierSpellings)
{
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("en_US"), QStringLiteral("en-US")},
        {QStringLiteral("en-us"), QStringLiteral("en-US")},
        {QStringLiteral("EN-US"), QStringLiteral("en-US")},
        {QStringLiteral("en_US.UTF-8"), QStringLiteral("en-US")},
        {QStringLiteral("de_DE@euro"), QStringLiteral("de-DE")},
        {QStringLiteral("zh_hant_tw"), QStringLiteral("zh-Hant-TW")},
        {QStringLiteral("zh-Hans-CN"), QStringLiteral("zh-Hans-CN")},
        {QStringLiteral("es-419"), QStringLiteral("es-419")},
        {QStringLiteral("ja"), QStringLiteral("ja")},
        {QStringLiteral("-en--GB-"), QStringLiteral("en-GB")},
        {QStringLiteral("C"), QString()},
        {QStringLiteral("POSIX"), QString()},
        {QString(), QString()},
    };
    for (const auto &[input, expected] : cases) {
        EXPECT_EQ(SpeechLocale::normalize(input), expected) << input.toStdString();
    }
}

TEST(SpeechLocaleTest, ComparesByNormalFormAndKeepsTheGivenSpelling)
{
    const SpeechLocale posix(QStringLiteral("en_US"));
    const SpeechLocale bcp47(QStringLiteral("en-US"));
    EXPECT_EQ(posix, bcp47);
    EXPECT_EQ(qHash(posix), qHash(bcp47));
    EXPECT_EQ(posix.identifier(), QStringLiteral("en_US"));
    EXPECT_EQ(posix.bcp47Identifier(), QStringLiteral("en-US"));
    EXPECT_EQ(posix.languageCode(), QStringLiteral("en"));
    EXPECT_NE(SpeechLocale(QStringLiteral("zh-Hant-TW")),
              SpeechLocale(QStringLiteral("zh-Hans-TW")));
    EXPECT_NE(SpeechLocale(QStringLiteral("en-GB")), bcp47);
    EXPECT_TRUE(SpeechLocale().isEmpty());
    EXPECT_FALSE(SpeechLocale::current().isEmpty());
}

TEST(SpeechLocaleTest, DisplayNameFallsBackToTheIdentifier)
{
    // The display language follows the default QLocale; pin it for the test.
    const QLocale saved;
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    EXPECT_EQ(SpeechLocale(QStringLiteral("de-CH")).displayName(),
              QStringLiteral("German (Switzerland)"));
    EXPECT_EQ(SpeechLocale(QStringLiteral("qq-ZZ")).displayName(), QStringLiteral("qq-ZZ"));
    QLocale::setDefault(QLocale(QStringLiteral("ja_JP")));
    EXPECT_EQ(SpeechLocale(QStringLiteral("en_US")).displayName(),
              QStringLiteral("英語 (アメリカ合衆国)"));
    QLocale::setDefault(saved);
}
