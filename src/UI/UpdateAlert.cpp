#include "UI/UpdateAlert.h"

#include "Base/AppInfo.h"
#include "Support/L10n.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

QString text(const char *key)
{
    return L10n::shared().string(QString::fromLatin1(key));
}

QString filled(const char *key, const QString &value)
{
    return text(key).replace(QStringLiteral("%@"), value);
}

} // namespace

UpdateAlert::UpdateAlert() = default;

QMessageBox *UpdateAlert::box() const
{
    return m_box.data();
}

UpdateAlert::~UpdateAlert()
{
    delete m_box.data();
}

QMessageBox &UpdateAlert::prepare(const QString &title, const QString &message)
{
    // The previous result's buttons and texts go with its box.
    delete m_box.data();
    m_box = new QMessageBox();
    m_box->setAttribute(Qt::WA_DeleteOnClose);
    m_box->setWindowTitle(text("menu.check_updates"));
    m_box->setText(title);
    m_box->setInformativeText(message);
    m_box->setTextFormat(Qt::PlainText);
    m_box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return *m_box;
}

void UpdateAlert::present(QMessageBox &box)
{
    box.setStandardButtons(QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(text("common.ok"));
    box.open();
    box.raise();
    box.activateWindow();
}

void UpdateAlert::showUpToDate()
{
    QMessageBox &box =
        prepare(text("update.upToDate"), filled("update.upToDateDetail", AppInfo::shortVersion()));
    box.setIcon(QMessageBox::Information);
    present(box);
}

void UpdateAlert::showUpdateAvailable(const QString &version, const QUrl &page)
{
    QMessageBox &box =
        prepare(text("update.available"),
                filled("update.availableDetail", version) + QLatin1Char('\n') + page.toString());
    box.setIcon(QMessageBox::Information);
    present(box);
}

void UpdateAlert::showCheckFailed(const QString &detail)
{
    QMessageBox &box = prepare(text("update.failed"), filled("update.failedDetail", detail));
    box.setIcon(QMessageBox::Warning);
    present(box);
}
