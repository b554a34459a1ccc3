#pragma once

#include "Core/TextCleanup/CleanupContext.h"

#include <QString>

#include <QCoro/QCoroTask>

// One cleanup stage: turns a raw transcript into the text that is inserted.
//
// Stages are immutable once built and may be awaited from any task. `cleanup` never fails and
// never throws: a stage that cannot do its work yields a safe text of its own (the rule-based
// result or the input itself). The dictation pipeline awaits it on the main thread, so a stage
// does its long computations off that thread (Async::runInBackground) and only waits there. Both
// arguments are taken by value, so they live as long as the coroutine does.
class TextCleanupService
{
public:
    virtual ~TextCleanupService() = default;

    // Names the stage in logs and in the session timeline.
    virtual QString name() const = 0;
    // The cleaned text.
    virtual QCoro::Task<QString> cleanup(QString text, CleanupContext context) const = 0;
};
