#include "Core/Transcription/SpeechLocaleResolver.h"

#include "Base/UserDefaults.h"

#include "Core/DebugLogCapture.h"
#include "Core/Transcription/RunTask.h"
#include "Core/Transcription/SpeechLocaleNotifications.h"
#include "Fakes/FakeTranscriptionEngine.h"
#include "Fakes/TestAppSettings.h"
#include "TestSupport/QtPrinters.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

QStringList ids(std::initializer_list<const char *> list)
{
    QStringList result;
    for (const char *id : list) {
        result.append(QString::fromLatin1(id));
    }
    return result;
}

QList<SpeechLocale> locales(std::initializer_list<const char *> list)
{
    QList<SpeechLocale> result;
    for (const char *id : list) {
        result.append(SpeechLocale(QString::fromLatin1(id)));
    }
    return result;
}

} // namespace

TEST(SpeechLocaleResolverTest, ResolvesTheFirstCandidateThatMatchesExactlyOrByLanguage)
{
    using SpeechLocaleResolver::resolve;
    const struct
    {
        QStringList candidates;
        QStringList supported;
        std::optional<QString> expected;
    } cases[] = {
        {ids({"de-CH", "en-US"}), ids({"de-DE", "de-CH"}), QStringLiteral("de-CH")},
        {ids({"de-CH", "en-US"}), ids({"de-DE", "de-AT"}), QStringLiteral("de-DE")},
        // An earlier candidate matching only by language wins over a later exact match.
        {ids({"en-GB", "ja-JP"}), ids({"ja-JP", "en-US"}), QStringLiteral("en-US")},
        // Scripts tell languages apart.
        {ids({"zh-Hant-TW"}), ids({"zh-Hans-CN"}), std::nullopt},
        {ids({"zh-Hant-TW"}), ids({"zh-Hans-CN", "zh-Hant-HK"}), QStringLiteral("zh-Hant-HK")},
        // One normal form: spelling and letter case do not matter; the engine's spelling is kept.
        {ids({"en_us"}), ids({"en-GB", "en-US"}), QStringLiteral("en-US")},
        {ids({"", "-", "fr"}), ids({"fr-CA"}), QStringLiteral("fr-CA")},
        {ids({"ko-KR"}), ids({"en-US"}), std::nullopt},
        {ids({}), ids({"en-US"}), std::nullopt},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(resolve(c.candidates, c.supported), c.expected)
            << c.candidates.join(u',').toStdString() << " / "
            << c.supported.join(u',').toStdString();
    }

    const std::pair<const char *, const char *> keys[] = {
        {"en-US", "en"},
        {"zh-Hant-TW", "zh-hant"},
        {"zh_Hant", "zh-hant"},
        {"pt_BR", "pt"},
        {"", ""},
        {"--", ""},
        {"EN", "en"},
        {"es-419", "es"},
    };
    for (const auto &[identifier, key] : keys) {
        EXPECT_EQ(SpeechLocaleResolver::languageKey(QString::fromLatin1(identifier)),
                  QString::fromLatin1(key))
            << identifier;
    }
}

TEST(SpeechLocaleResolverTest, CandidatesEndWithAmericanEnglishAndKeepEachLanguageOnce)
{
    using SpeechLocaleResolver::candidates;
    EXPECT_EQ(candidates(ids({"en-US", "en-us", "ja-JP"}), {}), ids({"en-US", "ja-JP"}));
    EXPECT_EQ(candidates({}, ids({"de-DE", "EN-us"})), ids({"de-DE", "EN-us"}));
    EXPECT_EQ(candidates({}, {}), ids({"en-US"}));
    // The session's list comes first; the application's view of it repeats it after its override.
    EXPECT_EQ(candidates(ids({"de-DE", "it"}), ids({"fr", "de-DE", "it"})),
              ids({"de-DE", "it", "fr", "en-US"}));
    EXPECT_EQ(candidates().last(), QStringLiteral("en-US"));
}

// The interface language picked in the application does not outrank the languages of the
// desktop session when the recognition locale is chosen.
TEST(SpeechLocaleResolverTest, TheApplicationsLanguageOverrideComesAfterTheSessionsLanguages)
{
    UserDefaults defaults;
    defaults.setValue(QStringLiteral("AppleLanguages"), QStringList {QStringLiteral("fr")});
    UserDefaults::overrideStandard(&defaults);
    const bool hadLanguage = qEnvironmentVariableIsSet("LANGUAGE");
    const QByteArray savedLanguage = qgetenv("LANGUAGE");
    qputenv("LANGUAGE", "de_DE:it");

    const QStringList candidates = SpeechLocaleResolver::candidates();

    if (hadLanguage) {
        qputenv("LANGUAGE", savedLanguage);
    } else {
        qunsetenv("LANGUAGE");
    }
    UserDefaults::overrideStandard(nullptr);
    EXPECT_EQ(candidates.mid(0, 2), ids({"de-DE", "it"}));
    EXPECT_TRUE(candidates.contains(QStringLiteral("fr")));
    EXPECT_EQ(candidates.last(), QStringLiteral("en-US"));
    EXPECT_EQ(SpeechLocaleResolver::resolve(candidates, ids({"fr-FR", "de-DE"})),
              QStringLiteral("de-DE"));
}

class SpeechLocaleResolverConfigureTest : public ::testing::Test
{
protected:
    SpeechLocaleResolver::Resolution configure(const QStringList &candidates)
    {
        return runTask(
            SpeechLocaleResolver::ensureConfigured(engine, *settings.settings, candidates));
    }

    void store(const QString &identifier)
    {
        settings.defaults.setValue(QStringLiteral("speechLocaleID"), identifier);
        settings.make();
    }

    DebugLogCapture log;
    TestAppSettings settings;
    std::shared_ptr<FakeTranscriptionEngine> engine = std::make_shared<FakeTranscriptionEngine>();
};

TEST_F(SpeechLocaleResolverConfigureTest, KeepsASupportedStoredLocaleQuietly)
{
    store(QStringLiteral("ja_JP"));
    engine->locales = locales({"en-US", "ja-JP"});
    const auto resolution = configure(ids({"en-US"}));
    EXPECT_EQ(resolution.locale.identifier(), QStringLiteral("ja_JP"));
    EXPECT_FALSE(resolution.changed);
    EXPECT_EQ(settings->speechLocaleID(), QStringLiteral("ja_JP"));
    EXPECT_TRUE(settings.enginePreparer.calls.isEmpty());
    EXPECT_EQ(log.messages(), QStringList());
}

TEST_F(SpeechLocaleResolverConfigureTest, StoresTheBestSupportedLocaleWhenNoneIsSet)
{
    settings.make();
    engine->locales = locales({"en-US", "ja-JP"});
    const auto resolution = configure(ids({"ja-JP", "en-US"}));
    EXPECT_EQ(resolution.locale.identifier(), QStringLiteral("ja-JP"));
    EXPECT_TRUE(resolution.changed);
    EXPECT_EQ(settings->speechLocaleID(), QStringLiteral("ja-JP"));
    EXPECT_EQ(settings.defaults.string(QStringLiteral("speechLocaleID")), QStringLiteral("ja-JP"));
    // The setting's own change handler prepares the new locale's model.
    EXPECT_EQ(settings.enginePreparer.calls,
              (QList<std::optional<QString>> {QStringLiteral("ja-JP")}));
    EXPECT_EQ(log.messages(),
              QStringList {
                  QStringLiteral("locale: 認識言語を ja-JP に確定(前=未設定 候補=ja-JP,en-US)")});
}

TEST_F(SpeechLocaleResolverConfigureTest, ReplacesAnUnsupportedStoredLocale)
{
    store(QStringLiteral("de-DE"));
    engine->locales = locales({"en-US"});
    const auto resolution = configure(ids({"de-DE", "fr-FR", "en-GB", "en-US"}));
    EXPECT_EQ(resolution.locale.identifier(), QStringLiteral("en-US"));
    EXPECT_TRUE(resolution.changed);
    EXPECT_EQ(settings->speechLocaleID(), QStringLiteral("en-US"));
    EXPECT_EQ(log.messages(),
              QStringList {QStringLiteral(
                  "locale: 認識言語を en-US に確定(前=de-DE 候補=de-DE,fr-FR,en-GB)")});
}

TEST_F(SpeechLocaleResolverConfigureTest, LeavesTheSettingAloneWhenNothingFits)
{
    store(QStringLiteral("de-DE"));
    engine->locales = locales({"ja-JP", "ko-KR", "zh-Hans-CN", "th-TH", "vi-VN", "km-KH"});
    const auto resolution = configure(ids({"fr-FR", "de-DE", "it-IT", "es-ES"}));
    EXPECT_EQ(resolution.locale.identifier(), QStringLiteral("de-DE"));
    EXPECT_FALSE(resolution.changed);
    EXPECT_EQ(settings->speechLocaleID(), QStringLiteral("de-DE"));
    EXPECT_EQ(
        log.messages(),
        QStringList {QStringLiteral("locale: 使える認識言語が見つからない(候補=fr-FR,de-DE,it-IT "
                                    "/ サポート=ja-JP,ko-KR,zh-Hans-CN,th-TH,vi-VN)")});
}

TEST_F(SpeechLocaleResolverConfigureTest, AnEngineWithoutLocalesChangesNothing)
{
    settings.make();
    const auto current = configure(ids({"ja-JP"}));
    EXPECT_EQ(current.locale, SpeechLocale::current());
    EXPECT_FALSE(current.changed);

    store(QStringLiteral("fr-FR"));
    const auto stored = configure(ids({"ja-JP"}));
    EXPECT_EQ(stored.locale.identifier(), QStringLiteral("fr-FR"));
    EXPECT_FALSE(stored.changed);
    EXPECT_EQ(log.messages(), QStringList());
}

TEST(SpeechLocaleNotificationsTest, PostsTheDisplayNameOfTheNewLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    QSignalSpy spy(&SpeechLocaleNotifications::shared(),
                   &SpeechLocaleNotifications::speechLocaleSwitched);
    SpeechLocaleNotifications::shared().postSpeechLocaleSwitched(
        SpeechLocale(QStringLiteral("ja-JP")));
    SpeechLocaleNotifications::shared().postSpeechLocaleSwitched(
        SpeechLocale(QStringLiteral("qq-ZZ")));
    QLocale::setDefault(saved);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy[0][0].toString(), QStringLiteral("Japanese (Japan)"));
    EXPECT_EQ(spy[1][0].toString(), QStringLiteral("qq-ZZ"));
    EXPECT_EQ(SpeechLocaleResolver::didSwitch, QStringLiteral("Sonorvelle.speechLocaleSwitched"));
}
