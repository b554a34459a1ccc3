#include "Base/BoundedFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Part { whole, head, tail };

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

BoundedFile::Result unreadable(QString error)
{
    BoundedFile::Result result;
    result.status = BoundedFile::Status::unreadable;
    result.error = std::move(error);
    return result;
}

// Reads up to `count` bytes; fewer only at the end of the file.
bool readUpTo(int fd, qint64 count, QByteArray &bytes, int &error)
{
    bytes.resize(count);
    qint64 done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, bytes.data() + done, size_t(count - done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    bytes.resize(done);
    return true;
}

BoundedFile::Result readBounded(const QString &path, qint64 limit, Part part)
{
    const QByteArray name = QFile::encodeName(path);
    // Looked at before opening: opening a pipe waits for a writer, and opening a device may
    // itself do something.
    struct stat found
    {
    };
    if (::stat(name.constData(), &found) != 0) {
        const int error = errno;
        struct stat link
        {
        };
        if (error == ENOENT && ::lstat(name.constData(), &link) != 0) {
            return {};
        }
        return unreadable(systemError(error));
    }
    if (!S_ISREG(found.st_mode)) {
        return unreadable(QStringLiteral("not a regular file"));
    }
    if (part == Part::whole && found.st_size > limit) {
        return unreadable(QStringLiteral("larger than %1 bytes").arg(limit));
    }

    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return unreadable(systemError(errno));
    }
    BoundedFile::Result result;
    int error = 0;
    struct stat opened
    {
    };
    if (::fstat(fd, &opened) != 0) {
        error = errno;
    } else if (opened.st_dev != found.st_dev || opened.st_ino != found.st_ino) {
        ::close(fd);
        return unreadable(QStringLiteral("replaced while being opened"));
    }
    result.fileSize = opened.st_size;
    if (error == 0 && part == Part::tail && opened.st_size > limit
        && ::lseek(fd, opened.st_size - limit, SEEK_SET) < 0) {
        error = errno;
    }
    // One byte past the bound tells a file that grew since, or whose size is not told (as
    // under /proc), from one that fits.
    if (error == 0 && readUpTo(fd, limit + 1, result.bytes, error) && result.bytes.size() > limit) {
        switch (part) {
        case Part::whole:
            ::close(fd);
            return unreadable(QStringLiteral("larger than %1 bytes").arg(limit));
        case Part::head:
            result.bytes.truncate(limit);
            break;
        case Part::tail:
            result.bytes.remove(0, result.bytes.size() - limit);
            break;
        }
    }
    ::close(fd);
    if (error != 0) {
        return unreadable(systemError(error));
    }
    result.status = BoundedFile::Status::read;
    result.fileSize = std::max(result.fileSize, qint64(result.bytes.size()));
    return result;
}

} // namespace

BoundedFile::Result BoundedFile::read(const QString &path, qint64 limit)
{
    return readBounded(path, limit, Part::whole);
}

BoundedFile::Result BoundedFile::readHead(const QString &path, qint64 limit)
{
    return readBounded(path, limit, Part::head);
}

BoundedFile::Result BoundedFile::readTail(const QString &path, qint64 limit)
{
    return readBounded(path, limit, Part::tail);
}
