#include "UI/VoiceBar/VoiceBarIconProvider.h"

#include <QColor>
#include <QPainter>
#include <QSvgRenderer>

VoiceBarIconProvider::VoiceBarIconProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{ }

QImage VoiceBarIconProvider::requestImage(const QString &id, QSize *size,
                                          const QSize &requestedSize)
{
    const qsizetype slash = id.lastIndexOf(u'/');
    const QString file = slash < 0 ? id : id.left(slash);
    const QColor color(slash < 0 ? QStringLiteral("black") : u'#' + id.mid(slash + 1));
    QSvgRenderer renderer(QStringLiteral(":/qt-project.org/imports/Sonorvelle/VoiceBar/") + file);
    const QSize target = requestedSize.isValid() && !requestedSize.isEmpty()
        ? requestedSize
        : renderer.defaultSize().expandedTo(QSize(1, 1));
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (renderer.isValid()) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color.isValid() ? color : QColor(Qt::black));
    }
    if (size) {
        *size = target;
    }
    return image;
}
