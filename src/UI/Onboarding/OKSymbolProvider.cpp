#include "UI/Onboarding/OKSymbolProvider.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <QUrl>

OKSymbolProvider::OKSymbolProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{ }

QByteArray OKSymbolProvider::tintedSvg(const QString &name, const QColor &colour)
{
    // Names are the symbols' own ("mic.fill"); nothing else may reach the resource path.
    for (const QChar c : name) {
        if (!(c.isLetterOrNumber() || c == u'.')) {
            return {};
        }
    }
    QFile file(
        QStringLiteral(":/qt-project.org/imports/Sonorvelle/Onboarding/symbols/%1.svg").arg(name));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray svg = file.readAll();
    svg.replace("currentColor", colour.name(QColor::HexRgb).toLatin1());
    svg.replace("currentOpacity", QByteArray::number(colour.alphaF()));
    return svg;
}

QImage OKSymbolProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const QString name = id.section(u'/', 0, 0);
    const QColor colour(QUrl::fromPercentEncoding(id.section(u'/', 1).toLatin1()));
    const QSize target =
        requestedSize.isValid() && !requestedSize.isEmpty() ? requestedSize : QSize(32, 32);
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(tintedSvg(name, colour.isValid() ? colour : QColor(Qt::black)));
    if (renderer.isValid()) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    if (size) {
        *size = image.size();
    }
    return image;
}
