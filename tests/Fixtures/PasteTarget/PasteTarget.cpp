// A window with one multi-line text field, the target of the insertion tests.
//
// Usage: sonorvelle_paste_target [--class NAME] [--terminal]
//   --class NAME   the window's WM_CLASS instance and class name (a terminal's, for example)
//   --terminal     behave like a terminal emulator: Control+Shift+V pastes, Control+V is a
//                  character for the shell and inserts nothing
//
//        sonorvelle_paste_target --dump-clipboard
//   prints what the clipboard holds, as an application that never saw it before reads it, and
//   exits: "formats F1 F2 ...", "text BASE64", "html BASE64", "hint BASE64" (the data of
//   "x-kde-passwordManagerHint") and "image WIDTHxHEIGHT #RRGGBB" (the size and the colour of the
//   middle pixel) or "image none".
//
// Once the field has the keyboard focus it prints "ready". Then it prints one line per change:
//   text BASE64      the field's whole text, UTF-8, in base64
//   key SHORTCUT     a key pressed with Control, e.g. "key ctrl+shift+V"
// It reads commands on stdin, one per line: "clear" empties the field and answers "cleared".
// End of input quits.

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class Field : public QPlainTextEdit
{
public:
    explicit Field(bool terminal)
        : m_terminal(terminal)
    { }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const int key = event->key();
        const bool modifierKey = key == Qt::Key_Control || key == Qt::Key_Shift
            || key == Qt::Key_Alt || key == Qt::Key_Meta || key == Qt::Key_AltGr;
        if ((event->modifiers() & Qt::ControlModifier) && !modifierKey) {
            QByteArray shortcut = "key ctrl+";
            if (event->modifiers() & Qt::ShiftModifier) {
                shortcut += "shift+";
            }
            if (event->modifiers() & Qt::AltModifier) {
                shortcut += "alt+";
            }
            shortcut += QKeySequence(event->key()).toString().toUtf8();
            say(shortcut);
            if (m_terminal && event->key() == Qt::Key_V) {
                if (event->modifiers() & Qt::ShiftModifier) {
                    paste();
                }
                return;
            }
        }
        QPlainTextEdit::keyPressEvent(event);
    }

private:
    bool m_terminal;
};

int dumpClipboard(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QMimeData *mime = QApplication::clipboard()->mimeData();
    if (!mime) {
        say("formats");
        return 0;
    }
    say("formats " + mime->formats().join(u' ').toUtf8());
    say("text " + mime->text().toUtf8().toBase64());
    say("html " + mime->html().toUtf8().toBase64());
    say("hint " + mime->data(QStringLiteral("x-kde-passwordManagerHint")).toBase64());
    const QImage image = qvariant_cast<QImage>(mime->imageData());
    if (image.isNull()) {
        say("image none");
    } else {
        say("image " + QByteArray::number(image.width()) + 'x' + QByteArray::number(image.height())
            + ' ' + image.pixelColor(image.width() / 2, image.height() / 2).name().toUtf8());
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && QByteArray(argv[1]) == "--dump-clipboard") {
        return dumpClipboard(argc, argv);
    }
    QByteArray className;
    bool terminal = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--class" && i + 1 < argc) {
            className = argv[++i];
        } else if (arg == "--terminal") {
            terminal = true;
        } else {
            std::fprintf(stderr, "sonorvelle_paste_target: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    if (!className.isEmpty()) {
        // Read by Qt's xcb platform for the instance part of WM_CLASS.
        qputenv("RESOURCE_NAME", className);
    }
    QApplication app(argc, argv);
    if (!className.isEmpty()) {
        QApplication::setApplicationName(QString::fromLatin1(className));
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("Sonorvelle paste target"));
    auto *field = new Field(terminal);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(field);
    window.resize(480, 320);
    QObject::connect(field, &QPlainTextEdit::textChanged, field,
                     [field] { say("text " + field->toPlainText().toUtf8().toBase64()); });
    window.show();
    window.activateWindow();
    field->setFocus();

    QTimer readyCheck;
    int ticksWithoutFocus = 0;
    QObject::connect(&readyCheck, &QTimer::timeout, &readyCheck, [&] {
        if (window.isActiveWindow() && field->hasFocus()) {
            readyCheck.stop();
            say("ready");
            return;
        }
        // The request made before the window was mapped can be lost (the window manager keeps
        // the focus where the last test's windows left it); ask again, as a user clicks it.
        if (++ticksWithoutFocus % 25 == 0) {
            window.activateWindow();
            field->setFocus();
        }
    });
    readyCheck.start(20);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &input, [&] {
        char buffer[1024];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QApplication::quit();
            return;
        }
        pending.append(buffer, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray command = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (command == "clear") {
                field->clear();
                // Another window (an alert of the application under test) may have taken focus.
                field->window()->activateWindow();
                field->setFocus();
                say("cleared");
            }
        }
    });
    return app.exec();
}
