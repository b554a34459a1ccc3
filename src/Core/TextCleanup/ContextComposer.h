#pragma once

#include "Core/Services/ContextComposing.h"

// The context text a cloud rewrite gets about where the user is writing: the application, the
// window title, the user's recent dictations into the same window and the text around the caret.
// Pure; any thread.
class ContextComposer : public ContextComposing
{
public:
    // Characters kept on each side of the caret, in scalars.
    static constexpr qsizetype beforeCaret = 600;
    static constexpr qsizetype afterCaret = 200;
    // The longest composed text, both in characters and in UTF-16 code units.
    static constexpr qsizetype maxLength = 2800;

    std::optional<QString> compose(const std::optional<FocusContext> &focus,
                                   const QStringList &recentDictations) const override;

    // The composed text; absent for a secure field or when there is nothing to say. The
    // application and window lines are never sent alone.
    static std::optional<QString> composed(const std::optional<FocusContext> &focus,
                                           const QStringList &recentDictations);
    // The field's text around the caret, trimmed; absent when there is none. Does not look at the
    // secure flag: the callers do.
    static std::optional<QString> caretWindow(const std::optional<FocusContext> &focus);
};
