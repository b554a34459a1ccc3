#include "UI/UpdateAlert.h"

#include "Base/AppInfo.h"
#include "Support/L10n.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <gtest/gtest.h>

namespace {

class UpdateAlertTest : public testing::Test
{
protected:
    UpdateAlertTest() { L10n::shared().apply(QStringLiteral("en")); }
    ~UpdateAlertTest() override { L10n::shared().apply(QStringLiteral("en")); }

    QStringList buttons() const
    {
        QStringList texts;
        for (const QAbstractButton *button : alert.box()->buttons()) {
            texts << button->text();
        }
        return texts;
    }

    UpdateAlert alert;
};

} // namespace

TEST_F(UpdateAlertTest, EachResultOpensABoxWithoutWaitingForTheUser)
{
    alert.showUpToDate();
    ASSERT_NE(alert.box(), nullptr);
    EXPECT_TRUE(alert.box()->isVisible()) << "open() shows it and returns";
    EXPECT_EQ(alert.box()->windowTitle(), QStringLiteral("Check for Updates…"));
    EXPECT_EQ(alert.box()->text(), QStringLiteral("You’re up to date"));
    EXPECT_EQ(alert.box()->informativeText(),
              QStringLiteral("Sonorvelle %1 is the newest version available.")
                  .arg(AppInfo::shortVersion()));
    EXPECT_EQ(buttons(), QStringList {"OK"});

    // A new result replaces the open box.
    const QPointer<QMessageBox> first = alert.box();
    alert.showUpdateAvailable(QStringLiteral("1.2"),
                              QUrl(QStringLiteral("https://example.org/download/1.2")));
    EXPECT_TRUE(first.isNull());
    ASSERT_NE(alert.box(), nullptr);
    EXPECT_EQ(alert.box()->text(), QStringLiteral("A new version of Sonorvelle is available"));
    EXPECT_EQ(alert.box()->informativeText(),
              QStringLiteral("Sonorvelle 1.2 is available on its download page:\n"
                             "https://example.org/download/1.2"));

    alert.showCheckFailed(QStringLiteral("Host example.org not found"));
    EXPECT_EQ(alert.box()->text(), QStringLiteral("Couldn’t check for updates"));
    EXPECT_EQ(alert.box()->informativeText(),
              QStringLiteral("The check for updates failed: Host example.org not found"));
    EXPECT_EQ(alert.box()->icon(), QMessageBox::Warning);

    // Dismissed by the user, the box goes away.
    alert.box()->button(QMessageBox::Ok)->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(alert.box(), nullptr);
}

TEST_F(UpdateAlertTest, TextsFollowTheInterfaceLanguageOfTheMoment)
{
    L10n::shared().apply(QStringLiteral("ja"));
    alert.showCheckFailed(QStringLiteral("timeout"));
    EXPECT_EQ(alert.box()->text(), L10n::lookup(QStringLiteral("update.failed"), AppLanguage::ja));
    EXPECT_EQ(alert.box()->windowTitle(),
              L10n::lookup(QStringLiteral("menu.check_updates"), AppLanguage::ja));
    EXPECT_EQ(buttons(), QStringList {L10n::lookup(QStringLiteral("common.ok"), AppLanguage::ja)});
}
