#pragma once

#include <QQuickImageProvider>

// The kit's symbols ("mic.fill", "checkmark", ...) drawn from our own SVG files in any colour:
// an image source reads "image://oksymbol/<name>/<colour>", the colour as "#rrggbb" or
// "#aarrggbb" with the "#" written "%23". A name without a file draws nothing.
class OKSymbolProvider : public QQuickImageProvider
{
public:
    static constexpr const char *providerId = "oksymbol";

    OKSymbolProvider();

    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

    // The SVG of a symbol with its colour filled in; empty when there is no such symbol.
    static QByteArray tintedSvg(const QString &name, const QColor &colour);
};
