#pragma once

#include <QEventLoop>
#include <QQuickWindow>
#include <QTimer>

// Runs the event loop until the window has shown its next frame; false when none came within two
// seconds.
inline bool nextFrame(QQuickWindow *window)
{
    QEventLoop loop;
    QObject::connect(window, &QQuickWindow::frameSwapped, &loop, &QEventLoop::quit);
    QTimer::singleShot(2000, &loop, [&loop] { loop.exit(1); });
    return loop.exec() == 0;
}
