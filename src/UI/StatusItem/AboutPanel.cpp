#include "UI/StatusItem/AboutPanel.h"

#include "Base/AppInfo.h"
#include "Support/L10n.h"
#include "UI/StatusItem/MenuBarIcon.h"
#include "UI/StatusItem/StatusButton.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>
#include <QPointer>

namespace AboutPanel {

namespace {

constexpr int iconPixels = 64;

QPixmap applicationPicture()
{
    const QIcon appIcon = QApplication::windowIcon();
    if (!appIcon.isNull()) {
        return appIcon.pixmap(iconPixels, iconPixels);
    }
    // No application icon installed: the status glyph, large, in the text colour.
    StatusButton button;
    button.setImage(
        [](qreal ratio) { return MenuBarIcon::image(MenuBarIcon::State::normal, false, ratio); });
    return QPixmap::fromImage(
        button.render(iconPixels, QApplication::palette().color(QPalette::WindowText)));
}

QString panelText()
{
    const QString version = AppInfo::shortVersion() + QStringLiteral(" (") + AppInfo::buildVersion()
        + QStringLiteral(")");
    const L10n &l10n = L10n::shared();
    return QStringLiteral("<p><b>Sonorvelle</b></p><p>%1</p><p>%2</p><p>%3</p>")
        .arg(l10n.string(QStringLiteral("about.tagline")).toHtmlEscaped(),
             l10n.string(QStringLiteral("about.version"), version).toHtmlEscaped(),
             l10n.string(QStringLiteral("about.copyright")).toHtmlEscaped());
}

} // namespace

void show()
{
    static QPointer<QMessageBox> panel;
    if (!panel) {
        panel = new QMessageBox();
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setWindowModality(Qt::NonModal);
        panel->setStandardButtons(QMessageBox::Ok);
        panel->setTextFormat(Qt::RichText);
        panel->setIconPixmap(applicationPicture());
    }
    // The texts follow the interface language of the moment.
    panel->setWindowTitle(L10n::shared().string(QStringLiteral("menu.about")));
    panel->setText(panelText());
    panel->show();
    panel->raise();
    panel->activateWindow();
}

} // namespace AboutPanel
