// The answer card on the real display under the real window manager: it opens over a text field
// of another application without taking the field's focus, a user's click on Copy puts the answer
// on the clipboard, and Escape, taken by the global hotkeys only while the card is up, closes it.
// With SONORVELLE_SCREEN_DIR set, the cards are also saved as pictures over a light and a dark
// desktop, in English and German.

#include "FixtureProgram.h"
#include "Integration/PasteTarget.h"
#include "Integration/X11TestSupport.h"

#include "Core/Hotkey/HotkeyManager.h"
#include "Core/Permissions.h"
#include "Fakes/FakeAnswerSpeaker.h"
#include "Fakes/TestAppSettings.h"
#include "Platform/X11/X11KeyEventTap.h"
#include "Platform/X11/X11OverlayWindowing.h"
#include "Platform/X11/X11Pasteboard.h"
#include "Support/L10n.h"
#include "UI/AnswerCard/AnswerCardController.h"
#include "UI/AnswerCard/AnswerCardModel.h"
#include "UI/AnswerCard/AnswerCardPanel.h"

#include "TestSupport/QuickItems.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QQuickItem>
#include <QScreen>
#include <QTest>

#include <QCoro/QCoroTask>

#include <gtest/gtest.h>

#include <tuple>

namespace {

constexpr int answerTimeoutMs = 10000;

class AnswerCardIntegrationTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
            << "X11 display: the integration tests need the display scripts/test starts";
        ASSERT_TRUE(m_target.start()) << "the text field fixture did not start";
        ASSERT_TRUE(
            QTest::qWaitFor([this] { return (m_field = activeWindow()) != 0; }, answerTimeoutMs))
            << "window manager: no active window after the fixture started";
        L10n::shared().apply(QStringLiteral("en"));

        auto speaker = std::make_unique<FakeAnswerSpeaker>();
        AnswerCardController::Services services;
        services.settings = m_settings.settings.get();
        services.l10n = &L10n::shared();
        services.clock = &Clock::system();
        services.windowing = &m_windowing;
        services.pasteboard = &m_pasteboard;
        m_card = std::make_unique<AnswerCardController>(services, std::move(speaker));
    }

    void TearDown() override
    {
        if (m_card) {
            EXPECT_TRUE(m_card->qmlWarnings().isEmpty())
                << m_card->qmlWarnings().join(u'\n').toStdString();
        }
        m_card.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        L10n::shared().apply(QStringLiteral("en"));
    }

    // Shows a card and waits until it rests on screen.
    AnswerCardPanel *showAnswer(const QString &question, const QString &answer)
    {
        m_card->show(question, answer);
        return rest();
    }

    AnswerCardPanel *rest()
    {
        AnswerCardPanel *panel = m_card->panel();
        if (!panel || !QTest::qWaitForWindowExposed(panel, answerTimeoutMs)) {
            return nullptr;
        }
        if (!QTest::qWaitFor([panel] { return panel->opacity() >= 1; }, answerTimeoutMs)) {
            return nullptr;
        }
        // Long enough for a window manager that would move the focus to have done it.
        QTest::qWait(300);
        return panel;
    }

    // The centre of a named item of the card, on the screen.
    QPoint centreOf(const char *name)
    {
        AnswerCardPanel *panel = m_card->panel();
        QQuickItem *item =
            panel ? findVisible(panel->contentItem(), QString::fromLatin1(name)) : nullptr;
        if (!item) {
            return {};
        }
        return panel->mapToGlobal(
            item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
    }

    QString clipboardText()
    {
        X11Pasteboard reader;
        const auto items = QCoro::waitFor(reader.readItems());
        if (!items) {
            return QStringLiteral("<unreadable>");
        }
        for (const Pasteboard::Item &item : *items) {
            for (const Pasteboard::Entry &entry : item) {
                if (entry.type == QStringLiteral("UTF8_STRING")) {
                    return QString::fromUtf8(entry.data);
                }
            }
        }
        return QStringLiteral("<no text>");
    }

    void saveScreenshot(const QString &dir, const QString &name)
    {
        AnswerCardPanel *panel = m_card->panel();
        ASSERT_NE(panel, nullptr);
        const QRect area = panel->geometry().adjusted(-24, -24, 24, 24);
        const QImage shot = QGuiApplication::primaryScreen()
                                ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                                .toImage();
        ASSERT_TRUE(shot.save(QDir(dir).filePath(name + QStringLiteral(".png"))));
    }

    PasteTarget m_target;
    xcb_window_t m_field = 0;
    TestAppSettings m_settings {true};
    X11OverlayWindowing m_windowing;
    X11Pasteboard m_pasteboard;
    std::unique_ptr<AnswerCardController> m_card;
};

} // namespace

TEST_F(AnswerCardIntegrationTest, OpensOverTheFocusedFieldCopiesOnAClickAndClosesOnEscape)
{
    ASSERT_TRUE(Permissions::accessibilityGranted())
        << "Accessibility trust: X11 with XTest and XInput 2 and the AT-SPI bus enabled";
    const quint32 escape = keycodeFor(XKB_KEY_Escape);
    ASSERT_NE(escape, 0u) << "the display's keymap has no Escape";

    // The start-up's Escape wiring: taken while no session runs exactly while the card is up.
    X11KeyEventTap keyTap;
    HotkeyManager hotkeys {{m_settings.settings.get(), &keyTap, [] {
                                return Permissions::readAccessibility();
                            }}};
    hotkeys.onEscape = [this] {
        m_card->dismiss();
    };
    hotkeys.escapeAlsoActive = [this] {
        return m_card->isShowing();
    };
    QObject::connect(m_card.get(), &AnswerCardController::isShowingChanged, &hotkeys,
                     &HotkeyManager::refreshEscape);
    hotkeys.start();
    ASSERT_TRUE(QTest::qWaitFor([&hotkeys] { return hotkeys.hasTap(); }, answerTimeoutMs))
        << "the XInput 2 listener could not be installed";

    const QString answer = QStringLiteral("The museum opens at ten and closes at six.");
    AnswerCardPanel *panel = showAnswer(QStringLiteral("When does the museum open?"), answer);
    ASSERT_NE(panel, nullptr) << "the card never showed";
    EXPECT_EQ(activeWindow(), m_field) << "showing the card moved the focus";

    const QPoint copy = centreOf("copyButton");
    ASSERT_FALSE(copy.isNull());
    ASSERT_TRUE(clickAt(copy));
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_card->model() && m_card->model()->copied(); },
                                answerTimeoutMs))
        << "the click on Copy never reached the card";
    EXPECT_EQ(clipboardText(), answer);
    QTest::qWait(300);
    EXPECT_EQ(activeWindow(), m_field) << "clicking the card moved the focus";

    QProcess injector;
    injector.setProcessChannelMode(QProcess::ForwardedChannels);
    injector.start(FixtureProgram::path(u"sonorvelle_key_injector"),
                   {QStringLiteral("tap:%1").arg(escape)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_card->isShowing(); }, answerTimeoutMs))
        << "Escape did not close the card";
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return injector.state() == QProcess::NotRunning; }, answerTimeoutMs));
    EXPECT_EQ(activeWindow(), m_field);
    EXPECT_TRUE(m_target.text().isEmpty()) << "the Escape or the click reached the field";

    hotkeys.cancelSubscription();
    hotkeys.tearDownTap();
}

TEST_F(AnswerCardIntegrationTest, CardsDrawnOverLightAndDarkDesktopsInEnglishAndGerman)
{
    const QString dir = qEnvironmentVariable("SONORVELLE_SCREEN_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(dir);
    }
    const QString longAnswer = QStringLiteral(
        "Start with the basics: a good night's sleep, water before coffee and ten minutes of "
        "daylight in the morning. Then plan the hardest task for the first two hours of the day, "
        "when attention is freshest, and keep meetings for the afternoon. ");
    struct Shot
    {
        const char *name;
        const char *language;
        QRgb desktop;
        bool error;
        QString question;
        QString answer;
    };
    const Shot shots[] = {
        {"card-en-light", "en", qRgb(232, 232, 236), false,
         QStringLiteral("What is the capital of Australia?"),
         QStringLiteral("Canberra is the capital of Australia. It was chosen as a compromise "
                        "between Sydney and Melbourne and became the seat of government in 1927.")},
        {"card-en-dark", "en", qRgb(32, 32, 36), false,
         QStringLiteral("How do I plan a productive day, and what should I do first every "
                        "morning before I open my e-mail?"),
         longAnswer.repeated(6)},
        {"card-de-light", "de", qRgb(232, 232, 236), false,
         QStringLiteral("Wie spät ist es in Tokio?"),
         QStringLiteral("In Tokio ist es gerade 17:40 Uhr, acht Stunden später als in Berlin.")},
        {"card-de-dark", "de", qRgb(32, 32, 36), true, QString(), QString()},
        {"card-mixed-dark", "en", qRgb(32, 32, 36), false, QStringLiteral("Translate please"),
         QStringLiteral(
             "東京の天気は晴れ、最高気温は二十三度です。\nהשקיעה היום בשעה שבע ועשרים.")},
    };
    for (const Shot &shot : shots) {
        SCOPED_TRACE(shot.name);
        paintDesktop(shot.desktop);
        L10n::shared().apply(QString::fromLatin1(shot.language));
        if (shot.error) {
            m_card->showError();
            ASSERT_NE(rest(), nullptr);
        } else {
            ASSERT_NE(showAnswer(shot.question, shot.answer), nullptr);
        }
        AnswerCardPanel *panel = m_card->panel();
        // The card lies wholly on the screen and its content fills the window exactly.
        EXPECT_TRUE(
            QGuiApplication::primaryScreen()->availableGeometry().contains(panel->geometry()));
        EXPECT_EQ(panel->height(), int(std::ceil(panel->rootObject()->implicitHeight())));
        if (!dir.isEmpty()) {
            saveScreenshot(dir, QString::fromLatin1(shot.name));
        }
    }
    // The signed-out card, with its Sign in button.
    const std::tuple<const char *, const char *, QRgb> signInShots[] = {
        {"signin-en-light", "en", qRgb(232, 232, 236)},
        {"signin-de-dark", "de", qRgb(32, 32, 36)},
    };
    for (const auto &[name, language, desktop] : signInShots) {
        SCOPED_TRACE(name);
        paintDesktop(desktop);
        L10n::shared().apply(QString::fromLatin1(language));
        m_card->showSignInRequired();
        ASSERT_NE(rest(), nullptr);
        AnswerCardPanel *panel = m_card->panel();
        EXPECT_EQ(panel->height(), int(std::ceil(panel->rootObject()->implicitHeight())));
        if (!dir.isEmpty()) {
            saveScreenshot(dir, QString::fromLatin1(name));
        }
    }
    m_card->dismiss();
    paintDesktop(qRgb(0, 0, 0));
}
