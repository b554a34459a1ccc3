#pragma once

#include "Base/CancellationToken.h"

#include <QtGlobal>

#include <memory>

class DictationTrace;

// What the tasks of one dictation session share, handed to them explicitly: the session number
// (compared with the controller's counter after every await), the session's timeline, and the
// token that cancels the session's work.
struct SessionContext
{
    quint64 session = 0;
    std::shared_ptr<DictationTrace> trace;
    CancellationToken cancellation;
};
