#include "Platform/Appcast/Appcast.h"

#include "Platform/Appcast/VersionComparator.h"

#include <QXmlStreamReader>

namespace {

QUrl webAddress(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        return {};
    }
    return url;
}

bool isSparkle(const QXmlStreamReader &reader)
{
    return reader.namespaceUri() == QLatin1String(Appcast::sparkleNamespace);
}

Appcast::Item readItem(QXmlStreamReader &reader)
{
    Appcast::Item item;
    QString link;
    QString enclosureURL;
    QString enclosureVersion;
    QString enclosureShortVersion;
    QString shortVersion;
    while (reader.readNextStartElement()) {
        const auto name = reader.name();
        if (reader.namespaceUri().isEmpty() && name == QLatin1String("title")) {
            item.title = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (reader.namespaceUri().isEmpty() && name == QLatin1String("link")) {
            link = reader.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (isSparkle(reader) && name == QLatin1String("version")) {
            item.version = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (isSparkle(reader) && name == QLatin1String("shortVersionString")) {
            shortVersion = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (reader.namespaceUri().isEmpty() && name == QLatin1String("enclosure")) {
            const QXmlStreamAttributes attributes = reader.attributes();
            enclosureURL = attributes.value(QLatin1String("url")).toString();
            enclosureVersion =
                attributes.value(QLatin1String(Appcast::sparkleNamespace), QLatin1String("version"))
                    .toString()
                    .trimmed();
            enclosureShortVersion = attributes
                                        .value(QLatin1String(Appcast::sparkleNamespace),
                                               QLatin1String("shortVersionString"))
                                        .toString()
                                        .trimmed();
            reader.skipCurrentElement();
        } else {
            reader.skipCurrentElement();
        }
    }
    if (item.version.isEmpty()) {
        item.version = enclosureVersion;
    }
    if (shortVersion.isEmpty()) {
        shortVersion = enclosureShortVersion;
    }
    item.displayVersion = shortVersion.isEmpty() ? item.version : shortVersion;
    item.downloadPage = webAddress(link);
    if (item.downloadPage.isEmpty()) {
        item.downloadPage = webAddress(enclosureURL);
    }
    return item;
}

} // namespace

std::optional<Appcast> Appcast::parse(const QByteArray &xml, QString *error)
{
    auto fail = [error](const QString &why) -> std::optional<Appcast> {
        if (error) {
            *error = why;
        }
        return std::nullopt;
    };

    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement()) {
        return fail(reader.hasError() ? reader.errorString() : QStringLiteral("the feed is empty"));
    }
    if (reader.name() != QLatin1String("rss")) {
        return fail(QStringLiteral("the feed is not an RSS document"));
    }
    Appcast appcast;
    bool sawChannel = false;
    while (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("channel") || sawChannel) {
            reader.skipCurrentElement();
            continue;
        }
        sawChannel = true;
        while (reader.readNextStartElement()) {
            if (reader.namespaceUri().isEmpty() && reader.name() == QLatin1String("item")) {
                appcast.m_items.append(readItem(reader));
            } else {
                reader.skipCurrentElement();
            }
        }
    }
    // Reading on to the end catches a document that is broken after the channel.
    while (!reader.atEnd() && !reader.hasError()) {
        reader.readNext();
    }
    if (reader.hasError()) {
        return fail(
            QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString()));
    }
    if (!sawChannel) {
        return fail(QStringLiteral("the feed has no channel"));
    }
    return appcast;
}

std::optional<Appcast::Item> Appcast::bestUpdate(const QString &currentVersion) const
{
    std::optional<Item> best;
    for (const Item &item : m_items) {
        if (item.version.isEmpty() || item.downloadPage.isEmpty()
            || VersionComparator::compare(item.version, currentVersion) <= 0) {
            continue;
        }
        if (!best || VersionComparator::compare(item.version, best->version) > 0) {
            best = item;
        }
    }
    return best;
}
