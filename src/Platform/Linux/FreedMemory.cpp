#include "Platform/Linux/FreedMemory.h"

#include <QCoreApplication>
#include <QObject>

#include <malloc.h>

namespace FreedMemory {

void giveBack()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void giveBackOnceGone(QObject *object)
{
    // The signal comes while the object is still being taken apart.
    QObject::connect(object, &QObject::destroyed, QCoreApplication::instance(), [] {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &giveBack, Qt::QueuedConnection);
    });
}

} // namespace FreedMemory
