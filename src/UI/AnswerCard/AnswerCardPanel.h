#pragma once

#include <QQuickView>

#include <functional>

// The window of the answer card and the error card. It never takes the keyboard focus (the
// overlay layer prepares it); should the desktop hand it the keyboard all the same, Escape
// closes it through `onEscape` and nothing else.
class AnswerCardPanel : public QQuickView
{
    Q_OBJECT

public:
    AnswerCardPanel();

    std::function<void()> onEscape;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
