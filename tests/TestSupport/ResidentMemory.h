#pragma once

#include <QFile>
#include <QtGlobal>

#include <cstddef>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime has it with either compiler, but GCC installs no header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

// The process's resident memory in bytes, from /proc/self/statm. Under AddressSanitizer the
// resident size mostly shows its quarantine of freed blocks, so there it is the bytes the program
// holds allocated instead.
inline qint64 residentMemoryBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
#endif
}
