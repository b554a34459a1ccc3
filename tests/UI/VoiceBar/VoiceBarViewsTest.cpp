#include "Core/DictationRig.h"
#include "Platform/X11/X11OverlayWindowing.h"
#include "Support/L10n.h"
#include "UI/VoiceBar/QuickVoiceBarPanel.h"
#include "UI/VoiceBar/QuickVoiceBarPanelFactory.h"
#include "UI/VoiceBar/VoiceBarGeometry.h"
#include "UI/VoiceBar/VoiceBarModel.h"

#include "TestSupport/Appearance.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QQuickItem>
#include <QQuickView>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

QQuickItem *find(QQuickItem *root, const QString &name)
{
    if (!root) {
        return nullptr;
    }
    if (root->objectName() == name) {
        return root;
    }
    const auto children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = find(child, name)) {
            return found;
        }
    }
    return nullptr;
}

// Whether the item and all its ancestors are visible.
bool shows(QQuickItem *item)
{
    return item && item->isVisible() && item->opacity() > 0;
}

// The real views over a dictation controller on fakes, in windows of the offscreen platform
// (no compositor: an opaque fill clipped to the view's shape).
class VoiceBarViewsTest : public testing::Test
{
protected:
    VoiceBarViewsTest() { L10n::shared().apply(QStringLiteral("en")); }
    ~VoiceBarViewsTest() override
    {
        L10n::shared().apply(std::nullopt);
        EXPECT_TRUE(factory.qmlWarnings().isEmpty())
            << factory.qmlWarnings().join(u'\n').toStdString();
    }

    std::unique_ptr<QuickVoiceBarPanel> open(std::unique_ptr<QuickVoiceBarPanel> panel)
    {
        panel->setFrame(QRect(QPoint(40, 40), panel->window().size()));
        panel->orderFront();
        panel->fade(1, 1ms, true);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&panel->window()));
        settle();
        return panel;
    }

    static void settle()
    {
        DictationRig::pump();
        QTest::qWait(30);
        DictationRig::pump();
    }

    static QString text(QQuickItem *root, const char *name)
    {
        QQuickItem *item = find(root, QString::fromLatin1(name));
        return item ? item->property("text").toString() : QStringLiteral("<missing>");
    }

    static bool visible(QQuickItem *root, const char *name)
    {
        return shows(find(root, QString::fromLatin1(name)));
    }

    static int bars(QQuickItem *root)
    {
        QQuickItem *waveform = find(root, QStringLiteral("waveform"));
        int count = 0;
        for (QQuickItem *child : waveform ? waveform->childItems() : QList<QQuickItem *>()) {
            count += child->width() == 2 ? 1 : 0;
        }
        return count;
    }

    DictationRig rig;
    VoiceBarModel model;
    X11OverlayWindowing windowing;
    QuickVoiceBarPanelFactory factory {rig.c(), windowing};
};

} // namespace

TEST_F(VoiceBarViewsTest, TheClassicBarShowsTheSessionsStateTranscriptAndCountdown)
{
    rig.startHeld();
    auto panel = open(factory.makeQuickBar(VoiceBarStyle::classic, model));
    QQuickItem *root = panel->root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(panel->window().size(), QSize(380, 44));
    EXPECT_TRUE(visible(root, "recordingDot"));
    EXPECT_FALSE(visible(root, "spinner"));
    EXPECT_EQ(text(root, "status"), QStringLiteral("Listening…"));
    EXPECT_EQ(text(root, "cancelHint"), QStringLiteral("esc to cancel"));
    EXPECT_FALSE(visible(root, "countdownBadge"));
    EXPECT_EQ(bars(root), 24);
    EXPECT_EQ(find(root, QStringLiteral("waveform"))->opacity(), 1.0);
    EXPECT_FALSE(panel->window().mask().contains(QPoint(0, 0))) << "black corners";

    rig.say(EngineUpdate::makeFinalized(QStringLiteral("hello world ")));
    rig.say(EngineUpdate::makeVolatile(QStringLiteral("and more")));
    settle();
    EXPECT_TRUE(visible(root, "transcript"));
    EXPECT_FALSE(visible(root, "status"));
    EXPECT_EQ(text(root, "transcriptFinalized"), QStringLiteral("hello world "));
    EXPECT_EQ(text(root, "transcriptVolatile"), QStringLiteral("and more"));

    // The last minute of the session's nine.
    rig.advance(DictationController::maxSessionDuration - 42s);
    settle();
    EXPECT_TRUE(visible(root, "countdownBadge"));
    EXPECT_EQ(text(root, "countdown"), QStringLiteral("0:42"));

    // A long transcript keeps its end in view and inside the bar.
    QString words;
    for (int i = 0; i < 60; ++i) {
        words += QStringLiteral("word%1 ").arg(i);
    }
    rig.say(EngineUpdate::makeFinalized(words));
    settle();
    const QString shown = text(root, "transcriptFinalized");
    EXPECT_TRUE(shown.startsWith(QChar(0x2026))) << shown.toStdString();
    QQuickItem *transcript = find(root, QStringLiteral("transcript"));
    EXPECT_LE(transcript->mapToScene(QPointF(transcript->width(), 0)).x(),
              find(root, QStringLiteral("countdownBadge"))->mapToScene(QPointF()).x());

    rig.c().cancel(true);
    settle();
    // Not recording (processing, or idle while fading out): the spinner and a dimmed waveform.
    EXPECT_TRUE(visible(root, "spinner"));
    EXPECT_FALSE(visible(root, "recordingDot"));
    EXPECT_EQ(text(root, "status"), QStringLiteral("Processing…"));
    EXPECT_NEAR(find(root, QStringLiteral("waveform"))->opacity(), 0.4, 1e-6);
}

TEST_F(VoiceBarViewsTest, TheNotchTabHangsFromTheTopWithTheTranscriptOnAChipBelow)
{
    rig.startHeld();
    auto panel = open(factory.makeQuickBar(VoiceBarStyle::notch, model));
    QQuickItem *root = panel->root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(panel->window().size(), QSize(480, 76));
    EXPECT_TRUE(visible(root, "recordingDot"));
    EXPECT_EQ(bars(root), 12);
    EXPECT_FALSE(visible(root, "transcriptChip"));
    QQuickItem *tab = find(root, QStringLiteral("notchTab"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return tab->mapToScene(QPointF()).y() == 0; }, 2000))
        << "the tab never slid down to the top edge";
    EXPECT_EQ(tab->mapToScene(QPointF()).x(), 145);
    EXPECT_EQ(panel->window().mask().boundingRect(), QRect(145, 0, 190, 27));

    rig.say(EngineUpdate::makeFinalized(QStringLiteral("dictated words")));
    settle();
    ASSERT_TRUE(visible(root, "transcriptChip"));
    QQuickItem *chip = find(root, QStringLiteral("transcriptChip"));
    const QPointF chipCentre = chip->mapToScene(QPointF(chip->width() / 2, chip->height() / 2));
    EXPECT_TRUE(panel->window().mask().contains(chipCentre.toPoint()))
        << "the chip is cut away without a compositor";
    EXPECT_EQ(text(root, "transcriptFinalized"), QStringLiteral("dictated words"));

    rig.c().cancel(true);
    settle();
    EXPECT_FALSE(visible(root, "transcriptChip"));
    EXPECT_FALSE(visible(root, "waveform"));
    EXPECT_TRUE(visible(root, "spinner"));
    EXPECT_EQ(text(root, "status"), QStringLiteral("Processing…"));
    EXPECT_EQ(panel->window().mask().boundingRect(), QRect(145, 0, 190, 27));
}

TEST_F(VoiceBarViewsTest, ToastsShowTheirWholeMessageInBothStyles)
{
    // Three lines or more in either style, ending in the words a user must read.
    const QString message = L10n::shared().string(
        QStringLiteral("error.locale_not_supported"),
        QStringLiteral("Deutsch (Deutschland), Englisch (Vereinigtes Königreich) und Französisch "
                       "(Frankreich), alle drei zugleich"));
    for (const VoiceBarStyle style : {VoiceBarStyle::classic, VoiceBarStyle::notch}) {
        SCOPED_TRACE(RawEnum::rawValue(style).toStdString());
        auto panel = open(factory.makeQuickToast(
            style,
            {message, VoiceBarPanelFactory::Symbol::warning, VoiceBarPanelFactory::Tint::warn}));
        QQuickItem *root = panel->root();
        ASSERT_NE(root, nullptr);
        QQuickItem *label = find(root, QStringLiteral("toastMessage"));
        ASSERT_NE(label, nullptr);
        EXPECT_GE(label->property("lineCount").toInt(), 3);
        EXPECT_FALSE(label->property("truncated").toBool());
        // The window grew to hold the last line, and its shape keeps it.
        const QPointF lastLine = label->mapToScene(QPointF(label->width() / 2, label->height()));
        EXPECT_LE(lastLine.y(), panel->window().height());
        EXPECT_GT(panel->window().height(), VoiceBarGeometry::size(style).height());
        EXPECT_TRUE(
            panel->window().mask().contains(QPoint(int(lastLine.x()), int(lastLine.y()) - 4)))
            << "the last line is clipped";
        EXPECT_TRUE(visible(root, "toastSymbol"));
        EXPECT_EQ(find(root, QStringLiteral("toastSymbol"))->property("status").toInt(),
                  1 /* Image.Ready */);
    }
}

// Every style in light and dark, English and German, drawn as the desktop shows it without a
// compositor: the window's pixels inside its shape over the desktop. With SONORVELLE_SCREEN_DIR set
// the pictures are kept for a look by eye.
TEST_F(VoiceBarViewsTest, DrawsInBothStylesLightAndDark)
{
    const QString dir = qEnvironmentVariable("SONORVELLE_SCREEN_DIR");
    const QPalette original = QGuiApplication::palette();
    rig.startHeld();
    rig.say(EngineUpdate::makeFinalized(QStringLiteral("Please send the report to Anna ")));
    rig.say(EngineUpdate::makeVolatile(QStringLiteral("before Friday")));
    for (int i = 0; i < 24; ++i) {
        model.push(float(0.5 + 0.45 * std::sin(i * 0.7)));
    }
    rig.advance(DictationController::maxSessionDuration - 42s);

    const auto save = [&](QuickVoiceBarPanel &panel, const QString &name) {
        const QImage frame = panel.window().grabWindow();
        ASSERT_FALSE(frame.isNull());
        QImage desktop(frame.size() + QSize(40, 40), QImage::Format_ARGB32);
        desktop.fill(QColor(86, 120, 150));
        QPainter painter(&desktop);
        const QRegion mask = panel.window().mask();
        painter.setClipRegion(mask.isEmpty() ? QRegion(frame.rect()).translated(20, 20)
                                             : mask.translated(20, 20));
        painter.drawImage(QPoint(20, 20), frame);
        painter.end();
        if (!dir.isEmpty()) {
            QDir().mkpath(dir);
            desktop.save(QDir(dir).filePath(name + QStringLiteral(".png")));
        }
    };
    for (const bool dark : {false, true}) {
        useAppearance(dark, original);
        for (const char *code : {"en", "de"}) {
            L10n::shared().apply(QString::fromLatin1(code));
            const QString suffix = QStringLiteral("-%1-%2").arg(
                QString::fromLatin1(code), dark ? QStringLiteral("dark") : QStringLiteral("light"));
            for (const VoiceBarStyle style : {VoiceBarStyle::classic, VoiceBarStyle::notch}) {
                const QString name = RawEnum::rawValue(style);
                auto bar = open(factory.makeQuickBar(style, model));
                QTest::qWait(300);
                save(*bar, name + QStringLiteral("-recording") + suffix);
                const QImage frame = bar->window().grabWindow();
                if (style == VoiceBarStyle::classic) {
                    // The HUD follows the appearance.
                    EXPECT_EQ(frame.pixelColor(190, 4).lightness() < 128, dark);
                }
                auto toast = open(factory.makeQuickToast(
                    style,
                    {L10n::shared().string(QStringLiteral("cloud.quotaBody")),
                     VoiceBarPanelFactory::Symbol::info, VoiceBarPanelFactory::Tint::secondary}));
                QTest::qWait(100);
                save(*toast, name + QStringLiteral("-toast") + suffix);
                auto longToast = open(factory.makeQuickToast(
                    style,
                    {L10n::shared().string(QStringLiteral("error.locale_not_supported"),
                                           QStringLiteral("Deutsch (Deutschland)")),
                     VoiceBarPanelFactory::Symbol::warning, VoiceBarPanelFactory::Tint::warn}));
                QTest::qWait(100);
                save(*longToast, name + QStringLiteral("-toast-long") + suffix);
            }
        }
    }
    rig.c().cancel(true);
    for (const VoiceBarStyle style : {VoiceBarStyle::classic, VoiceBarStyle::notch}) {
        auto bar = open(factory.makeQuickBar(style, model));
        QTest::qWait(300);
        save(*bar, RawEnum::rawValue(style) + QStringLiteral("-processing-de-dark"));
    }
    QGuiApplication::setPalette(original);
}
