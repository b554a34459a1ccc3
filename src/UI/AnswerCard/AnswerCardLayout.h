#pragma once

#include <QRect>
#include <QString>

#include <chrono>

class QTextDocument;

// The answer card's measures: its width on a screen, the height of the answer's text area, and
// its place near the top of the screen. Pure functions of the screen's available area (y-down,
// as the desktop reports it) and of the answer; the controller applies them.
namespace AnswerCardLayout {

// Without any screen the card places itself as on a screen of this size.
inline constexpr QRect defaultArea {0, 0, 1280, 800};
inline constexpr int maxWidth = 460;
// Kept free on either side of the card on a narrow screen.
inline constexpr int sideMargin = 24;
// The answer's text: its size, the space added below every line and its side padding.
inline constexpr int answerPixelSize = 15;
inline constexpr int lineSpacing = 5;
inline constexpr int textInset = 20;
inline constexpr int maxTextHeight = 520;
inline constexpr int minTopGap = 76;
// The card slides up by this much while it fades in.
inline constexpr int slideDistance = 8;
inline constexpr int cornerRadius = 18;
inline constexpr std::chrono::milliseconds fadeInDuration {220};
inline constexpr std::chrono::milliseconds fadeOutDuration {90};
// The card lays out at most this many characters of an answer (some 200 lines of the card):
// measuring and drawing grow with the text, and an answer may be a megabyte. Copy still takes the
// whole answer.
inline constexpr qsizetype maxShownCharacters = 10000;
// Ends an answer cut to maxShownCharacters.
inline constexpr QChar cutMark {0x2026};

struct TextArea
{
    // Height of the text itself (the area adds its padding around it).
    int scrollHeight = 0;
    bool scrolls = false;

    bool operator==(const TextArea &) const = default;
};

// The text the card lays out for `answer`: the whole answer, or its first maxShownCharacters
// characters followed by cutMark.
QString shownAnswer(const QString &answer);
// min(available width − 48, 460).
int cardWidth(QRect available);
// The answer's height when laid out at this width, in the card's font and line spacing.
qreal measureAnswer(const QString &answer, int textWidth);
// Makes `document` lay the answer out as the card shows it (font, line spacing, no margin).
void styleAnswerDocument(QTextDocument &document);
// The text area for an answer measured `textHeight` high on a screen `availableHeight` high.
TextArea textArea(qreal textHeight, int availableHeight);
// Measures `answer` at the card's text width and sizes its area.
TextArea textAreaFor(const QString &answer, QRect available);
// The gap between the top of the available area and the card's top edge.
int topGap(int availableHeight);
// The card's resting frame for a card `height` high.
QRect finalFrame(QRect available, int width, int height);

} // namespace AnswerCardLayout
