#include "Platform/Appcast/Appcast.h"

#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

QByteArray feed(const QByteArray &items)
{
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Sonorvelle</title>
    <link>https://example.org/</link>
)" + items
        + R"(
  </channel>
</rss>
)";
}

TEST(AppcastTest, ReadsItemsFromElementsAndEnclosures)
{
    const auto appcast = Appcast::parse(feed(R"(
    <item>
      <title>Sonorvelle 1.2</title>
      <link>https://example.org/download/1.2</link>
      <sparkle:version>42</sparkle:version>
      <sparkle:shortVersionString>1.2</sparkle:shortVersionString>
      <enclosure url="https://example.org/sonorvelle-1.2.tar.gz" length="10" type="application/octet-stream"/>
    </item>
    <item>
      <title>Sonorvelle 1.1</title>
      <enclosure url="https://example.org/sonorvelle-1.1.tar.gz" sparkle:version="41" sparkle:shortVersionString="1.1"/>
    </item>
    <item>
      <title>Build without a display version</title>
      <sparkle:version>40</sparkle:version>
      <link>file:///etc/passwd</link>
    </item>)"));
    ASSERT_TRUE(appcast.has_value());
    const auto &items = appcast->items();
    ASSERT_EQ(items.size(), 3);

    EXPECT_EQ(items[0].title, QStringLiteral("Sonorvelle 1.2"));
    EXPECT_EQ(items[0].version, QStringLiteral("42"));
    EXPECT_EQ(items[0].displayVersion, QStringLiteral("1.2"));
    // The link is the download page, ahead of the enclosure.
    EXPECT_EQ(items[0].downloadPage, QUrl(QStringLiteral("https://example.org/download/1.2")));

    EXPECT_EQ(items[1].version, QStringLiteral("41"));
    EXPECT_EQ(items[1].displayVersion, QStringLiteral("1.1"));
    EXPECT_EQ(items[1].downloadPage,
              QUrl(QStringLiteral("https://example.org/sonorvelle-1.1.tar.gz")));

    // A local file is never a download page.
    EXPECT_EQ(items[2].displayVersion, QStringLiteral("40"));
    EXPECT_TRUE(items[2].downloadPage.isEmpty());
}

TEST(AppcastTest, BestUpdateIsTheNewestUsableNewerItem)
{
    const auto appcast = Appcast::parse(feed(R"(
    <item><sparkle:version>43</sparkle:version><link>javascript:alert(1)</link></item>
    <item><sparkle:version>41</sparkle:version><link>https://example.org/41</link></item>
    <item><sparkle:version>42</sparkle:version><link>https://example.org/42</link></item>
    <item><sparkle:version>42</sparkle:version><link>https://example.org/42-again</link></item>
    <item><link>https://example.org/no-version</link></item>)"));
    ASSERT_TRUE(appcast.has_value());

    auto best = appcast->bestUpdate(QStringLiteral("40"));
    ASSERT_TRUE(best.has_value());
    EXPECT_EQ(best->version, QStringLiteral("42"));
    EXPECT_EQ(best->downloadPage, QUrl(QStringLiteral("https://example.org/42")));

    EXPECT_FALSE(appcast->bestUpdate(QStringLiteral("42")).has_value());
    EXPECT_FALSE(appcast->bestUpdate(QStringLiteral("50")).has_value());
}

TEST(AppcastTest, UnreadableFeeds)
{
    const struct
    {
        const char *name;
        QByteArray xml;
    } cases[] = {
        {"empty", QByteArray()},
        {"not XML", "this is not a feed"},
        {"not RSS", "<html><body>moved</body></html>"},
        {"no channel", "<rss version=\"2.0\"></rss>"},
        {"broken after the items",
         feed("<item><sparkle:version>2</sparkle:version></item>").replace("</rss>", "</rs>")},
        {"undeclared prefix",
         "<rss><channel><item><sparkle:version>2</sparkle:version></item>"
         "</channel></rss>"},
    };
    for (const auto &test : cases) {
        QString error;
        EXPECT_FALSE(Appcast::parse(test.xml, &error).has_value()) << test.name;
        EXPECT_FALSE(error.isEmpty()) << test.name;
    }
}

TEST(AppcastTest, EmptyChannelHasNoUpdate)
{
    const auto appcast = Appcast::parse(feed(""));
    ASSERT_TRUE(appcast.has_value());
    EXPECT_TRUE(appcast->items().isEmpty());
    EXPECT_FALSE(appcast->bestUpdate(QStringLiteral("1")).has_value());
}

} // namespace
