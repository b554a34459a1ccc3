#include "Platform/Qt/MessageBoxAlert.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWindow>

#include <QCoro/QCoroSignal>

namespace {

// The alert comes up while the user may still be typing into another application's field: it
// shows without taking the keyboard, so the next keystrokes (an Enter or a Space above all) go
// on into that field instead of answering the alert. The first click on the alert is the user
// turning to it, and only then does it take the focus.
class FocusOnClick : public QObject
{
public:
    explicit FocusOnClick(QWindow &window)
        : QObject(&window)
        , m_window(window)
    { }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &m_window && event->type() == QEvent::MouseButtonPress
            && m_window.flags().testFlag(Qt::WindowDoesNotAcceptFocus)) {
            // Changed on the native window alone: the widget's own flags would hide and map the
            // window again, which a window manager may place elsewhere.
            m_window.setFlag(Qt::WindowDoesNotAcceptFocus, false);
            m_window.requestActivate();
        }
        return false;
    }

private:
    QWindow &m_window;
};

} // namespace

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
    // No parent window to be modal to: the alert must come up over the application in front,
    // without the keyboard (both hints, as the overlays need them under openbox).
    box->setWindowFlags(box->windowFlags() | Qt::WindowStaysOnTopHint
                        | Qt::WindowDoesNotAcceptFocus);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->winId();
    if (QWindow *window = box->windowHandle()) {
        window->setProperty("_q_showWithoutActivating", true);
        window->installEventFilter(new FocusOnClick(*window));
    }
    box->open();
    box->raise();

    co_await qCoro(box.data(), &QMessageBox::finished);
    if (!box) {
        co_return -1;
    }
    const int chosen = int(buttons.indexOf(box->clickedButton()));
    box->deleteLater();
    co_return chosen;
}
