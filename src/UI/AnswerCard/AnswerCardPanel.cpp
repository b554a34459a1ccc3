#include "UI/AnswerCard/AnswerCardPanel.h"

#include <QKeyEvent>

AnswerCardPanel::AnswerCardPanel()
{
    setResizeMode(QQuickView::SizeRootObjectToView);
    setTitle(QStringLiteral("Sonorvelle"));
}

void AnswerCardPanel::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        if (onEscape) {
            onEscape();
        }
        event->accept();
        return;
    }
    QQuickView::keyPressEvent(event);
}
