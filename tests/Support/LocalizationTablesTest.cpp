#include "Support/LocalizationTables.h"
#include "Support/L10n.h"

#include <QSet>

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

namespace {

qsizetype placeholderCount(const QString &text)
{
    return text.count(QStringLiteral("%@"));
}

TEST(LocalizationTables, EveryLanguageHasTheEnglishKeysInOrder)
{
    const QStringList english = LocalizationTables::keys();
    ASSERT_EQ(english.size(), 266);
    EXPECT_EQ(QSet<QString>(english.begin(), english.end()).size(), english.size());
    EXPECT_EQ(english.first(), QStringLiteral("island.dToggle"));
    EXPECT_EQ(english.last(), QStringLiteral("clean.resetFailed"));

    const auto &tables = LocalizationTables::tables();
    ASSERT_EQ(tables.size(), AppLanguage::caseCount);
    for (const AppLanguage language : AppLanguage::allCases()) {
        SCOPED_TRACE(language.rawValue().toStdString());
        EXPECT_EQ(LocalizationTables::keys(language), english);
        ASSERT_TRUE(tables.contains(language));
        EXPECT_EQ(tables.value(language).size(), english.size());
    }
}

TEST(LocalizationTables, EveryTextIsPresentAndKeepsTheEnglishPlaceholders)
{
    const auto &tables = LocalizationTables::tables();
    const LocalizationTables::Table &english = tables.value(AppLanguage::en);
    for (const AppLanguage language : AppLanguage::allCases()) {
        const LocalizationTables::Table &table = tables.value(language);
        for (const QString &key : LocalizationTables::keys()) {
            SCOPED_TRACE((language.rawValue() + u' ' + key).toStdString());
            ASSERT_TRUE(table.contains(key));
            EXPECT_FALSE(table.value(key).trimmed().isEmpty());
            EXPECT_EQ(placeholderCount(table.value(key)), placeholderCount(english.value(key)));
            EXPECT_FALSE(table.value(key).contains(QStringLiteral("...")))
                << "use the ellipsis character";
            // What the interface shows through the lookup is the table's own text.
            EXPECT_EQ(L10n::lookup(key, language), table.value(key));
        }
    }
}

TEST(LocalizationTables, ExactlyTheArgumentTextsHoldOnePlaceholder)
{
    const QSet<QString> withArgument {
        "error.locale_not_supported",
        "locale.switched",
        "acct.usageReset",
        "answer.errHint",
        "mic.disconnected",
        "dic.termDuplicate",
        "about.version",
        "update.upToDateDetail",
        "update.availableDetail",
        "update.failedDetail",
        "key.altGr",
        "dict.localeNotInstalled",
        "dict.localeNeedsSignIn",
        "onb.tutAltGr",
    };
    const LocalizationTables::Table &english = LocalizationTables::tables().value(AppLanguage::en);
    for (auto it = english.constBegin(); it != english.constEnd(); ++it) {
        EXPECT_EQ(placeholderCount(it.value()), withArgument.contains(it.key()) ? 1 : 0)
            << it.key().toStdString();
    }
}

TEST(LocalizationTables, EnglishTextsFollowTheLinuxWording)
{
    const LocalizationTables::Table &english = LocalizationTables::tables().value(AppLanguage::en);
    for (auto it = english.constBegin(); it != english.constEnd(); ++it) {
        for (const char *macOnly : {"⌘", "⌥", "⌃", "⇧", "System Settings", "this Mac"}) {
            EXPECT_FALSE(it.value().contains(QString::fromUtf8(macOnly)))
                << it.key().toStdString() << " holds " << macOnly;
        }
    }
    EXPECT_EQ(english.value("key.rightCommand"), QStringLiteral("Right Super"));
    EXPECT_EQ(english.value("hotkey.right_option"), QStringLiteral("Right Alt"));
    EXPECT_EQ(english.value("insert.paste"), QStringLiteral("Paste (Ctrl+V)"));
}

// The menu bar, the frontmost app and the HUD are another desktop's words: here the texts speak
// of the system tray, the active window and the voice bar, in every language.
TEST(LocalizationTables, NoTextNamesTheOtherDesktopsConcepts)
{
    const char *const otherDesktop[] = {
        "menu bar",       "frontmost", "HUD", // en
        "primer plano", // es
        "premier plan", // fr
        "primo piano", // it
        "最前面", // ja
        "맨 앞", // ko
        "voorgrond", // nl
        "primeiro plano", // pt-BR
        "öndeki", // tr
        "前台", // zh-Hans
        "最前方", // zh-Hant
    };
    const auto &tables = LocalizationTables::tables();
    for (const AppLanguage language : AppLanguage::allCases()) {
        const LocalizationTables::Table &table = tables.value(language);
        for (auto it = table.constBegin(); it != table.constEnd(); ++it) {
            for (const char *word : otherDesktop) {
                EXPECT_FALSE(it.value().contains(QString::fromUtf8(word), Qt::CaseInsensitive))
                    << language.rawValue().toStdString() << ' ' << it.key().toStdString()
                    << " holds " << word;
            }
        }
    }
    const LocalizationTables::Table &english = tables.value(AppLanguage::en);
    EXPECT_EQ(english.value("dict.insertMethodSub"),
              QStringLiteral("How text reaches the active window"));
    EXPECT_TRUE(english.value("onb.welcomeBody").contains(QStringLiteral("system tray")));
}

// Runs in a fresh process (the tables of this one are long built): several threads make the
// very first lookup at the same moment; each gets the right text and the tables are built once.
TEST(LocalizationTablesDeathTest, ConcurrentFirstLookupsBuildTheTablesOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (LocalizationTables::buildCount() != 0) {
                std::exit(2);
            }
            constexpr int kThreads = 8;
            std::barrier start(kThreads);
            std::atomic<int> wrong {0};
            std::vector<std::thread> threads;
            for (int i = 0; i < kThreads; ++i) {
                threads.emplace_back([&] {
                    start.arrive_and_wait();
                    if (L10n::shared().string(QStringLiteral("menu.quit"))
                        != QStringLiteral("Quit Sonorvelle")) {
                        wrong.fetch_add(1);
                    }
                });
            }
            for (std::thread &thread : threads) {
                thread.join();
            }
            std::exit(wrong.load() == 0 && LocalizationTables::buildCount() == 1 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
