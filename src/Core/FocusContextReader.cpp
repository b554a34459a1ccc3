#include "Core/FocusContextReader.h"

#include "Base/Unicode.h"
#include "Platform/Accessibility.h"
#include "Platform/Atspi/AtspiAccessibility.h"
#include "Platform/FrontmostApplicationSource.h"
#include "Platform/X11/X11FrontmostApplicationSource.h"

namespace FocusContextReader {

const QStringList &onDemandAccessibilityPrefixes()
{
    // Each family under the identifiers it goes by on Linux (desktop entry ids, Flatpak ids,
    // window classes) and on macOS.
    static const QStringList prefixes = {
        // Google Chrome
        QStringLiteral("com.google.Chrome"),
        QStringLiteral("google-chrome"),
        // Chromium
        QStringLiteral("org.chromium"),
        QStringLiteral("chromium"),
        // Brave
        QStringLiteral("com.brave.Browser"),
        QStringLiteral("brave-browser"),
        // Microsoft Edge
        QStringLiteral("com.microsoft.edgemac"),
        QStringLiteral("com.microsoft.Edge"),
        QStringLiteral("microsoft-edge"),
        // Vivaldi
        QStringLiteral("com.vivaldi.Vivaldi"),
        QStringLiteral("vivaldi"),
        // Opera
        QStringLiteral("com.operasoftware"),
        QStringLiteral("com.opera.Opera"),
        QStringLiteral("opera"),
        // Visual Studio Code and its open builds
        QStringLiteral("com.microsoft.VSCode"),
        QStringLiteral("com.visualstudio.code"),
        QStringLiteral("code"),
        QStringLiteral("com.vscodium.codium"),
        QStringLiteral("codium"),
        // Slack
        QStringLiteral("com.tinyspeck.slackmacgap"),
        QStringLiteral("com.slack.Slack"),
        QStringLiteral("slack"),
        // Discord
        QStringLiteral("com.hnc.Discord"),
        QStringLiteral("com.discordapp"),
        QStringLiteral("discord"),
        // Notion
        QStringLiteral("notion.id"),
        QStringLiteral("notion"),
        // Figma
        QStringLiteral("com.figma.Desktop"),
        QStringLiteral("io.github.Figma_Linux"),
        QStringLiteral("figma-linux"),
        // Spotify
        QStringLiteral("com.spotify.client"),
        QStringLiteral("spotify"),
        // Obsidian
        QStringLiteral("md.obsidian"),
        QStringLiteral("obsidian"),
        // Electron itself
        QStringLiteral("com.electron"),
        QStringLiteral("com.github.Electron"),
        QStringLiteral("electron"),
    };
    return prefixes;
}

bool buildsAccessibilityTreeOnDemand(const QString &bundleIdentifier)
{
    for (const QString &prefix : onDemandAccessibilityPrefixes()) {
        if (bundleIdentifier.startsWith(prefix, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

FocusContext read(qint64 maxLength)
{
    X11FrontmostApplicationSource applications;
    // One per read: an application that times out is skipped for the rest of this read only, and
    // the whole read keeps to its budget.
    AtspiAccessibility accessibility(readBudget);
    return read(maxLength, applications, accessibility);
}

FocusContext read(qint64 maxLength, FrontmostApplicationSource &applications,
                  Accessibility &accessibility)
{
    FocusContext context;
    const std::optional<FrontmostApplication> application = applications.frontmostApplication();
    if (application) {
        context.appName = application->localizedName;
        context.bundleID = application->bundleIdentifier;
    }
    if (!accessibility.isTrusted()) {
        return context;
    }

    if (application) {
        if (application->bundleIdentifier
            && buildsAccessibilityTreeOnDemand(*application->bundleIdentifier)) {
            accessibility.requestAccessibilityTree(*application);
        }
        std::optional<QString> title = accessibility.focusedWindowTitle(*application);
        // A toolkit without accessibility still has the title the window manager shows.
        if (!title || title->isEmpty()) {
            title = application->windowTitle;
        }
        if (title && !title->isEmpty()) {
            context.windowTitle = Unicode::graphemePrefix(*title, windowTitleLength);
        }
    }

    const std::unique_ptr<AccessibilityElement> element = accessibility.focusedElement(application);
    if (!element) {
        // A search cut short may have missed a password field.
        if (accessibility.timedOut()) {
            context.isSecureField = true;
        }
        return context;
    }
    // A field that does not say what it is may be a password field.
    if (element->isSecureTextField() != false) {
        context.isSecureField = true;
        return context;
    }
    if (const std::optional<QString> value = element->value(); value && !value->isEmpty()) {
        const QString head = Unicode::graphemePrefix(*value, maxLength);
        if (!head.isEmpty()) {
            context.fieldText = head;
        }
        if (maxLength > 0 && Unicode::graphemeCount(*value) > maxLength) {
            context.fieldTextTail = Unicode::graphemeSuffix(*value, maxLength);
        }
    }
    if (const std::optional<QString> selected = element->selectedText();
        selected && !selected->isEmpty()) {
        context.selectedText = *selected;
    }
    if (const std::optional<AccessibilityElement::Range> range = element->selectedTextRange()) {
        context.caretLocation = range->location;
    }
    return context;
}

} // namespace FocusContextReader
