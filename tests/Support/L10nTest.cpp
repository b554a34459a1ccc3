#include "Support/L10n.h"

#include "Base/UserDefaults.h"
#include "Support/FrameworkLanguage.h"

#include <QJSValue>
#include <QLocale>
#include <QQmlComponent>
#include <QQmlEngine>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

const QString kAppleLanguages = QStringLiteral("AppleLanguages");

// Counts languageChanged() while it lives.
class ChangeCounter
{
public:
    ChangeCounter()
        : m_connection(
            QObject::connect(&L10n::shared(), &L10n::languageChanged, [this] { ++m_count; }))
    { }
    ~ChangeCounter() { QObject::disconnect(m_connection); }
    int count() const { return m_count; }

private:
    int m_count = 0;
    QMetaObject::Connection m_connection;
};

// Each test gets in-memory defaults and a known system language (Dutch, through LANGUAGE, which
// comes before the other sources); afterwards the process-wide state is put back to English.
class L10nTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_savedLanguage = qgetenv("LANGUAGE");
        m_hadLanguage = qEnvironmentVariableIsSet("LANGUAGE");
        qputenv("LANGUAGE", "nl_NL:de");
        m_savedLocale = QLocale();
        UserDefaults::overrideStandard(&m_defaults);
    }

    void TearDown() override
    {
        L10n::shared().apply(QStringLiteral("en"));
        FrameworkLanguage::setCode(std::nullopt);
        QLocale::setDefault(m_savedLocale);
        UserDefaults::overrideStandard(nullptr);
        if (m_hadLanguage) {
            qputenv("LANGUAGE", m_savedLanguage);
        } else {
            qunsetenv("LANGUAGE");
        }
    }

    std::optional<QStringList> appleLanguages() const
    {
        return m_defaults.stringArray(kAppleLanguages);
    }

    UserDefaults m_defaults;
    QByteArray m_savedLanguage;
    bool m_hadLanguage = false;
    QLocale m_savedLocale;
};

TEST(L10nLookup, FallsBackToEnglishThenToTheKey)
{
    QHash<AppLanguage, LocalizationTables::Table> tables;
    tables.insert(AppLanguage::en, {{"a", "English A"}, {"b", "English B"}});
    tables.insert(AppLanguage::ja, {{"a", "日本語 A"}});

    EXPECT_EQ(L10n::lookup("a", AppLanguage::ja, tables), QStringLiteral("日本語 A"));
    EXPECT_EQ(L10n::lookup("b", AppLanguage::ja, tables), QStringLiteral("English B"));
    EXPECT_EQ(L10n::lookup("c", AppLanguage::ja, tables), QStringLiteral("c"));
    // A language without a table reads English.
    EXPECT_EQ(L10n::lookup("a", AppLanguage::de, tables), QStringLiteral("English A"));
    EXPECT_EQ(L10n::lookup("a", AppLanguage::de, {}), QStringLiteral("a"));
}

TEST(L10nLookup, AnUnknownKeyShowsItself)
{
    EXPECT_EQ(L10n::shared().string(QStringLiteral("no.such_key")), QStringLiteral("no.such_key"));
}

// A fresh process: nothing has applied a language yet.
TEST(L10nDeathTest, StartsInEnglishUntilBootstrap)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(L10n::shared().language() == AppLanguage::en ? 0 : 1),
                testing::ExitedWithCode(0), "");
}

TEST_F(L10nTest, ApplyingALanguageMirrorsItForThePlatform)
{
    ChangeCounter changed;
    L10n::shared().apply(QStringLiteral("pt-BR"));

    EXPECT_EQ(L10n::shared().language(), AppLanguage::ptBR);
    EXPECT_EQ(L10n::shared().languageCode(), QStringLiteral("pt-BR"));
    EXPECT_EQ(appleLanguages(), QStringList {QStringLiteral("pt-BR")});
    EXPECT_EQ(FrameworkLanguage::code(), QStringLiteral("pt-BR"));
    EXPECT_EQ(QLocale().language(), QLocale::Portuguese);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(L10nTest, AnAbsentOrUnknownCodeFollowsTheSystem)
{
    for (const std::optional<QString> &code :
         {std::optional<QString>(), std::optional<QString>("pt"), std::optional<QString>("zh-hans"),
          std::optional<QString>("EN"), std::optional<QString>("")}) {
        SCOPED_TRACE(code.value_or("(absent)").toStdString());
        L10n::shared().apply(QStringLiteral("ja"));
        ASSERT_TRUE(appleLanguages().has_value());

        L10n::shared().apply(code);
        // The system default is read after the app's own list is gone: Dutch, not Japanese.
        EXPECT_EQ(L10n::shared().language(), AppLanguage::nl);
        EXPECT_FALSE(m_defaults.contains(kAppleLanguages));
        EXPECT_EQ(FrameworkLanguage::code(), std::nullopt);
        EXPECT_EQ(QLocale(), QLocale::system());
    }
}

TEST_F(L10nTest, ApplyingTheSameLanguageStillNotifies)
{
    L10n::shared().apply(QStringLiteral("de"));
    ChangeCounter changed;
    L10n::shared().apply(QStringLiteral("de"));
    L10n::shared().apply(std::nullopt);
    L10n::shared().apply(std::nullopt);
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(L10nTest, BootstrapAppliesTheStoredLanguage)
{
    struct Row
    {
        std::optional<QString> stored;
        AppLanguage expected;
        bool mirrored;
    };
    const Row rows[] = {
        {QStringLiteral("ja"), AppLanguage::ja, true},
        {QStringLiteral("zh-Hant"), AppLanguage::zhHant, true},
        {QString(""), AppLanguage::nl, false},
        {std::nullopt, AppLanguage::nl, false},
        {QStringLiteral("xx"), AppLanguage::nl, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.stored.value_or("(none)").toStdString());
        m_defaults.setValue(kAppleLanguages, QStringList {QStringLiteral("ko")});
        if (row.stored) {
            m_defaults.setValue(QStringLiteral("languageCode"), *row.stored);
        } else {
            m_defaults.remove(QStringLiteral("languageCode"));
        }
        L10n::shared().bootstrap();
        EXPECT_EQ(L10n::shared().language(), row.expected);
        EXPECT_EQ(appleLanguages().has_value(), row.mirrored);
    }
}

TEST_F(L10nTest, LookupsFromOtherThreadsWhileTheLanguageChanges)
{
    const QString key = QStringLiteral("error.session_failed");
    const QString english = L10n::lookup(key, AppLanguage::en);
    const QString german = L10n::lookup(key, AppLanguage::de);
    std::atomic<bool> stop {false};
    std::atomic<int> wrong {0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                const QString text = L10n::shared().string(key);
                if (text != english && text != german) {
                    wrong.fetch_add(1);
                }
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        L10n::shared().apply(i % 2 ? QStringLiteral("de") : QStringLiteral("en"));
    }
    stop.store(true);
    for (std::thread &reader : readers) {
        reader.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(L10nTest, QmlBindingsRelabelWhenTheLanguageChanges)
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQuick
        import Sonorvelle
        QtObject {
            readonly property var evaluations: ({ count: 0 })
            function seen(text) { evaluations.count += 1; return text }
            property string title: seen(L10n.t("menu.quit") + L10n.retranslate)
            property string code: L10n.languageCode
        }
    )",
                      QUrl());
    std::unique_ptr<QObject> view(component.create());
    ASSERT_TRUE(view) << component.errorString().toStdString();
    const auto evaluations = [&view] {
        return view->property("evaluations").value<QJSValue>().property("count").toInt();
    };
    const int before = evaluations();

    for (const AppLanguage language : {AppLanguage::ja, AppLanguage::ja, AppLanguage::de}) {
        L10n::shared().apply(language.rawValue());
        EXPECT_EQ(view->property("code").toString(), language.rawValue());
        EXPECT_EQ(view->property("title").toString(),
                  L10n::lookup(QStringLiteral("menu.quit"), language));
    }
    // Every switch re-evaluated the binding, also the one that kept the language.
    EXPECT_EQ(evaluations(), before + 3);
}

} // namespace
