#include "Platform/X11/X11FrontmostApplicationSource.h"

#include "Base/BoundedFile.h"
#include "Platform/Xdg/DesktopEntries.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

#include <xcb/xcb.h>

namespace {

struct Disconnect
{
    void operator()(xcb_connection_t *connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

template<typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

struct Property
{
    xcb_atom_t type = XCB_ATOM_NONE;
    uint8_t format = 0;
    QByteArray value;
};

// Longest property value read, in 32-bit units (titles and class names are far shorter).
constexpr uint32_t maxPropertyLength = 16384;

std::optional<Property> readProperty(xcb_connection_t *connection, xcb_window_t window,
                                     xcb_atom_t atom)
{
    if (atom == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    const auto cookie = xcb_get_property(connection, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                         maxPropertyLength);
    ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookie, nullptr),
                                             &std::free);
    if (!reply || reply->type == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    const int length = xcb_get_property_value_length(reply.get());
    return Property {
        reply->type, reply->format,
        QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())), length)};
}

std::optional<uint32_t> cardinal(const std::optional<Property> &property)
{
    if (!property || property->format != 32 || property->value.size() < 4) {
        return std::nullopt;
    }
    uint32_t value;
    std::memcpy(&value, property->value.constData(), sizeof value);
    return value;
}

// A property that ends in a NUL or not: the text before the first NUL.
QByteArray firstString(const QByteArray &value)
{
    const qsizetype nul = value.indexOf('\0');
    return nul >= 0 ? value.left(nul) : value;
}

} // namespace

std::optional<FrontmostApplication> X11FrontmostApplicationSource::frontmostApplication()
{
    Connection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        return std::nullopt;
    }
    const xcb_setup_t *setup = xcb_get_setup(connection.get());
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem) {
        return std::nullopt;
    }
    const xcb_window_t root = screens.data->root;

    const char *const names[] = {"_NET_ACTIVE_WINDOW",  "_NET_WM_NAME",
                                 "UTF8_STRING",         "_NET_WM_PID",
                                 "_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE"};
    constexpr size_t atomCount = std::size(names);
    xcb_intern_atom_cookie_t cookies[atomCount];
    for (size_t i = 0; i < atomCount; ++i) {
        cookies[i] =
            xcb_intern_atom(connection.get(), 1, uint16_t(std::strlen(names[i])), names[i]);
    }
    xcb_atom_t atoms[atomCount];
    for (size_t i = 0; i < atomCount; ++i) {
        ReplyPtr<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(connection.get(), cookies[i], nullptr), &std::free);
        atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    const auto [activeWindowAtom, netWmName, utf8String, netWmPid, gtkApplicationId,
                kdeDesktopFile] = atoms;

    const std::optional<uint32_t> active =
        cardinal(readProperty(connection.get(), root, activeWindowAtom));
    if (!active || *active == XCB_WINDOW_NONE) {
        return std::nullopt;
    }
    const xcb_window_t window = *active;

    WindowProperties properties;
    if (const auto name = readProperty(connection.get(), window, netWmName);
        name && name->type == utf8String && !name->value.isEmpty()) {
        properties.title = QString::fromUtf8(name->value);
    } else if (const auto legacyName = readProperty(connection.get(), window, XCB_ATOM_WM_NAME);
               legacyName && !legacyName->value.isEmpty()) {
        // STRING is Latin-1; other encodings are read as UTF-8, which is right for ASCII at least.
        properties.title = legacyName->type == XCB_ATOM_STRING
            ? QString::fromLatin1(legacyName->value)
            : QString::fromUtf8(legacyName->value);
    }
    if (const auto wmClass = readProperty(connection.get(), window, XCB_ATOM_WM_CLASS)) {
        const QList<QByteArray> parts = wmClass->value.split('\0');
        properties.instanceName = QString::fromLocal8Bit(parts.value(0));
        properties.className = QString::fromLocal8Bit(parts.value(1));
    }
    if (const std::optional<uint32_t> pid =
            cardinal(readProperty(connection.get(), window, netWmPid));
        pid && *pid > 0) {
        properties.pid = qint64(*pid);
    }
    if (const auto id = readProperty(connection.get(), window, gtkApplicationId)) {
        properties.gtkApplicationID = QString::fromUtf8(firstString(id->value));
    }
    if (const auto file = readProperty(connection.get(), window, kdeDesktopFile)) {
        properties.kdeDesktopFile = QString::fromUtf8(firstString(file->value));
    }
    connection.reset();

    const QHash<QString, QString> environment =
        properties.pid ? processEnvironment(*properties.pid) : QHash<QString, QString>();
    return describe(properties, environment, DesktopEntries::shared(), messagesLocale());
}

FrontmostApplication
X11FrontmostApplicationSource::describe(const WindowProperties &window,
                                        const QHash<QString, QString> &environment,
                                        DesktopEntries &entries, const QString &locale)
{
    std::optional<DesktopEntry> entry;
    const QString launchedFrom = environment.value(QStringLiteral("GIO_LAUNCHED_DESKTOP_FILE"));
    // Children inherit the variable; only the launched process itself may use it.
    if (!launchedFrom.isEmpty() && window.pid
        && environment.value(QStringLiteral("GIO_LAUNCHED_DESKTOP_FILE_PID"))
            == QString::number(*window.pid)) {
        entry = entries.fromFile(launchedFrom);
    }
    if (!entry && !window.gtkApplicationID.isEmpty()) {
        entry = entries.find(window.gtkApplicationID);
    }
    if (!entry && !window.kdeDesktopFile.isEmpty()) {
        entry = entries.find(window.kdeDesktopFile);
    }
    if (!entry) {
        entry = entries.findByWindowClass(window.className);
    }
    if (!entry) {
        entry = entries.findByWindowClass(window.instanceName);
    }
    if (!entry) {
        const QString hint = environment.value(QStringLiteral("BAMF_DESKTOP_FILE_HINT"));
        if (!hint.isEmpty()) {
            entry = entries.fromFile(hint);
        }
    }

    FrontmostApplication application;
    application.processIdentifier = window.pid;
    application.windowTitle = window.title;
    if (entry) {
        application.localizedName = entry->localizedName(locale);
        application.bundleIdentifier = entry->id;
    } else {
        const QString windowClass =
            window.className.isEmpty() ? window.instanceName : window.className;
        if (!windowClass.isEmpty()) {
            application.localizedName = windowClass;
            application.bundleIdentifier = windowClass;
        }
    }
    return application;
}

QHash<QString, QString> X11FrontmostApplicationSource::processEnvironment(qint64 pid)
{
    QHash<QString, QString> environment;
    // The kernel holds a process's arguments and environment to a few megabytes together.
    const BoundedFile::Result file =
        BoundedFile::readHead(QStringLiteral("/proc/%1/environ").arg(pid), 8 * 1024 * 1024);
    // Variables are NUL-terminated "NAME=value" entries.
    for (const QByteArray &entry : file.bytes.split('\0')) {
        const qsizetype equals = entry.indexOf('=');
        if (equals > 0) {
            environment.insert(QString::fromLocal8Bit(entry.left(equals)),
                               QString::fromLocal8Bit(entry.mid(equals + 1)));
        }
    }
    return environment;
}

QString X11FrontmostApplicationSource::messagesLocale()
{
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty()) {
            return value;
        }
    }
    return QString();
}
