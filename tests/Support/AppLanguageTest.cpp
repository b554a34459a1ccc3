#include "Support/AppLanguage.h"

#include <gtest/gtest.h>

namespace {

TEST(AppLanguage, CasesCodesAndNamesInDeclarationOrder)
{
    struct Row
    {
        AppLanguage language;
        const char *code;
        QString displayName;
    };
    const Row rows[] = {
        {AppLanguage::en, "en", QStringLiteral("English")},
        {AppLanguage::ja, "ja", QStringLiteral("日本語")},
        {AppLanguage::ko, "ko", QStringLiteral("한국어")},
        {AppLanguage::zhHans, "zh-Hans", QStringLiteral("简体中文")},
        {AppLanguage::zhHant, "zh-Hant", QStringLiteral("繁體中文")},
        {AppLanguage::de, "de", QStringLiteral("Deutsch")},
        {AppLanguage::fr, "fr", QStringLiteral("Français")},
        {AppLanguage::es, "es", QStringLiteral("Español")},
        {AppLanguage::ptBR, "pt-BR", QStringLiteral("Português (Brasil)")},
        {AppLanguage::ru, "ru", QStringLiteral("Русский")},
        {AppLanguage::it, "it", QStringLiteral("Italiano")},
        {AppLanguage::nl, "nl", QStringLiteral("Nederlands")},
        {AppLanguage::pl, "pl", QStringLiteral("Polski")},
        {AppLanguage::tr, "tr", QStringLiteral("Türkçe")},
    };
    const QList<AppLanguage> &all = AppLanguage::allCases();
    ASSERT_EQ(all.size(), static_cast<qsizetype>(std::size(rows)));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row &row = rows[i];
        SCOPED_TRACE(row.code);
        EXPECT_EQ(all[static_cast<qsizetype>(i)], row.language);
        EXPECT_EQ(row.language.rawValue(), QLatin1StringView(row.code));
        EXPECT_EQ(row.language.id(), row.language.rawValue());
        EXPECT_EQ(row.language.displayName(), row.displayName);
        EXPECT_EQ(AppLanguage::fromRawValue(QString::fromLatin1(row.code)), row.language);
    }
}

TEST(AppLanguage, FromRawValueIsExactAndCaseSensitive)
{
    for (const char *code : {"pt", "zh-hans", "EN", "", "en ", "zh_Hans", "pt-br", "zh"}) {
        EXPECT_FALSE(AppLanguage::fromRawValue(QString::fromLatin1(code)).has_value()) << code;
    }
}

TEST(AppLanguage, SystemDefaultFollowsTheFirstDecidingPreferredLanguage)
{
    struct Row
    {
        QStringList preferred;
        AppLanguage expected;
    };
    const Row rows[] = {
        {{"sv-SE", "de-DE"}, AppLanguage::de},
        {{"zh-Hant-TW"}, AppLanguage::zhHant},
        {{"zh-HK"}, AppLanguage::zhHant},
        {{"zh-MO"}, AppLanguage::zhHant},
        {{"zh-TW"}, AppLanguage::zhHant},
        {{"zh-Hans-CN"}, AppLanguage::zhHans},
        {{"zh"}, AppLanguage::zhHans},
        {{"zh-CN"}, AppLanguage::zhHans},
        {{"pt-PT"}, AppLanguage::ptBR},
        {{"pt"}, AppLanguage::ptBR},
        {{"en-GB"}, AppLanguage::en},
        {{"sv"}, AppLanguage::en},
        {{}, AppLanguage::en},
        // The first identifier that decides wins; later ones are not looked at.
        {{"fr-CA", "ja-JP"}, AppLanguage::fr},
        {{"en-US", "ja-JP"}, AppLanguage::en},
        {{"fi", "sv", "ko-KR", "ja"}, AppLanguage::ko},
        // Identifiers are compared lower-cased.
        {{"JA-jp"}, AppLanguage::ja},
        {{"ZH-hant"}, AppLanguage::zhHant},
        {{"ru-RU"}, AppLanguage::ru},
        {{"it-IT"}, AppLanguage::it},
        {{"nl-BE"}, AppLanguage::nl},
        {{"pl-PL"}, AppLanguage::pl},
        {{"tr-TR"}, AppLanguage::tr},
        {{"es-419"}, AppLanguage::es},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.preferred.join(u',').toStdString());
        EXPECT_EQ(AppLanguage::systemDefault(row.preferred), row.expected);
    }
}

} // namespace
