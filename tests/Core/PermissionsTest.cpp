#include "Core/Permissions.h"

#include "Base/ManualClock.h"
#include "Core/AppleIntelligence.h"
#include "Core/DebugLog.h"
#include "Fakes/FakePermissionSystem.h"
#include "Platform/Linux/LinuxPermissionSystem.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <QCoro/QCoroTask>

using namespace std::chrono_literals;
using DisplayServer = PermissionSystem::DisplayServer;
using SettingsPane = PermissionSystem::SettingsPane;

namespace {

struct PermissionsFixture
{
    FakePermissionSystem system;
    ManualClock clock;
    std::optional<Permissions::TestScope> scope;

    void begin() { scope.emplace(system, clock); }
};

QString logTail()
{
    DebugLog::flush();
    return DebugLog::tail();
}

} // namespace

TEST(Permissions, AccessibilityTrustReflectsTheDisplayItsExtensionsAndTheBusSwitch)
{
    struct Case
    {
        const char *name;
        DisplayServer display;
        QString extensionsMissing;
        std::optional<bool> bus;
        bool trusted;
        int extensionCalls;
        int busReads;
    };
    const QList<Case> cases = {
        {"X11 with everything", DisplayServer::x11, {}, true, true, 1, 1},
        {"switch off", DisplayServer::x11, {}, false, false, 1, 1},
        {"bus does not answer", DisplayServer::x11, {}, std::nullopt, false, 1, 1},
        {"no XTest", DisplayServer::x11, QStringLiteral("the X display has no XTEST extension"),
         true, false, 1, 0},
        {"Wayland", DisplayServer::wayland, {}, true, false, 0, 0},
        {"no display", DisplayServer::none, {}, true, false, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PermissionsFixture f;
        f.system.display = c.display;
        f.system.extensionsMissing = c.extensionsMissing;
        f.system.busEnabled = c.bus;
        f.begin();
        EXPECT_EQ(Permissions::accessibilityGranted(), c.trusted);
        EXPECT_EQ(f.system.extensionCalls, c.extensionCalls);
        EXPECT_EQ(f.system.busReads, c.busReads);
    }
    const QString log = logTail();
    EXPECT_TRUE(log.contains(QStringLiteral("permissions: this is a Wayland session;")));
    EXPECT_TRUE(log.contains(QStringLiteral(
        "permissions: Accessibility is not granted: the X display has no XTEST extension")));
}

TEST(Permissions, ChecksAreCachedTheSwitchReadAtMostOncePerInterval)
{
    PermissionsFixture f;
    f.begin();
    EXPECT_TRUE(Permissions::accessibilityGranted());
    f.clock.advance(Permissions::recheckInterval - 1ms);
    f.system.busEnabled = false;
    EXPECT_TRUE(Permissions::accessibilityGranted()) << "within the interval: the cached answer";
    EXPECT_EQ(f.system.busReads, 1);

    f.clock.advance(1ms);
    EXPECT_FALSE(Permissions::accessibilityGranted()) << "the switch change is seen";
    // Polled every 100 ms for one interval: no further read until it has passed.
    for (int i = 0; i < 10; ++i) {
        Permissions::accessibilityGranted();
        f.clock.advance(100ms);
    }
    EXPECT_EQ(f.system.busReads, 2);
    Permissions::accessibilityGranted();
    EXPECT_EQ(f.system.busReads, 3);
    EXPECT_EQ(f.system.displayServerCalls, 1);
    EXPECT_EQ(f.system.extensionCalls, 1);
}

TEST(Permissions, ThePromptEnablesTheBusOncePerProcess)
{
    PermissionsFixture f;
    f.system.busEnabled = false;
    f.begin();
    EXPECT_FALSE(Permissions::accessibilityGranted());

    Permissions::promptAccessibility();
    EXPECT_EQ(f.system.busEnables, 1);
    EXPECT_TRUE(Permissions::accessibilityGranted()) << "read again right after the prompt";

    f.system.busEnabled = false; // the user switched it off again
    Permissions::promptAccessibility();
    EXPECT_EQ(f.system.busEnables, 1) << "the second prompt does nothing";
    f.clock.advance(Permissions::recheckInterval);
    EXPECT_FALSE(Permissions::accessibilityGranted());

    // A new process (here: a fresh state) may prompt again.
    f.begin();
    Permissions::promptAccessibility();
    EXPECT_EQ(f.system.busEnables, 2);
}

TEST(Permissions, AFailedPromptIsLoggedAndNotRepeated)
{
    PermissionsFixture f;
    f.system.busEnabled = false;
    f.system.busAcceptsEnable = false;
    f.begin();
    Permissions::promptAccessibility();
    Permissions::promptAccessibility();
    EXPECT_EQ(f.system.busEnables, 1);
    EXPECT_FALSE(Permissions::accessibilityGranted());
    EXPECT_TRUE(logTail().contains(
        QStringLiteral("permissions: the accessibility bus could not be enabled")));
}

TEST(Permissions, SpeechFollowsTheInstalledModels)
{
    PermissionsFixture f;
    f.system.modelInstalled = false;
    f.begin();
    EXPECT_FALSE(Permissions::speechGranted());
    EXPECT_FALSE(QCoro::waitFor(Permissions::requestSpeechRecognition()));

    f.system.modelInstalled = true;
    f.clock.advance(Permissions::recheckInterval);
    EXPECT_TRUE(Permissions::speechGranted());
    EXPECT_TRUE(QCoro::waitFor(Permissions::requestSpeechRecognition()));
    EXPECT_EQ(f.system.modelChecks, 2);
}

TEST(Permissions, TheMicrophoneIsGrantedAndItsRequestFollowsUpFromTheEventLoop)
{
    PermissionsFixture f;
    f.begin();
    EXPECT_TRUE(Permissions::microphoneGranted());
    int followUps = 0;
    Permissions::requestMicrophone([&followUps] { ++followUps; });
    EXPECT_EQ(followUps, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(followUps, 1);
    Permissions::requestMicrophone();
    EXPECT_TRUE(f.system.openedPanes.isEmpty()) << "never denied, so no settings are opened";
}

TEST(Permissions, SettingsOpenTheDesktopsPaneOrSayWhyNot)
{
    PermissionsFixture f;
    f.begin();
    Permissions::openMicrophoneSettings();
    Permissions::openAccessibilitySettings();
    EXPECT_EQ(f.system.openedPanes,
              (QList<SettingsPane> {SettingsPane::microphone, SettingsPane::accessibility}));

    f.system.settingsFound = false;
    Permissions::openMicrophoneSettings();
    Permissions::openAccessibilitySettings();
    const QString log = logTail();
    EXPECT_TRUE(log.contains(QStringLiteral("permissions: no sound settings program was found")));
    EXPECT_TRUE(
        log.contains(QStringLiteral("permissions: no accessibility settings program was found")));
}

TEST(AppleIntelligence, IsNotSupported)
{
    EXPECT_EQ(AppleIntelligence::status(), AppleIntelligence::Status::notSupported);
}

TEST(AppleIntelligence, StatusFollowsTheModelsAvailability)
{
    using Availability = SystemLanguageModel::Availability;
    using Status = AppleIntelligence::Status;
    const std::pair<Availability, Status> cases[] = {
        {Availability::available, Status::ready},
        {Availability::deviceNotEligible, Status::notSupported},
        {Availability::appleIntelligenceNotEnabled, Status::disabled},
        {Availability::modelNotReady, Status::downloading},
    };
    for (const auto &[availability, status] : cases) {
        EXPECT_EQ(AppleIntelligence::status(availability), status)
            << static_cast<int>(availability);
    }
}

TEST(LinuxPermissionSystem, DisplayServerFromTheEnvironment)
{
    struct Case
    {
        const char *sessionType;
        const char *waylandDisplay;
        const char *display;
        DisplayServer expected;
    };
    const QList<Case> cases = {
        {"x11", "", ":0", DisplayServer::x11},
        {"", "", ":1", DisplayServer::x11},
        {"wayland", "", ":0", DisplayServer::wayland}, // Xwayland
        {"", "wayland-0", ":0", DisplayServer::wayland},
        {"Wayland", "", "", DisplayServer::wayland},
        {"tty", "", "", DisplayServer::none},
        {"", "", "", DisplayServer::none},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(LinuxPermissionSystem::displayServerOf(QString::fromLatin1(c.sessionType),
                                                         QString::fromLatin1(c.waylandDisplay),
                                                         QString::fromLatin1(c.display)),
                  c.expected)
            << c.sessionType << " / " << c.waylandDisplay << " / " << c.display;
    }
}

TEST(LinuxPermissionSystem, SettingsProgramsOfTheCurrentDesktopComeFirst)
{
    using Command = LinuxPermissionSystem::Command;
    const auto programs = [](SettingsPane pane, const QStringList &desktops) {
        QStringList names;
        for (const Command &command : LinuxPermissionSystem::settingsCommands(pane, desktops)) {
            names.append(command.program + u' ' + command.arguments.join(u' '));
        }
        return names;
    };
    EXPECT_EQ(
        programs(SettingsPane::microphone, {QStringLiteral("ubuntu"), QStringLiteral("GNOME")}),
        (QStringList {QStringLiteral("gnome-control-center sound"),
                      QStringLiteral("pavucontrol --tab=4")}));
    EXPECT_EQ(programs(SettingsPane::accessibility, {QStringLiteral("KDE")}),
              (QStringList {QStringLiteral("systemsettings kcm_access"),
                            QStringLiteral("kcmshell6 kcm_access"),
                            QStringLiteral("kcmshell5 kcm_access"),
                            QStringLiteral("gnome-control-center universal-access")}));
    EXPECT_EQ(programs(SettingsPane::accessibility, {QStringLiteral("XFCE")}).first(),
              QStringLiteral("xfce4-accessibility-settings "));
    EXPECT_EQ(programs(SettingsPane::microphone, {}),
              (QStringList {QStringLiteral("gnome-control-center sound"),
                            QStringLiteral("pavucontrol --tab=4")}));
}
