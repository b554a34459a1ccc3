#include "UI/AnswerCard/AnswerCardPalette.h"

#include "UI/Theme.h"

#include <QJSEngine>

AnswerCardPalette &AnswerCardPalette::shared()
{
    static AnswerCardPalette palette;
    return palette;
}

AnswerCardPalette *AnswerCardPalette::create(QQmlEngine *, QJSEngine *)
{
    QJSEngine::setObjectOwnership(&shared(), QJSEngine::CppOwnership);
    return &shared();
}

QColor AnswerCardPalette::accent()
{
    return Theme::accent();
}
