// A window with three fields for the focus reader's integration tests: a one-line field ("line"),
// a multi-line field ("multi") and a password field ("password").
//
// Started with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 it shows up on the accessibility bus. Once its
// window is active it prints "ready". Then it reads one JSON object per line on stdin and answers
// each with one line: "ok" once the change is applied (and the field has the focus, when asked),
// or "error: <why>".
//
//   {"title": "Budget review"}                 sets the window title
//   {"field": "line", "text": "…", "selectionStart": 2, "selectionEnd": 5, "focus": true}
//                                              sets a field's text, then its selection (offsets in
//                                              UTF-16 code units; equal offsets put the caret
//                                              there; without them the caret goes to the end),
//                                              then gives it the focus
//   {"answerDelayMs": 900}                     from now on every request that reaches the
//                                              window's objects (the accessibility bus's among
//                                              them) is answered that much later; 0 ends it
//
// End of input quits.

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTextCursor>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int activationTimeoutMs = 10000;

void reply(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool waitFor(const std::function<bool()> &condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > activationTimeoutMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Holds the main thread before each call delivered to one of its objects: an application busy
// elsewhere, whose accessibility answers come late.
class SlowAnswers : public QObject
{
public:
    int delayMs = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (delayMs > 0 && event->type() == QEvent::MetaCall) {
            QThread::msleep(ulong(delayMs));
        }
        return QObject::eventFilter(watched, event);
    }
};

class FixtureWindow : public QWidget
{
public:
    FixtureWindow()
    {
        m_line->setObjectName(QStringLiteral("line"));
        m_line->setAccessibleName(QStringLiteral("One line"));
        m_multi->setObjectName(QStringLiteral("multi"));
        m_multi->setAccessibleName(QStringLiteral("Several lines"));
        m_password->setObjectName(QStringLiteral("password"));
        m_password->setAccessibleName(QStringLiteral("Password"));
        m_password->setEchoMode(QLineEdit::Password);
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(m_line);
        layout->addWidget(m_multi);
        layout->addWidget(m_password);
        setWindowTitle(QStringLiteral("Focus fixture"));
        resize(480, 360);
    }

    QByteArray apply(const QJsonObject &command)
    {
        if (command.contains(QStringLiteral("answerDelayMs"))) {
            m_slow.delayMs = command.value(QStringLiteral("answerDelayMs")).toInt();
            qApp->removeEventFilter(&m_slow);
            if (m_slow.delayMs > 0) {
                qApp->installEventFilter(&m_slow);
            }
        }
        if (command.contains(QStringLiteral("title"))) {
            setWindowTitle(command.value(QStringLiteral("title")).toString());
        }
        if (!command.contains(QStringLiteral("field"))) {
            return "ok";
        }
        const QString name = command.value(QStringLiteral("field")).toString();
        QWidget *field = nullptr;
        const QString text = command.value(QStringLiteral("text")).toString();
        const bool hasSelection = command.contains(QStringLiteral("selectionStart"));
        const int start = command.value(QStringLiteral("selectionStart")).toInt();
        const int end = command.value(QStringLiteral("selectionEnd")).toInt(start);
        if (name == QStringLiteral("multi")) {
            field = m_multi;
            if (command.contains(QStringLiteral("text"))) {
                m_multi->setPlainText(text);
            }
            QTextCursor cursor = m_multi->textCursor();
            if (hasSelection) {
                cursor.setPosition(start);
                cursor.setPosition(end, QTextCursor::KeepAnchor);
            } else {
                cursor.movePosition(QTextCursor::End);
            }
            m_multi->setTextCursor(cursor);
        } else if (name == QStringLiteral("line") || name == QStringLiteral("password")) {
            QLineEdit *edit = name == QStringLiteral("line") ? m_line : m_password;
            field = edit;
            if (command.contains(QStringLiteral("text"))) {
                edit->setText(text);
            }
            if (hasSelection && end != start) {
                edit->setSelection(start, end - start);
            } else {
                edit->setCursorPosition(hasSelection ? start : int(edit->text().size()));
            }
        } else {
            return "error: unknown field " + name.toUtf8();
        }
        if (command.value(QStringLiteral("focus")).toBool()) {
            activateWindow();
            field->setFocus(Qt::OtherFocusReason);
            if (!waitFor([&] { return isActiveWindow() && field->hasFocus(); })) {
                return "error: the field never got the focus";
            }
        }
        return "ok";
    }

private:
    SlowAnswers m_slow;
    QLineEdit *m_line = new QLineEdit;
    QPlainTextEdit *m_multi = new QPlainTextEdit;
    QLineEdit *m_password = new QLineEdit;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("SonorvelleFocusFixture"));

    FixtureWindow window;
    window.show();
    window.activateWindow();
    if (!waitFor([&] { return window.isActiveWindow(); })) {
        reply("error: the window never became active");
        return 1;
    }
    reply("ready");

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[65536];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            input.setEnabled(false);
            QApplication::quit();
            return;
        }
        pending.append(buffer, count);
        qsizetype newline;
        while ((newline = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(newline);
            pending.remove(0, newline + 1);
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            if (!document.isObject()) {
                reply("error: not a JSON object: " + error.errorString().toUtf8());
                continue;
            }
            reply(window.apply(document.object()));
        }
    });
    return app.exec();
}
