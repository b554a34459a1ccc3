#include "UI/StatusItem/TrayIconRenderer.h"

#include "UI/StatusItem/StatusButton.h"

TrayIconRenderer::TrayIconRenderer(QList<int> pixelSizes)
    : m_pixelSizes(std::move(pixelSizes))
{ }

bool TrayIconRenderer::render(const StatusButton &button, const QColor &ink)
{
    QList<QImage> pictures;
    pictures.reserve(m_pixelSizes.size());
    for (int pixels : std::as_const(m_pixelSizes)) {
        QImage picture = button.render(pixels, ink);
        picture.setDevicePixelRatio(1.0);
        pictures << picture;
    }
    if (!m_pictures.isEmpty() && pictures == m_pictures) {
        return false;
    }
    m_pictures = std::move(pictures);
    return true;
}
