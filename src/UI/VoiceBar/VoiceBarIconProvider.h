#pragma once

#include <QQuickImageProvider>

// The voice bar's symbols, drawn from our own SVG files in one colour: "image://voicebaricon/"
// followed by the file name, a slash and the colour's hexadecimal digits without the "#"
// ("InfoCircle.svg/b3ffffff"). The files are black shapes; the colour replaces the black and keeps
// the edges' alpha.
class VoiceBarIconProvider : public QQuickImageProvider
{
public:
    static constexpr char id[] = "voicebaricon";

    VoiceBarIconProvider();

    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;
};
