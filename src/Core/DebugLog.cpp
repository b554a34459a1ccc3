#include "Core/DebugLog.h"

#include "Base/BoundedFile.h"
#include "Base/Json.h"
#include "Base/Paths.h"
#include "Base/SerialQueue.h"
#include "Base/Unicode.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <atomic>
#include <mutex>

namespace {

// Made once, on first use. The queue is declared after the lock so that at exit it drains while
// the lock still exists.
struct LogState
{
    std::mutex lock;
    SerialQueue writeQueue {QStringLiteral("org.sonorvelle.Sonorvelle.debuglog")};
};

LogState &state()
{
    static LogState instance;
    return instance;
}

std::atomic<qint64> rotationThresholdOverride {0};

qint64 currentRotationThreshold()
{
    const qint64 value = rotationThresholdOverride.load();
    return value > 0 ? value : DebugLog::rotationThreshold;
}

const QString currentFileName = QStringLiteral("tester.log");
const QString previousFileName = QStringLiteral("tester.log.1");

// Files are rotated at half a megabyte; a larger one (or a device in a file's place) is read no
// further than this from its newest end.
constexpr qint64 maxReadBytes = 4 * 1024 * 1024;

// The file's text, at most maxReadBytes of its end; empty when it is missing, unreadable or not
// valid UTF-8.
QString readUtf8(const QString &path)
{
    const BoundedFile::Result file = BoundedFile::readTail(path, maxReadBytes);
    if (!file.isRead()) {
        return {};
    }
    QByteArrayView bytes = file.bytes;
    // Read from within: the rest of a character begun before the cut is not text of its own.
    while (file.fileSize > file.bytes.size() && !bytes.isEmpty()
           && (uchar(bytes.front()) & 0xC0) == 0x80) {
        bytes = bytes.sliced(1);
    }
    // Stateless: a sequence cut at the end of the file is an error, not state kept for more input.
    // A leading byte-order mark stays as text: it is the file's content, not an encoding hint.
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless
                               | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return {};
    }
    return text;
}

} // namespace

QString DebugLog::folder()
{
    return Paths::bundleSupportFolder();
}

void DebugLog::log(const QString &message)
{
    const QString stamp = Json::iso8601WithMilliseconds(QDateTime::currentDateTimeUtc());
    QString line;
    line.reserve(stamp.size() + 1 + message.size() + 1);
    line += stamp;
    line += QLatin1Char(' ');
    line += message;
    line += QLatin1Char('\n');
    state().writeQueue.async([line = std::move(line)] { append(line); });
}

void DebugLog::flush()
{
    state().writeQueue.sync([] {});
}

QString DebugLog::tail()
{
    flush();
    LogState &s = state();
    std::lock_guard guard(s.lock);
    const QString dir = folder();
    const QString joined = readUtf8(dir + QLatin1Char('/') + previousFileName)
        + readUtf8(dir + QLatin1Char('/') + currentFileName);
    return Unicode::graphemeSuffix(joined, tailLength);
}

void DebugLog::setRotationThresholdForTesting(qint64 bytes)
{
    rotationThresholdOverride.store(bytes);
}

void DebugLog::append(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    std::lock_guard guard(state().lock);
    const QString dir = folder();
    const QString currentPath = dir + QLatin1Char('/') + currentFileName;
    const QString previousPath = dir + QLatin1Char('/') + previousFileName;

    const QFileInfo info(currentPath);
    if ((info.exists() || info.isSymLink()) && !info.isFile()) {
        // Not a log (a folder, a device, a pipe that would hold this queue for ever): kept aside
        // as found, and a new log starts.
        Paths::setAsideUnreadable(currentPath, QDateTime::currentDateTimeUtc());
    } else if (info.exists() && info.size() > currentRotationThreshold()) {
        QFile::remove(previousPath);
        QFile::rename(currentPath, previousPath);
    }

    // Opened, written and closed for every line: no handle stays open between lines. Opening for
    // append creates the file on first use and after a rotation.
    QFile file(currentPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        file.write(bytes);
        file.close();
    }
}
