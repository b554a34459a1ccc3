#include "Platform/X11/X11TrayPanel.h"

#include <gtest/gtest.h>

namespace {

// The ink against a panel: by how light the panel looks, not by its largest component.
TEST(TrayPanel, TheInkStandsOutFromThePanel)
{
    const struct
    {
        const char *name;
        QColor panel;
        QColor ink;
    } cases[] = {
        {"white panel", QColor(255, 255, 255), Qt::black},
        {"light grey panel", QColor(237, 236, 235), Qt::black},
        {"yellow panel", QColor(250, 220, 60), Qt::black},
        {"black panel", QColor(0, 0, 0), Qt::white},
        {"dark grey panel", QColor(48, 48, 48), Qt::white},
        {"saturated blue panel", QColor(30, 60, 255), Qt::white},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(TrayPanel::inkOn(c.panel), c.ink) << c.name;
    }
}

// The host's announced colours: twelve 16-bit components (foreground, error, warning, success).
TEST(X11TrayPanel, TheAnnouncedForegroundIsTheFirstOfTheTrayColours)
{
    QList<uint32_t> colors(12, 0);
    colors[0] = 0xffff;
    colors[1] = 0x8080;
    colors[2] = 0x0000;
    colors[3] = 0xffff; // the error colour, not the ink
    EXPECT_EQ(X11TrayPanel::announcedForeground(colors),
              std::optional<QColor>(QColor(255, 128, 0)));
    colors.removeLast();
    EXPECT_EQ(X11TrayPanel::announcedForeground(colors), std::nullopt) << "a cut-off value";
}

} // namespace
