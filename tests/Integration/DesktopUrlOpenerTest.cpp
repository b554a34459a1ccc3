#include "Platform/Xdg/DesktopUrlOpener.h"

#include "TestSupport/QtPrinters.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Sets an environment variable for the test's duration and puts the old value back.
class ScopedVariable
{
public:
    ScopedVariable(const char *name, std::optional<QByteArray> value)
        : m_name(name)
        , m_old(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        set(value);
    }
    ~ScopedVariable() { set(m_old); }

private:
    void set(const std::optional<QByteArray> &value)
    {
        if (value) {
            qputenv(m_name, *value);
        } else {
            qunsetenv(m_name);
        }
    }

    const char *m_name;
    std::optional<QByteArray> m_old;
};

} // namespace

// The desktop's opener reports whether anything took the address: on a machine without xdg-open
// or a browser it answers no (the window then says so), and with one it answers yes and the
// opener gets the address.
TEST(DesktopUrlOpener, ReportsWhetherAnOpenerTookTheAddress)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
        << "X11 display: run the test through scripts/test";
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const QUrl page(QStringLiteral("http://127.0.0.1:9/app/connect?state=abc"));
    ScopedVariable browser("BROWSER", std::nullopt);
    ScopedVariable defaultBrowser("DEFAULT_BROWSER", std::nullopt);
    {
        ScopedVariable path("PATH", bin.path().toUtf8());
        EXPECT_FALSE(DesktopUrlOpener().openUrl(page)) << "nothing on PATH can open a web page";
    }

    const QString received = bin.filePath(QStringLiteral("received"));
    QFile opener(bin.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\nprintf '%s' \"$1\" > '" + received.toUtf8() + "'\n");
    opener.close();
    opener.setPermissions(opener.permissions() | QFileDevice::ExeOwner);
    ScopedVariable path("PATH", bin.path().toUtf8());
    EXPECT_TRUE(DesktopUrlOpener().openUrl(page));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(received); }, 5000));
    QFile file(received);
    ASSERT_TRUE(QTest::qWaitFor([&] { return file.size() > 0; }, 5000));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QUrl(QString::fromUtf8(file.readAll())), page);
}
