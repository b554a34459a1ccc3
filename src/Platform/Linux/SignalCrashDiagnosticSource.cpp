#include "Platform/Linux/SignalCrashDiagnosticSource.h"

#include "Base/AppInfo.h"
#include "Base/BoundedFile.h"
#include "Base/Json.h"
#include "Base/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr char kMagic[] = "sonorvelle-crash-report 1";
// Long enough for any folder a user has; a longer one goes without crash reports.
constexpr size_t kPathCapacity = 4096;
constexpr size_t kHeaderCapacity = 2048;
// A symbol line longer than this is cut when read.
constexpr qsizetype kMaxSymbolLength = 1024;

// Everything the handler touches, made ready before any crash: it may not allocate, lock or call
// anything that is not async-signal-safe.
struct HandlerState
{
    int fd = -1;
    char header[kHeaderCapacity] {};
    size_t headerLength = 0;
    char partialPath[kPathCapacity] {};
    char pendingPath[kPathCapacity] {};
    std::atomic<bool> handling {false};
};

HandlerState g_state;
std::atomic<bool> g_installed {false};
// The handler's own stack, for a crash that is a stack overflow. 64 KiB: backtrace() and a few
// writes need far less.
alignas(16) char g_alternateStack[64 * 1024];

void writeAll(int fd, const char *data, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        data += written;
        length -= size_t(written);
    }
}

void writeText(int fd, const char *text)
{
    writeAll(fd, text, std::strlen(text));
}

void writeDecimal(int fd, int value)
{
    char digits[16];
    size_t at = sizeof digits;
    unsigned magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
    do {
        digits[--at] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0 && at > 1);
    if (value < 0) {
        digits[--at] = '-';
    }
    writeAll(fd, digits + at, sizeof digits - at);
}

void writeHex(int fd, std::uintptr_t value)
{
    char digits[2 + 2 * sizeof value];
    digits[0] = '0';
    digits[1] = 'x';
    for (size_t i = 0; i < 2 * sizeof value; ++i) {
        const unsigned nibble = (value >> (4 * (2 * sizeof value - 1 - i))) & 0xF;
        digits[2 + i] = char(nibble < 10 ? '0' + nibble : 'a' + nibble - 10);
    }
    writeAll(fd, digits, sizeof digits);
}

void onFatalSignal(int signal, siginfo_t *, void *)
{
    bool first = false;
    if (!g_state.handling.compare_exchange_strong(first, true)) {
        // Another thread is writing its report; the process ends when it is done.
        for (;;) {
            pause();
        }
    }
    const int fd = g_state.fd;
    if (fd >= 0) {
        writeAll(fd, g_state.header, g_state.headerLength);
        writeText(fd, "signal ");
        writeDecimal(fd, signal);
        writeText(fd, "\n");
        void *frames[SignalCrashDiagnosticSource::maxFrames];
        const int count = backtrace(frames, SignalCrashDiagnosticSource::maxFrames);
        for (int i = 0; i < count; ++i) {
            writeText(fd, "frame ");
            writeHex(fd, reinterpret_cast<std::uintptr_t>(frames[i]));
            writeText(fd, "\n");
        }
        writeText(fd, "symbols\n");
        backtrace_symbols_fd(frames, count, fd);
        writeText(fd, "end\n");
        fsync(fd);
        // Only a whole report becomes pending.
        rename(g_state.partialPath, g_state.pendingPath);
    }
    // End the way the process would have ended without us: the signal is blocked while this
    // handler runs, so it arrives again, with the default action, as soon as it returns (a fault
    // would also recur at its instruction).
    struct sigaction fallback
    {
    };
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

bool copyPath(char (&target)[kPathCapacity], const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (size_t(encoded.size()) >= kPathCapacity) {
        return false;
    }
    std::memcpy(target, encoded.constData(), size_t(encoded.size()));
    target[encoded.size()] = '\0';
    return true;
}

// One line, whatever the text holds.
QByteArray headerValue(const QString &text)
{
    QByteArray value = text.toUtf8();
    value.replace('\n', ' ').replace('\r', ' ');
    return value.left(256);
}

std::optional<int> parseInt(QByteArrayView text)
{
    bool ok = false;
    const int value = text.toByteArray().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

SignalCrashDiagnosticSource::SignalCrashDiagnosticSource(QString folder)
    : m_folder(std::move(folder))
{
    QDir().mkpath(m_folder);
}

QString SignalCrashDiagnosticSource::defaultFolder()
{
    return Paths::bundleSupportFolder();
}

QString SignalCrashDiagnosticSource::partialPath() const
{
    return m_folder + QStringLiteral("/crash-report.partial");
}

QString SignalCrashDiagnosticSource::pendingPath() const
{
    return m_folder + QStringLiteral("/crash-report.pending");
}

void SignalCrashDiagnosticSource::collect()
{
    if (g_installed.exchange(true)) {
        return;
    }
    const QByteArray header = QByteArray(kMagic) + '\n' + "version "
        + headerValue(AppInfo::shortVersion()) + " (" + headerValue(AppInfo::buildVersion()) + ")\n"
        + "os " + headerValue(QSysInfo::prettyProductName()) + '\n' + "arch "
        + headerValue(QSysInfo::currentCpuArchitecture()) + '\n';
    if (size_t(header.size()) >= kHeaderCapacity || !copyPath(g_state.partialPath, partialPath())
        || !copyPath(g_state.pendingPath, pendingPath())) {
        return;
    }
    std::memcpy(g_state.header, header.constData(), size_t(header.size()));
    g_state.headerLength = size_t(header.size());
    g_state.fd = ::open(g_state.partialPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (g_state.fd < 0) {
        return;
    }

    // The first backtrace() loads the unwinder, which allocates: never inside the handler.
    void *warmUp[4];
    backtrace(warmUp, 4);

    stack_t alternate {};
    alternate.ss_sp = g_alternateStack;
    alternate.ss_size = sizeof g_alternateStack;
    sigaltstack(&alternate, nullptr);

    struct sigaction action
    {
    };
    action.sa_sigaction = &onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : kFatalSignals) {
        sigaction(signal, &action, nullptr);
    }
}

QList<CrashDiagnostic> SignalCrashDiagnosticSource::takePending()
{
    QList<CrashDiagnostic> diagnostics;
    QStringList paths {pendingPath()};
    // A report the handler could not finish (the process was killed while it wrote); not our own
    // open file once this run collects.
    if (!g_installed.load()) {
        paths.prepend(partialPath());
    }
    for (const QString &path : paths) {
        const BoundedFile::Result file = BoundedFile::readHead(path, maxReportBytes);
        if (file.status == BoundedFile::Status::missing) {
            continue;
        }
        if (!QFileInfo(path).isFile()) {
            // Not a report (a folder, a device, a pipe): kept as found, out of the handler's way.
            Paths::setAsideUnreadable(path, QDateTime::currentDateTimeUtc());
            continue;
        }
        if (!file.isRead()) {
            continue;
        }
        // One attempt per report, whatever becomes of it.
        QFile::remove(path);
        if (auto diagnostic = parse(file.bytes)) {
            diagnostics.append(std::move(*diagnostic));
        }
    }
    return diagnostics;
}

std::optional<CrashDiagnostic> SignalCrashDiagnosticSource::parse(const QByteArray &report)
{
    const QList<QByteArray> lines = report.split('\n');
    if (lines.isEmpty() || lines.first() != kMagic) {
        return std::nullopt;
    }
    CrashDiagnostic diagnostic;
    QString crashedVersion;
    QStringList addresses;
    QStringList symbols;
    bool inSymbols = false;
    // The last piece is what follows the last line feed: empty, or a line cut short.
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line == "end") {
            break;
        }
        if (inSymbols) {
            if (symbols.size() < addresses.size()) {
                symbols << QString::fromUtf8(line.left(kMaxSymbolLength));
            }
            continue;
        }
        const qsizetype space = line.indexOf(' ');
        const QByteArray key = space < 0 ? line : line.left(space);
        const QByteArray value = space < 0 ? QByteArray() : line.mid(space + 1);
        if (key == "symbols") {
            inSymbols = true;
        } else if (key == "version") {
            crashedVersion = QString::fromUtf8(value);
        } else if (key == "os") {
            diagnostic.osVersion = QString::fromUtf8(value);
        } else if (key == "arch") {
            diagnostic.platformArchitecture = QString::fromUtf8(value);
        } else if (key == "signal") {
            const auto signal = parseInt(value);
            if (signal && *signal > 0 && *signal < 128) {
                diagnostic.signal = signal;
            }
        } else if (key == "frame" && addresses.size() < maxFrames && value.startsWith("0x")
                   && value.size() <= 18) {
            bool ok = false;
            value.mid(2).toULongLong(&ok, 16);
            if (ok) {
                addresses << QString::fromLatin1(value);
            }
        }
    }
    if (!diagnostic.signal) {
        return std::nullopt;
    }
    Json::Object frames = Json::Object::array();
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        Json::Object frame = Json::Object::object();
        Json::putString(frame, "address", addresses[i]);
        if (i < symbols.size()) {
            Json::putString(frame, "symbol", symbols[i]);
        }
        frames.push_back(std::move(frame));
    }
    Json::Object tree = Json::Object::object();
    Json::putString(tree, "crashedVersion", crashedVersion);
    tree["frames"] = std::move(frames);
    diagnostic.callStackTree = Json::serialize(tree);
    return diagnostic;
}
