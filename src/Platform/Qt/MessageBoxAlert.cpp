#include "Platform/Qt/MessageBoxAlert.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <QCoro/QCoroSignal>

QCoro::Task<int> MessageBoxAlert::run(Content content)
{
    QPointer<QMessageBox> box = new QMessageBox();
    box->setWindowTitle(QApplication::applicationDisplayName());
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull()) {
        box->setIconPixmap(icon.pixmap(64, 64));
    } else {
        box->setIcon(QMessageBox::Information);
    }
    box->setTextFormat(Qt::PlainText);
    box->setText(content.messageText);
    box->setInformativeText(content.informativeText);
    QList<QAbstractButton *> buttons;
    for (qsizetype i = 0; i < content.buttons.size(); ++i) {
        QPushButton *button = box->addButton(
            content.buttons.at(i), i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        if (i == 0) {
            box->setDefaultButton(button);
        }
        buttons.append(button);
    }
    // No parent window to be modal to: the alert must come up over the application in front.
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    box->open();
    box->raise();
    box->activateWindow();

    co_await qCoro(box.data(), &QMessageBox::finished);
    if (!box) {
        co_return -1;
    }
    const int chosen = int(buttons.indexOf(box->clickedButton()));
    box->deleteLater();
    co_return chosen;
}
