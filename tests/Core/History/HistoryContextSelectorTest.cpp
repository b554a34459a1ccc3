#include "Core/History/HistoryContextSelector.h"

#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);
const QString kApp = QStringLiteral("org.gnome.Evolution");

struct Entry
{
    Entry(QString text, double ageSeconds = 10, std::optional<QString> windowTitle = {},
          std::optional<QString> bundleID = kApp, bool inserted = true)
        : text(std::move(text))
        , ageSeconds(ageSeconds)
        , windowTitle(std::move(windowTitle))
        , bundleID(std::move(bundleID))
        , inserted(inserted)
    { }

    QString text;
    double ageSeconds;
    std::optional<QString> windowTitle;
    std::optional<QString> bundleID;
    bool inserted;
    std::optional<QString> appName = QStringLiteral("Mail");
};

QList<TranscriptRecord> history(const QList<Entry> &entries)
{
    QList<TranscriptRecord> records;
    for (const Entry &e : entries) {
        TranscriptRecord r;
        r.date = kNow.addMSecs(-qint64(e.ageSeconds * 1000));
        r.rawText = e.text;
        r.cleanedText = e.text;
        r.windowTitle = e.windowTitle;
        r.bundleID = e.bundleID;
        r.appName = e.appName;
        r.inserted = e.inserted;
        records << r;
    }
    return records;
}

QStringList select(const std::optional<QString> &title, const QList<Entry> &entries,
                   const std::optional<QString> &bundleID = kApp)
{
    return HistoryContextSelector::select(bundleID, title, QStringLiteral("Mail"), history(entries),
                                          kNow);
}

TEST(HistoryContextSelector, NoBundleIdentifierSelectsNothing)
{
    const QList<Entry> entries = {{QStringLiteral("hello")}};
    EXPECT_TRUE(select(std::nullopt, entries, std::nullopt).isEmpty());
    EXPECT_TRUE(select(std::nullopt, entries, QString()).isEmpty());
    EXPECT_EQ(select(std::nullopt, entries), QStringList {"hello"});
}

TEST(HistoryContextSelector, WhichRecordsBelongToTheWindow)
{
    const std::optional<QString> budget = QStringLiteral("Budget review — Mail");
    const struct
    {
        const char *name;
        std::optional<QString> currentTitle;
        QList<Entry> entries; // newest first
        QStringList expected; // oldest first
    } cases[] = {
        {"without a title, the same application within 300 s (inclusive)",
         std::nullopt,
         {{"10 s"},
          {"other app", 20, {}, QStringLiteral("org.gnome.TextEditor")},
          {"no app", 30, {}, std::nullopt},
          {"299 s", 299},
          {"300 s", 300},
          {"301 s", 301}},
         {"300 s", "299 s", "10 s"}},
        {"a distinctive title takes records up to 1,800 s by title",
         budget,
         {{"same window", 100, QStringLiteral("Budget review plan — Mail")},
          {"other window", 200, QStringLiteral("Inbox — Mail")},
          {"old same window", 1800, QStringLiteral("Budget review — Mail")},
          {"too old", 1801, QStringLiteral("Budget review — Mail")}},
         {"old same window", "same window"}},
        {"a record without a title falls back to 300 s",
         budget,
         {{"recent, no title", 100}, {"old, no title", 400}},
         {"recent, no title"}},
        {"a title of only the app name and generic words falls back to 300 s",
         QStringLiteral("Terminal — zsh"),
         {{"recent", 100, QStringLiteral("Deploy — Terminal")},
          {"older", 400, QStringLiteral("Deploy — Terminal")}},
         {"recent"}},
        {"a record title of only its app name falls back to 300 s",
         budget,
         {{"recent", 100, QStringLiteral("Mail")}, {"older", 400, QStringLiteral("Mail")}},
         {"recent"}},
        {"the first record past 1,800 s ends the walk",
         std::nullopt,
         {{"recent", 10}, {"expired", 1801}, {"out of order", 5}},
         {"recent"}},
        {"records that were not inserted are never taken",
         std::nullopt,
         {{"answer", 10, {}, kApp, false}, {"inserted", 20}},
         {"inserted"}},
        {"empty texts are skipped, not counted",
         std::nullopt,
         {{"", 10}, {"after empty", 20}},
         {"after empty"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(select(c.currentTitle, c.entries), c.expected);
    }
}

TEST(HistoryContextSelector, LengthLimits)
{
    const QString hundred(100, QLatin1Char('a'));
    QList<Entry> six;
    for (int i = 1; i <= 6; ++i) {
        six.append({QString::number(i) + hundred.left(99), double(i * 10)});
    }
    const QStringList five = select(std::nullopt, six);
    ASSERT_EQ(five.size(), 5);
    EXPECT_TRUE(five.front().startsWith(QLatin1Char('5'))); // oldest of the five first
    EXPECT_TRUE(five.back().startsWith(QLatin1Char('1')));

    // 300 + 300 + 250 = 850 > 800: the third is not taken and the walk ends.
    const QList<Entry> three = {{QString(300, QLatin1Char('x')), 10},
                                {QString(300, QLatin1Char('y')), 20},
                                {QString(250, QLatin1Char('z')), 30},
                                {QStringLiteral("short"), 40}};
    EXPECT_EQ(select(std::nullopt, three),
              (QStringList {QString(300, QLatin1Char('y')), QString(300, QLatin1Char('x'))}));

    // A long text contributes its first 300 characters, counted as the user sees them.
    QString emoji;
    for (int i = 0; i < 1000; ++i) {
        emoji += QStringLiteral("👩‍👩‍👧");
    }
    const QStringList cut = select(std::nullopt, {{emoji, 10}});
    ASSERT_EQ(cut.size(), 1);
    EXPECT_EQ(cut.front(), QStringLiteral("👩‍👩‍👧").repeated(300));
}

} // namespace
