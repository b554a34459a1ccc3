#pragma once

#include <QString>

#include <optional>

// Finds out whether, and how, the user edited a text that was inserted into another application:
// locates the inserted text in what the focused field holds now, even when it was changed, and
// returns the changed stretch as the program wrote it and as the user left it.
//
// Works on user-perceived characters; two characters are equal when they are canonically
// equivalent, and line breaks (CR LF, CR, U+2028, U+2029) and no-break spaces count as line feeds
// and blanks. Pure functions, safe on any thread.
class CorrectionMatcher
{
public:
    struct Match
    {
        enum class Kind {
            edited, // found with changes: `original` and `corrected` hold the windows around them
            unchanged, // still in the field as it was inserted
            notFound, // not located, located twice, or the change is not worth reporting
        };

        Kind kind = Kind::notFound;
        QString original;
        QString corrected;

        static Match edited(const QString &original, const QString &corrected)
        {
            return {Kind::edited, original, corrected};
        }
        static Match unchanged() { return {Kind::unchanged, QString(), QString()}; }
        static Match notFound() { return {Kind::notFound, QString(), QString()}; }

        friend bool operator==(const Match &, const Match &) = default;
    };

    // Shortest inserted text considered, in characters.
    static constexpr qsizetype minimumLength = 4;
    // Characters kept on each side of a change.
    static constexpr qsizetype contextLength = 20;
    static constexpr qsizetype maxOriginalWindow = 300;
    static constexpr qsizetype maxCorrectedWindow = 400;

    // Looks in the text before the caret first (`fieldTextTail`), then in the whole field.
    static Match match(const QString &inserted, const std::optional<QString> &fieldText,
                       const std::optional<QString> &fieldTextTail);
};
