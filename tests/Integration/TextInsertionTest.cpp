// Text insertion against the real display: the X11 clipboard layer, XTest keys and a Qt
// application with a text field (the paste target fixture) receiving pastes and typed text.

#include "FixtureProgram.h"
#include "Integration/PasteTarget.h"
#include "Integration/SlowClipboardOwner.h"
#include "Integration/X11TestSupport.h"

#include "Base/Clock.h"
#include "Core/DictationTrace.h"
#include "Core/Insertion/PasteInserter.h"
#include "Core/Insertion/TextInserter.h"
#include "Core/Insertion/UnicodeTyper.h"
#include "Platform/X11/X11Keyboard.h"
#include "Platform/X11/X11Pasteboard.h"
#include "TestSupport/QtPrinters.h"

#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QWindow>
#include <QtCore/qtestsupport_core.h>

#include <QCoro/QCoroTask>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <vector>

#include <sys/socket.h>

namespace {

constexpr int answerTimeoutMs = 10000;
// Short, so the tests do not wait long for each restore.
constexpr int restoreDelayMs = 300;

const QString unicodeText = QStringLiteral("héllo — 日本語 🎤");

// More different characters than a keymap has spare keys: bound and rebound in batches, with a
// settling pause before each new batch.
QString cjkRun(int count)
{
    QString text;
    for (char32_t c = U'一'; c < U'一' + char32_t(count); ++c) {
        text += QString::fromUcs4(&c, 1);
    }
    return text;
}

// The whole core keymap.
std::vector<xcb_keysym_t> keyboardMapping()
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    const xcb_setup_t *setup = xcb_get_setup(connection.get());
    std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)> reply(
        xcb_get_keyboard_mapping_reply(
            connection.get(),
            xcb_get_keyboard_mapping(connection.get(), setup->min_keycode,
                                     uint8_t(setup->max_keycode - setup->min_keycode + 1)),
            nullptr),
        &std::free);
    if (!reply) {
        return {};
    }
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(reply.get());
    return {syms, syms + xcb_get_keyboard_mapping_keysyms_length(reply.get())};
}

bool runInjector(const QStringList &steps)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(FixtureProgram::path(u"sonorvelle_key_injector"), steps);
    return process.waitForFinished(answerTimeoutMs) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

// The clipboard as a fresh application reads it (Qt's clipboard in this process keeps a list of
// types across quick changes of the owner): line kind -> value.
QHash<QByteArray, QByteArray> dumpClipboard()
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(FixtureProgram::path(u"sonorvelle_paste_target"),
                  {QStringLiteral("--dump-clipboard")});
    QHash<QByteArray, QByteArray> result;
    if (!process.waitForFinished(answerTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space > 0) {
            result.insert(line.left(space), line.mid(space + 1));
        }
    }
    return result;
}

Pasteboard::Item textItem(const QString &text)
{
    return {{Pasteboard::plainTextType, text.toUtf8(), {}, 8}};
}

// What the user had copied: text, HTML and an image.
Pasteboard::Snapshot userContent()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 40));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    Pasteboard::Item item = textItem(QStringLiteral("original text"));
    item.append({QStringLiteral("text/html"), QByteArrayLiteral("<b>original</b> text"), {}, 8});
    item.append({QStringLiteral("image/png"), png, {}, 8});
    return {item};
}

// Qt takes the selection with the time of the last event it saw: a property change on one of its
// windows brings that time up to date, so Qt can take the clipboard over after us.
void freshenQtTime()
{
    QWindow window;
    window.winId();
    window.setTitle(QStringLiteral("time"));
    QTest::qWait(50);
}

class TextInsertionTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
            << "X11 display: the insertion tests need the X11 session of scripts/test";
        ASSERT_TRUE(pasteboard.isAvailable())
            << "X11 display: the clipboard layer reached no display with XFixes";
        ASSERT_TRUE(keyboard.isTrusted()) << "XTest: the keyboard layer cannot send keys";
        ASSERT_FALSE(FixtureProgram::path(u"sonorvelle_key_injector").isEmpty())
            << "fixture program sonorvelle_key_injector was not built";
    }

    void TearDown() override
    {
        EXPECT_EQ(keysDown(), QList<int> {}) << "a key was left pressed";
        // Typing changes the keymap many times; the next test starts once the window manager has
        // grabbed its keys again on the last one.
        EXPECT_TRUE(windowManagerCaughtUp(60000)) << "the window manager stopped answering";
    }

    PasteInserter::Services services() { return {pasteboard, keyboard, Clock::system(), state}; }

    SessionContext context()
    {
        SessionContext result;
        result.trace = trace;
        return result;
    }

    bool paste(const QString &text, bool restore = true,
               std::optional<PasteInserter::SnapshotTask> snapshot = std::nullopt)
    {
        return QCoro::waitFor(PasteInserter::insert(services(), text, restore, restoreDelayMs,
                                                    std::move(snapshot), context()));
    }

    QStringList markNames() const
    {
        QStringList names;
        for (const auto &mark : trace->marks()) {
            names.append(mark.name);
        }
        return names;
    }

    static QClipboard *clipboard() { return QGuiApplication::clipboard(); }

    // Another application copies. Qt's own clipboard cannot stand in for it: Qt takes the
    // selection with the time of the last event it saw, older than ours in a test without input.
    void copyElsewhere(const Pasteboard::Snapshot &content)
    {
        ASSERT_TRUE(otherApplication.writeItems(content));
    }

    static testing::AssertionResult clipboardHasText(const QString &text)
    {
        if (QTest::qWaitFor([&] { return clipboard()->text() == text; }, answerTimeoutMs)) {
            return testing::AssertionSuccess();
        }
        return testing::AssertionFailure()
            << "the clipboard holds \"" << clipboard()->text().toStdString() << "\", types "
            << clipboard()->mimeData()->formats().join(u' ').toStdString();
    }

    X11Pasteboard pasteboard;
    X11Pasteboard otherApplication;
    X11Keyboard keyboard;
    PasteInserter::SharedState state;
    std::shared_ptr<DictationTrace> trace = std::make_shared<DictationTrace>(1);
    PasteTarget target;
};

TEST_F(TextInsertionTest, PasteLandsTheTextAndTheClipboardComesBackWithEveryType)
{
    ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
    const QStringList texts {
        QStringLiteral("Plain ASCII, with punctuation: 1 + 2 = 3!"),
        QStringLiteral("héllo 世界 🎉"),
        unicodeText,
        QStringLiteral("first line\nsecond line\n\n\tindented 世界 🎉"),
    };
    for (const QString &text : texts) {
        SCOPED_TRACE(text.toStdString());
        trace = std::make_shared<DictationTrace>(2);
        ASSERT_TRUE(target.clear());
        copyElsewhere(userContent());
        // The snapshot starts at key release, long before the text is ready.
        PasteInserter::SnapshotTask snapshot = PasteInserter::beginSnapshot(services());
        QTest::qWait(50);

        ASSERT_TRUE(paste(text, true, snapshot));
        const auto awaitSnapshot =
            [&snapshot]() -> QCoro::Task<std::optional<Pasteboard::Snapshot>> {
            co_return co_await snapshot;
        };
        const std::optional<Pasteboard::Snapshot> saved = QCoro::waitFor(awaitSnapshot());
        ASSERT_TRUE(saved.has_value()) << "the snapshot missed its deadline";
        QStringList savedTypes;
        for (const Pasteboard::Entry &entry : saved->value(0)) {
            savedTypes.append(entry.type);
        }
        EXPECT_TRUE(savedTypes.contains(QStringLiteral("text/html"))
                    && savedTypes.contains(QStringLiteral("image/png")))
            << "saved only " << savedTypes.join(u' ').toStdString();
        EXPECT_TRUE(target.waitForText(text)) << "the field holds: " << target.text().toStdString();

        ASSERT_TRUE(QTest::qWaitFor(
            [this] { return markNames().contains(QStringLiteral("insert.restore")); },
            answerTimeoutMs))
            << "the restore never ran";
        const QHash<QByteArray, QByteArray> restored = dumpClipboard();
        EXPECT_EQ(QString::fromUtf8(QByteArray::fromBase64(restored.value("text"))),
                  QStringLiteral("original text"))
            << "not restored; types " << restored.value("formats").toStdString();
        EXPECT_TRUE(QByteArray::fromBase64(restored.value("html")).contains("<b>original</b>"))
            << "the HTML did not come back; types " << restored.value("formats").toStdString();
        EXPECT_EQ(restored.value("image"), QByteArray("8x8 #c81e28"))
            << "the image did not come back";
    }
}

std::optional<Pasteboard::Snapshot> savedBy(const PasteInserter::SnapshotTask &snapshot)
{
    const auto awaitSnapshot = [&snapshot]() -> QCoro::Task<std::optional<Pasteboard::Snapshot>> {
        co_return co_await snapshot;
    };
    return QCoro::waitFor(awaitSnapshot());
}

// Three dictations 300 ms apart, each beginning while the restore of the one before is pending:
// every paste lands its own text, and what the user had copied before the first comes back.
TEST_F(TextInsertionTest, OverlappingDictationsGiveBackWhatTheUserHadBeforeTheFirst)
{
    ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
    copyElsewhere(userContent());
    constexpr int overlappingDelayMs = 800;
    QString expected;
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    qint64 lastPasteAt = 0;
    for (int session = 0; session < 3; ++session) {
        SCOPED_TRACE(session);
        trace = std::make_shared<DictationTrace>(10 + session);
        PasteInserter::readAhead(services());
        const PasteInserter::SnapshotTask snapshot = PasteInserter::beginSnapshot(services());
        const QString text = QStringLiteral("dictation %1. ").arg(session);
        ASSERT_TRUE(QCoro::waitFor(PasteInserter::insert(services(), text, true, overlappingDelayMs,
                                                         snapshot, context())));
        lastPasteAt = sinceFirst.elapsed();
        expected += text;
        ASSERT_TRUE(target.waitForText(expected))
            << "the field holds: " << target.text().toStdString();
        const qint64 untilNext = (session + 1) * 300 - sinceFirst.elapsed();
        if (untilNext > 0) {
            QTest::qWait(int(untilNext));
        }
    }
    EXPECT_LT(lastPasteAt, overlappingDelayMs) << "the first restore ran before the last paste";
    ASSERT_TRUE(QTest::qWaitFor([this] { return state.pendingCount() == 0; }, answerTimeoutMs))
        << "a restore never ran";
    const QHash<QByteArray, QByteArray> restored = dumpClipboard();
    EXPECT_EQ(QString::fromUtf8(QByteArray::fromBase64(restored.value("text"))),
              QStringLiteral("original text"))
        << "not restored; types " << restored.value("formats").toStdString();
    EXPECT_TRUE(QByteArray::fromBase64(restored.value("html")).contains("<b>original</b>"));
    EXPECT_EQ(restored.value("image"), QByteArray("8x8 #c81e28"));
}

// An owner that takes 150 ms over each request, its list of targets included, with five targets.
// Answering them side by side, it is read within the snapshot's deadline after the key release.
// Answering them one after the other (0.9 s in all), it is read from key down, during the
// recording. Either way its content comes back after the paste.
TEST_F(TextInsertionTest, ASlowOwnersClipboardIsStillRestored)
{
    ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
    struct Case
    {
        const char *name;
        bool serial;
        // How long the key is held; none: the read starts only at the release.
        std::optional<int> recordingMs;
    };
    for (const Case &c : {Case {"side by side, read at release", false, std::nullopt},
                          Case {"one after the other, read from key down", true, 1000}}) {
        SCOPED_TRACE(c.name);
        const QString sentinel = QStringLiteral("slow owner's text: %1").arg(c.name);
        SlowClipboardOwner owner;
        ASSERT_TRUE(owner.start(sentinel, 5, 150, c.serial))
            << "fixture sonorvelle_slow_clipboard_owner did not take the clipboard";
        ASSERT_TRUE(target.clear());
        trace = std::make_shared<DictationTrace>(20);
        if (c.recordingMs) {
            PasteInserter::readAhead(services());
            QTest::qWait(*c.recordingMs);
        }
        const PasteInserter::SnapshotTask snapshot = PasteInserter::beginSnapshot(services());
        ASSERT_TRUE(QCoro::waitFor(PasteInserter::insert(
            services(), QStringLiteral("dictated"), true, restoreDelayMs, snapshot, context())));
        const std::optional<Pasteboard::Snapshot> saved = savedBy(snapshot);
        ASSERT_TRUE(saved.has_value()) << "the snapshot missed its deadline";
        ASSERT_EQ(saved->size(), 1);
        EXPECT_EQ(saved->first().size(), 5);
        EXPECT_TRUE(target.waitForText(QStringLiteral("dictated")));

        ASSERT_TRUE(QTest::qWaitFor([this] { return state.pendingCount() == 0; }, answerTimeoutMs))
            << "the restore never ran";
        const QHash<QByteArray, QByteArray> restored = dumpClipboard();
        EXPECT_EQ(QString::fromUtf8(QByteArray::fromBase64(restored.value("text"))), sentinel)
            << "not restored; types " << restored.value("formats").toStdString();
        EXPECT_EQ(QString::fromUtf8(QByteArray::fromBase64(restored.value("html"))),
                  QStringLiteral("<b>") + sentinel + QStringLiteral("</b>"));
        // Its list of targets and each target once: the read begun ahead was the one used.
        EXPECT_EQ(owner.served(), 6);
    }
}

TEST_F(TextInsertionTest, TheDictatedTextCarriesTheMarkersForClipboardManagers)
{
    copyElsewhere({textItem(QStringLiteral("before"))});
    ASSERT_TRUE(PasteInserter::armPasteboard(pasteboard, QStringLiteral("secret words")));
    const QHash<QByteArray, QByteArray> offered = dumpClipboard();
    EXPECT_EQ(QString::fromUtf8(QByteArray::fromBase64(offered.value("text"))),
              QStringLiteral("secret words"));
    const QList<QByteArray> formats = offered.value("formats").split(' ');
    EXPECT_TRUE(formats.contains("org.nspasteboard.TransientType")
                && formats.contains("org.nspasteboard.AutoGeneratedType"))
        << offered.value("formats").toStdString();
    EXPECT_EQ(QByteArray::fromBase64(offered.value("hint")), QByteArray("secret"));
}

TEST_F(TextInsertionTest, ACopyDuringTheRestoreDelaySurvives)
{
    ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
    copyElsewhere(userContent());
    ASSERT_TRUE(paste(QStringLiteral("dictated")));
    ASSERT_TRUE(target.waitForText(QStringLiteral("dictated")));
    copyElsewhere({textItem(QStringLiteral("copied meanwhile"))});
    QTest::qWait(restoreDelayMs + 500);
    EXPECT_TRUE(clipboardHasText(QStringLiteral("copied meanwhile")));
}

TEST_F(TextInsertionTest, AClipboardManagerTakingOverDuringTheGraceCausesOneRearm)
{
    ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
    copyElsewhere(userContent());
    QTest::qWait(100); // Qt's clipboard hears of that copy before the watch starts
    // Like a clipboard manager: as soon as the text is written, it takes the clipboard over with
    // its own copy of it.
    bool tookOver = false;
    const QMetaObject::Connection watch =
        QObject::connect(clipboard(), &QClipboard::dataChanged, clipboard(), [&] {
            if (!tookOver) {
                tookOver = true;
                copyElsewhere({textItem(QStringLiteral("dictated text"))});
            }
        });
    const bool pasted = paste(QStringLiteral("dictated text"));
    QObject::disconnect(watch);
    ASSERT_TRUE(tookOver);
    ASSERT_TRUE(pasted);
    EXPECT_EQ(markNames().count(QStringLiteral("insert.rearm")), 1);
    EXPECT_EQ(markNames().count(QStringLiteral("insert.arm")), 1);
    EXPECT_TRUE(target.waitForText(QStringLiteral("dictated text")));
    // Nobody changed it after the second write: the user's content comes back.
    EXPECT_TRUE(clipboardHasText(QStringLiteral("original text")));
}

TEST_F(TextInsertionTest, ATerminalGetsControlShiftV)
{
    ASSERT_TRUE(target.start(
        {QStringLiteral("--class"), QStringLiteral("konsole"), QStringLiteral("--terminal")}))
        << "fixture sonorvelle_paste_target never got the focus";
    ASSERT_TRUE(keyboard.isTerminalFocused()) << "the konsole-class window was not recognised";
    ASSERT_TRUE(paste(QStringLiteral("ls -la"), false));
    EXPECT_TRUE(target.waitForText(QStringLiteral("ls -la")));
    EXPECT_EQ(target.shortcuts(), QList<QByteArray> {"ctrl+shift+V"});
}

TEST_F(TextInsertionTest, AnOrdinaryWindowGetsControlV)
{
    ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
    EXPECT_FALSE(keyboard.isTerminalFocused());
    ASSERT_TRUE(paste(QStringLiteral("text"), false));
    EXPECT_TRUE(target.waitForText(QStringLiteral("text")));
    EXPECT_EQ(target.shortcuts(), QList<QByteArray> {"ctrl+V"});
}

// The mended path: a modifier the user keeps holding means no paste at all (it would become a
// different shortcut); the text stays on the clipboard for the user to paste.
TEST_F(TextInsertionTest, AHeldModifierMeansNotInsertedAndTheTextStaysOnTheClipboard)
{
    ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
    copyElsewhere(userContent());
    constexpr int shiftLeft = 50;
    ASSERT_TRUE(runInjector({QStringLiteral("down:%1").arg(shiftLeft)}));
    ASSERT_TRUE(keyboard.isModifierHeld());
    const bool inserted = paste(QStringLiteral("kept for later"));
    ASSERT_TRUE(runInjector({QStringLiteral("up:%1").arg(shiftLeft)}));
    EXPECT_FALSE(inserted);
    QTest::qWait(restoreDelayMs + 300);
    EXPECT_TRUE(clipboardHasText(QStringLiteral("kept for later")));
    EXPECT_TRUE(target.text().isEmpty());
}

TEST_F(TextInsertionTest, TypedUnicodeArrivesIntactAndTheKeymapIsPutBack)
{
    ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
    const QString manyCharacters = cjkRun(60);
    const QStringList texts {
        unicodeText,
        QStringLiteral("héllo 世界 🎉"),
        QStringLiteral("Line one\nLine two, Shifted & (punctuated)?\n\nafter an empty line"),
        manyCharacters + QStringLiteral("\nÀÉÎÕÜ àéîõü ßøæ ✓ →"),
    };
    const std::vector<xcb_keysym_t> mappingBefore = keyboardMapping();
    ASSERT_FALSE(mappingBefore.empty());
    for (const QString &text : texts) {
        SCOPED_TRACE(text.toStdString());
        ASSERT_TRUE(target.clear());
        ASSERT_TRUE(QCoro::waitFor(UnicodeTyper::type(keyboard, Clock::system(), text)));
        EXPECT_TRUE(target.waitForText(text, 3000))
            << "the field holds: " << target.text().toStdString();
        EXPECT_EQ(keyboardMapping(), mappingBefore) << "the keymap was not put back";
    }
}

// The user cancels a long typing run and dictates again at once: the first run stops, gives its
// spare keys back, and only then is the second text typed, whole, after the first one's prefix.
TEST_F(TextInsertionTest, ACancelledTypingRunStopsAndTheNextTextFollowsItsPrefix)
{
    ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
    const std::vector<xcb_keysym_t> mappingBefore = keyboardMapping();
    TextInserter inserter(pasteboard, keyboard, Clock::system());
    const QString first = cjkRun(300);
    const QString second = QStringLiteral("Second: héllo 世界 🎉");
    SessionContext one;
    SessionContext two;
    auto typingOne = inserter.type(first, one);
    ASSERT_TRUE(QTest::qWaitFor([this] { return target.text().size() >= 30; }, answerTimeoutMs))
        << "the field holds: " << target.text().toStdString();
    one.cancellation.cancel();
    auto typingTwo = inserter.type(second, two);

    ASSERT_TRUE(QTest::qWaitFor([&] { return typingOne.isReady() && typingTwo.isReady(); },
                                answerTimeoutMs));
    EXPECT_FALSE(QCoro::waitFor(std::move(typingOne)));
    EXPECT_TRUE(QCoro::waitFor(std::move(typingTwo)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return target.text().endsWith(second); }, 3000))
        << "the field holds: " << target.text().toStdString();
    const QString prefix = target.text().chopped(second.size());
    EXPECT_TRUE(first.startsWith(prefix)) << "the field holds: " << target.text().toStdString();
    EXPECT_GE(prefix.size(), 30);
    EXPECT_LT(prefix.size(), first.size()) << "the cancelled run typed on";
    EXPECT_EQ(keyboardMapping(), mappingBefore) << "the keymap was not put back";
}

// The keyboard's connection to the display breaks in the middle of a typing run: a new one takes
// over, releases what the old one left down, and the keymap still goes back.
TEST_F(TextInsertionTest, ABrokenKeyboardConnectionLeavesNoKeyDownAndTheKeymapGoesBack)
{
    ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
    const std::vector<xcb_keysym_t> mappingBefore = keyboardMapping();
    std::vector<xcb_connection_t *> connections;
    X11Keyboard breakable([&connections]() -> xcb_connection_t * {
        xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
        connections.push_back(connection);
        return connection;
    });
    ASSERT_TRUE(breakable.isTrusted());
    TextInserter inserter(pasteboard, breakable, Clock::system());
    const QString text = cjkRun(150);
    auto typing = inserter.type(text, SessionContext());
    ASSERT_TRUE(QTest::qWaitFor([this] { return target.text().size() >= 30; }, answerTimeoutMs));
    // Writing to the dead socket must fail, not end the process.
    const auto previousHandler = std::signal(SIGPIPE, SIG_IGN);
    ASSERT_EQ(connections.size(), 1u);
    ::shutdown(xcb_get_file_descriptor(connections.back()), SHUT_RDWR);
    const bool finished = QTest::qWaitFor([&] { return typing.isReady(); }, answerTimeoutMs);
    std::signal(SIGPIPE, previousHandler);
    ASSERT_TRUE(finished);
    EXPECT_TRUE(QCoro::waitFor(std::move(typing)));
    EXPECT_EQ(connections.size(), 2u) << "the broken connection was not replaced";
    // The characters after the break arrive on the new connection.
    EXPECT_TRUE(QTest::qWaitFor([&] { return target.text().endsWith(text.right(20)); }, 3000))
        << "the field holds: " << target.text().toStdString();
    EXPECT_GE(target.text().size(), text.size() - 1) << "more than the breaking key was lost";
    EXPECT_EQ(keyboardMapping(), mappingBefore) << "the keymap was not put back";
}

bool capsLockOn()
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data->root;
    std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> reply(
        xcb_query_pointer_reply(connection.get(), xcb_query_pointer(connection.get(), root),
                                nullptr),
        &std::free);
    return reply && (reply->mask & XCB_MOD_MASK_LOCK);
}

TEST_F(TextInsertionTest, CapsLockDoesNotChangeTypedLettersAndStaysOn)
{
    ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
    constexpr int capsLock = 66;
    ASSERT_TRUE(runInjector({QStringLiteral("tap:%1").arg(capsLock)}));
    ASSERT_TRUE(QTest::qWaitFor(capsLockOn, answerTimeoutMs)) << "Caps Lock did not lock";
    const QString text = QStringLiteral("Mixed Case, ümlaut Ünd 日本");
    const bool typed = QCoro::waitFor(UnicodeTyper::type(keyboard, Clock::system(), text));
    const bool stillOn = capsLockOn();
    ASSERT_TRUE(runInjector({QStringLiteral("tap:%1").arg(capsLock)}));
    EXPECT_TRUE(typed);
    EXPECT_TRUE(target.waitForText(text, 3000))
        << "the field holds: " << target.text().toStdString();
    EXPECT_TRUE(stillOn) << "Caps Lock was not put back";
}

// U+0008, U+001B and U+007F would be BackSpace, Escape and Delete as keys.
TEST_F(TextInsertionTest, ControlCharactersAreNotTypedAsEditingKeys)
{
    ASSERT_TRUE(target.start()) << "fixture sonorvelle_paste_target never got the focus";
    ASSERT_TRUE(QCoro::waitFor(
        UnicodeTyper::type(keyboard, Clock::system(), QStringLiteral("keep\u0008\u007f\u001bme"))));
    EXPECT_TRUE(target.waitForText(QStringLiteral("keepme"), 3000))
        << "the field holds: " << target.text().toStdString();
}

TEST_F(TextInsertionTest, ALargeClipboardIsSavedAndServedInPieces)
{
    QString large;
    while (large.size() < 600 * 1024) {
        large += QStringLiteral("large clipboard line with ünïcödé and 日本語 text\n");
    }
    // Qt is the owner here: its INCR transfer is what gets read.
    freshenQtTime();
    clipboard()->setText(large);
    ASSERT_TRUE(QTest::qWaitFor([] { return clipboard()->ownsClipboard(); }, answerTimeoutMs))
        << "Qt could not take the clipboard";
    const auto snapshot = QCoro::waitFor(pasteboard.readItems());
    ASSERT_TRUE(snapshot.has_value()) << "the snapshot of a large clipboard failed";
    ASSERT_EQ(snapshot->size(), 1);
    const auto utf8 = std::find_if(
        snapshot->first().cbegin(), snapshot->first().cend(),
        [](const Pasteboard::Entry &entry) { return entry.type == QStringLiteral("UTF8_STRING"); });
    ASSERT_NE(utf8, snapshot->first().cend());
    EXPECT_EQ(utf8->data, large.toUtf8());

    copyElsewhere({textItem(QStringLiteral("something else"))});
    ASSERT_TRUE(pasteboard.writeItems(*snapshot));
    EXPECT_TRUE(QTest::qWaitFor([&] { return clipboard()->text() == large; }, answerTimeoutMs))
        << "served back " << clipboard()->text().size() << " of " << large.size() << " characters";
}

TEST_F(TextInsertionTest, TheChangeCountCountsEveryOwnershipChange)
{
    const qint64 before = pasteboard.changeCount();
    copyElsewhere({textItem(QStringLiteral("one"))});
    copyElsewhere({textItem(QStringLiteral("two"))});
    EXPECT_EQ(pasteboard.changeCount(), before + 2);
    ASSERT_TRUE(pasteboard.writeItems({{{Pasteboard::plainTextType, "three", {}, 8}}}));
    EXPECT_EQ(pasteboard.changeCount(), before + 3);
    pasteboard.clearContents();
    EXPECT_EQ(pasteboard.changeCount(), before + 4);
    const auto empty = QCoro::waitFor(pasteboard.readItems());
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->isEmpty());
}

} // namespace
