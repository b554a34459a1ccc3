#include "Core/TextCleanup/ContextComposer.h"

#include "Base/Unicode.h"

#include <algorithm>

std::optional<QString> ContextComposer::compose(const std::optional<FocusContext> &focus,
                                                const QStringList &recentDictations) const
{
    return composed(focus, recentDictations);
}

std::optional<QString> ContextComposer::caretWindow(const std::optional<FocusContext> &focus)
{
    if (!focus || !focus->fieldText || focus->fieldText->isEmpty()) {
        return std::nullopt;
    }
    const std::u32string scalars = Unicode::scalars(*focus->fieldText);
    const auto n = qsizetype(scalars.size());
    const qsizetype caret = std::clamp<qsizetype>(focus->caretLocation.value_or(n), 0, n);
    const qsizetype start = caret >= beforeCaret ? caret - beforeCaret : 0;
    const qsizetype end = std::min(caret + afterCaret, n);
    if (start >= end) {
        return std::nullopt;
    }
    const QString window = Unicode::trimmedWhitespaceAndNewlines(Unicode::fromScalars(
        std::u32string_view(scalars).substr(size_t(start), size_t(end - start))));
    if (window.isEmpty()) {
        return std::nullopt;
    }
    return window;
}

std::optional<QString> ContextComposer::composed(const std::optional<FocusContext> &focus,
                                                 const QStringList &recentDictations)
{
    if (!focus || focus->isSecureField) {
        return std::nullopt;
    }
    const std::optional<QString> window = caretWindow(focus);
    if (!window && recentDictations.isEmpty()) {
        return std::nullopt;
    }
    QStringList lines;
    if (focus->appName && !focus->appName->isEmpty()) {
        lines << QStringLiteral("APP: ") + *focus->appName;
    }
    if (focus->windowTitle && !focus->windowTitle->isEmpty()) {
        lines << QStringLiteral("WINDOW_TITLE: ") + *focus->windowTitle;
    }
    if (!recentDictations.isEmpty()) {
        lines << QStringLiteral("RECENT_DICTATIONS (what the user previously dictated into this "
                                "same window, oldest first):");
        for (const QString &dictation : recentDictations) {
            lines << QStringLiteral("- ")
                    + QString(dictation).replace(QLatin1Char('\n'), QLatin1Char(' '));
        }
    }
    if (window) {
        lines << QStringLiteral("TEXT_NEAR_CURSOR:") << *window;
    }
    QString text = lines.join(QLatin1Char('\n'));
    // Characters first, then code units, so an emoji is never cut in half.
    text = Unicode::graphemePrefix(text, maxLength);
    if (text.size() > maxLength) {
        QList<qsizetype> bounds = Unicode::graphemeBoundaries(text);
        while (bounds.size() > 1 && bounds.constLast() > maxLength) {
            bounds.removeLast();
        }
        text.truncate(bounds.constLast());
    }
    return text;
}
