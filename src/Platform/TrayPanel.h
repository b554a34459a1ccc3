#pragma once

#include <QColor>

#include <optional>

// The panel the tray icon sits in, as far as the desktop tells. A tray icon is drawn by the
// application, not recoloured by the host, and the panel's colour need not follow the desktop's
// colour scheme (a light panel under a dark theme is common): the ink comes from the panel.
// Main thread only.
class TrayPanel
{
public:
    virtual ~TrayPanel() = default;

    // The colour to draw the icon's glyph in: the tray host's own foreground colour where it
    // announces one, else black or white against the panel's background where that can be read;
    // absent when the desktop tells neither (no tray host seen yet, or one that draws its icons
    // out of reach).
    virtual std::optional<QColor> iconInk() = 0;

    // Black on a light background, white on a dark one.
    static QColor inkOn(const QColor &background);

    // The desktop's panel.
    static TrayPanel &system();
};
