#include "Platform/X11/TerminalWindowClass.h"

#include <gtest/gtest.h>

TEST(TerminalWindowClass, KnowsTerminalsByInstanceOrClassIgnoringCase)
{
    struct Case
    {
        const char *instance;
        const char *className;
        bool terminal;
    };
    const Case cases[] = {
        {"gnome-terminal-server", "Gnome-terminal", true},
        {"konsole", "konsole", true},
        {"xfce4-terminal", "Xfce4-terminal", true},
        {"Alacritty", "Alacritty", true},
        {"kitty", "kitty", true},
        {"st-256color", "st-256color", true},
        {"org.wezfurlong.wezterm", "org.wezfurlong.wezterm", true},
        {"tilix", "Tilix", true},
        {"firefox", "firefox", false},
        {"gedit", "Gedit", false},
        {"", "", false},
        // xterm pastes the clipboard with no Control+Shift+V binding.
        {"xterm", "XTerm", false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(TerminalWindowClass::isTerminal(QString::fromLatin1(c.instance),
                                                  QString::fromLatin1(c.className)),
                  c.terminal)
            << c.instance << " / " << c.className;
    }
}
