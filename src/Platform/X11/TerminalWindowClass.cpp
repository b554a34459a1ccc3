#include "Platform/X11/TerminalWindowClass.h"

#include <QStringList>

namespace TerminalWindowClass {

namespace {

// Terminals whose default paste shortcut is Control+Shift+V. xterm and rxvt are not among them:
// they paste the primary selection with Shift+Insert and have no clipboard shortcut by default.
const QStringList &knownTerminals()
{
    static const QStringList names {
        QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"),
        QStringLiteral("org.gnome.console"),
        QStringLiteral("kgx"),
        QStringLiteral("org.gnome.ptyxis"),
        QStringLiteral("ptyxis"),
        QStringLiteral("konsole"),
        QStringLiteral("org.kde.konsole"),
        QStringLiteral("yakuake"),
        QStringLiteral("xfce4-terminal"),
        QStringLiteral("mate-terminal"),
        QStringLiteral("lxterminal"),
        QStringLiteral("qterminal"),
        QStringLiteral("terminator"),
        QStringLiteral("tilix"),
        QStringLiteral("com.gexperts.tilix"),
        QStringLiteral("guake"),
        QStringLiteral("tilda"),
        QStringLiteral("sakura"),
        QStringLiteral("terminology"),
        QStringLiteral("alacritty"),
        QStringLiteral("kitty"),
        QStringLiteral("org.wezfurlong.wezterm"),
        QStringLiteral("wezterm"),
        QStringLiteral("st"),
        QStringLiteral("st-256color"),
        QStringLiteral("io.elementary.terminal"),
        QStringLiteral("deepin-terminal"),
        QStringLiteral("cool-retro-term"),
        QStringLiteral("contour"),
        QStringLiteral("foot"),
        QStringLiteral("blackbox"),
        QStringLiteral("com.raggesilver.blackbox"),
        QStringLiteral("hyper"),
        QStringLiteral("tabby"),
    };
    return names;
}

} // namespace

bool isTerminal(const QString &instanceName, const QString &className)
{
    const QStringList &names = knownTerminals();
    return names.contains(className, Qt::CaseInsensitive)
        || names.contains(instanceName, Qt::CaseInsensitive);
}

} // namespace TerminalWindowClass
