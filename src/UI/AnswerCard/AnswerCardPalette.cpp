#include "UI/AnswerCard/AnswerCardPalette.h"

#include "UI/Theme.h"

AnswerCardPalette &AnswerCardPalette::shared()
{
    static AnswerCardPalette palette;
    return palette;
}

QColor AnswerCardPalette::accent()
{
    return Theme::accent();
}
