#include "UI/AnswerCard/AnswerCardLayout.h"

#include "Base/Unicode.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace AnswerCardLayout {

QString shownAnswer(const QString &answer)
{
    // A character is at least one code unit: a shorter text is whole.
    if (answer.size() <= maxShownCharacters) {
        return answer;
    }
    const QString prefix = Unicode::graphemePrefix(answer, maxShownCharacters);
    if (prefix.size() == answer.size()) {
        return answer;
    }
    QString shown = prefix;
    while (!shown.isEmpty() && shown.back().isSpace()) {
        shown.chop(1);
    }
    return shown + cutMark;
}

int cardWidth(QRect available)
{
    return std::min(available.width() - 2 * sideMargin, maxWidth);
}

void styleAnswerDocument(QTextDocument &document)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(answerPixelSize);
    document.setDefaultFont(font);
    document.setDocumentMargin(0);
    // A word longer than the line (a link, a long number) breaks anywhere instead of overflowing.
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document.setDefaultTextOption(option);
    QTextBlockFormat spacing;
    spacing.setLineHeight(lineSpacing, QTextBlockFormat::LineDistanceHeight);
    QTextCursor cursor(&document);
    cursor.select(QTextCursor::Document);
    cursor.mergeBlockFormat(spacing);
    // Each paragraph runs in the direction of its own script, so a Hebrew line starts at the
    // right even in an English answer (the text view would lay every line out left to right).
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.text().isRightToLeft()) {
            QTextCursor paragraph(block);
            QTextBlockFormat direction;
            direction.setLayoutDirection(Qt::RightToLeft);
            paragraph.mergeBlockFormat(direction);
        }
    }
}

qreal measureAnswer(const QString &answer, int textWidth)
{
    QTextDocument document;
    document.setPlainText(answer);
    styleAnswerDocument(document);
    document.setTextWidth(std::max(textWidth, 1));
    return document.documentLayout()->documentSize().height();
}

TextArea textArea(qreal textHeight, int availableHeight)
{
    const int cap = std::min(int(std::round(availableHeight * 0.5)), maxTextHeight);
    const int needed = int(std::ceil(textHeight)) + 4;
    const bool scrolls = cap < needed;
    return {scrolls ? cap : needed, scrolls};
}

TextArea textAreaFor(const QString &answer, QRect available)
{
    const int width = cardWidth(available);
    return textArea(measureAnswer(answer, width - 2 * textInset), available.height());
}

int topGap(int availableHeight)
{
    return std::max(int(std::round(availableHeight * 0.12)), minTopGap);
}

QRect finalFrame(QRect available, int width, int height)
{
    const qreal centre = available.x() + available.width() / 2.0;
    const int x = int(std::round(centre - width / 2.0));
    return {x, available.y() + topGap(available.height()), width, height};
}

} // namespace AnswerCardLayout
