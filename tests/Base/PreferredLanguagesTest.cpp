#include "Base/PreferredLanguages.h"

#include "Base/UserDefaults.h"

#include <gtest/gtest.h>

namespace {

TEST(PreferredLanguages, NormalizesPosixNamesToBcp47)
{
    const std::pair<const char *, const char *> rows[] = {
        {"en_US.UTF-8", "en-US"},
        {"de_DE@euro", "de-DE"},
        {"sr_RS.UTF-8@latin", "sr-RS"},
        {"zh_TW", "zh-TW"},
        {"pt-BR", "pt-BR"},
        {"ja", "ja"},
        {"C", ""},
        {"C.UTF-8", ""},
        {"POSIX", ""},
        {"", ""},
    };
    for (const auto &[input, expected] : rows) {
        EXPECT_EQ(PreferredLanguages::normalize(QString::fromLatin1(input)),
                  QString::fromLatin1(expected))
            << input;
    }
}

TEST(PreferredLanguages, ComposesSourcesInOrderWithoutDuplicates)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("LANGUAGE"), QStringLiteral("fr_CA:fr::de"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("LC_MESSAGES"), QStringLiteral("it_IT.UTF-8"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));

    const QStringList result = PreferredLanguages::fromSources(
        {QStringLiteral("ja")}, environment,
        {QStringLiteral("en-US"), QStringLiteral("nl-NL"), QStringLiteral("FR")});

    EXPECT_EQ(result, (QStringList {"ja", "fr-CA", "fr", "de", "it-IT", "en-US", "nl-NL"}));
}

TEST(PreferredLanguages, EmptySourcesGiveAnEmptyList)
{
    EXPECT_TRUE(PreferredLanguages::fromSources({}, QProcessEnvironment(), {}).isEmpty());
}

TEST(PreferredLanguages, TheAppsOwnLanguageListComesFirst)
{
    UserDefaults defaults;
    UserDefaults::overrideStandard(&defaults);
    defaults.setValue(QStringLiteral("AppleLanguages"), QStringList {QStringLiteral("zh-Hant")});
    const QStringList withChoice = PreferredLanguages::list();
    defaults.remove(QStringLiteral("AppleLanguages"));
    const QStringList withoutChoice = PreferredLanguages::list();
    UserDefaults::overrideStandard(nullptr);

    ASSERT_FALSE(withChoice.isEmpty());
    EXPECT_EQ(withChoice.first(), QStringLiteral("zh-Hant"));
    EXPECT_FALSE(withoutChoice.contains(QStringLiteral("zh-Hant")));
}

} // namespace
