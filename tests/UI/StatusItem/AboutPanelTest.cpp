#include "UI/StatusItem/AboutPanel.h"

#include "Base/AppInfo.h"
#include "Support/L10n.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QList<QMessageBox *> openPanels()
{
    QList<QMessageBox *> panels;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible()) {
            panels << box;
        }
    }
    return panels;
}

} // namespace

TEST(AboutPanel, ShowsNameVersionAndCopyrightInOnePanel)
{
    L10n::shared().apply(QStringLiteral("en"));
    AboutPanel::show();
    AboutPanel::show();
    const auto panels = openPanels();
    ASSERT_EQ(panels.size(), 1);
    QMessageBox *panel = panels.first();
    EXPECT_EQ(panel->windowTitle(), QStringLiteral("About Sonorvelle"));
    EXPECT_EQ(panel->windowModality(), Qt::NonModal);
    const QString text = panel->text();
    EXPECT_TRUE(text.contains(QStringLiteral("<b>Sonorvelle</b>"))) << text.toStdString();
    EXPECT_TRUE(text.contains(
        QStringLiteral("Version %1 (%2)").arg(AppInfo::shortVersion(), AppInfo::buildVersion())))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("© 2026 Sonorvelle"))) << text.toStdString();
    EXPECT_FALSE(panel->iconPixmap().isNull());

    // Closed, it goes; the next showing makes a new one in the language of the moment.
    panel->close();
    EXPECT_TRUE(QTest::qWaitFor([] { return openPanels().isEmpty(); }, 1000));
    L10n::shared().apply(QStringLiteral("de"));
    AboutPanel::show();
    ASSERT_EQ(openPanels().size(), 1);
    EXPECT_EQ(openPanels().first()->windowTitle(),
              L10n::lookup(QStringLiteral("menu.about"), AppLanguage::de));
    openPanels().first()->close();
    L10n::shared().apply(QStringLiteral("en"));
}
