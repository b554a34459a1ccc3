#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// An update feed in the appcast format: an RSS 2.0 document whose channel lists one item per
// release, with the release's version in the Sparkle namespace
// ("http://www.andymatuschak.org/xml-namespaces/sparkle"):
//
//   <item>
//     <title>Sonorvelle 1.2</title>
//     <link>https://example.org/download</link>
//     <sparkle:version>42</sparkle:version>
//     <sparkle:shortVersionString>1.2</sparkle:shortVersionString>
//     <enclosure url="https://example.org/sonorvelle-1.2.tar.gz" sparkle:version="42" .../>
//   </item>
//
// The version may also come from the enclosure's attributes. The release's download page is the
// item's link, or else the enclosure's address; only http and https addresses are taken, so a
// feed can never make the application open a local file or another program's scheme.
class Appcast
{
public:
    struct Item
    {
        QString title;
        // The build version the feed compares against the application's build number.
        QString version;
        // The version shown to people; the build version when the feed gives none.
        QString displayVersion;
        // Empty when the item names no http(s) address.
        QUrl downloadPage;
    };

    static constexpr char sparkleNamespace[] =
        "http://www.andymatuschak.org/xml-namespaces/sparkle";

    // The feed's items in document order, or nothing when the text is not well-formed XML or not
    // an RSS channel; `error` then says why.
    static std::optional<Appcast> parse(const QByteArray &xml, QString *error = nullptr);

    const QList<Item> &items() const { return m_items; }

    // The newest item that is newer than `currentVersion` and has a version and a download page;
    // among equal versions the first in the feed.
    std::optional<Item> bestUpdate(const QString &currentVersion) const;

private:
    QList<Item> m_items;
};
