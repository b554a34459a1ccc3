#pragma once

#include "Platform/ModalAlert.h"

#include <QList>

#include <QCoro/QCoroSignal>

#include <optional>

// Records every alert it is asked to show. It answers `answer` at once, or, with `holdOpen`, only
// when answerWith() is called (an alert the user has not answered yet).
class FakeModalAlert final
    : public QObject
    , public ModalAlert
{
    Q_OBJECT

public:
    QCoro::Task<int> run(Content content) override
    {
        shown.append(content);
        if (holdOpen) {
            const int chosen = co_await qCoro(this, &FakeModalAlert::answered);
            co_return chosen;
        }
        co_return answer;
    }

    void answerWith(int chosen) { Q_EMIT answered(chosen); }

    QList<Content> shown;
    int answer = 1;
    bool holdOpen = false;

Q_SIGNALS:
    void answered(int chosen);
};
