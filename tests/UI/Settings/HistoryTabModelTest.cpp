#include "UI/Settings/HistoryTabModel.h"
#include "Base/ManualClock.h"
#include "Core/Audio/MicrophoneDevices.h"
#include "Core/History/HistoryStore.h"
#include "Fakes/FakeAudioHardware.h"
#include "Fakes/FakePasteboard.h"
#include "Fakes/TestAppSettings.h"
#include "Support/L10n.h"
#include "UI/Settings/SettingsRouter.h"
#include "UI/Settings/SettingsWindowController.h"

#include "TestSupport/QuickItems.h"

#include "TestSupport/Appearance.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);

TranscriptRecord record(const QString &cleaned, const QDateTime &date = kNow,
                        std::optional<QString> app = QStringLiteral("Mail"))
{
    TranscriptRecord r;
    r.date = date;
    r.rawText = cleaned + QStringLiteral(" raw");
    r.cleanedText = cleaned;
    r.appName = std::move(app);
    r.engineName = QStringLiteral("whisper");
    r.localeIdentifier = QStringLiteral("en-US");
    return r;
}

// Settings, a history file in a fresh folder and a clipboard, all the test's own.
struct HistoryRig
{
    QTemporaryDir dir;
    ManualClock clock {kNow};
    TestAppSettings store {true};
    std::unique_ptr<HistoryStore> history;
    FakePasteboard pasteboard {{{{Pasteboard::plainTextType, "before"}, {"text/html", "<b>"}}}};

    HistoryRig()
    {
        L10n::shared().apply(QStringLiteral("en"));
        history = openStore();
    }

    QString path() const { return dir.filePath(QStringLiteral("Sonorvelle/history.json")); }

    std::unique_ptr<HistoryStore> openStore()
    {
        AppSettings *settings = store.settings.get();
        return std::make_unique<HistoryStore>(
            path(), clock, [settings] { return settings->historyRetentionDays(); });
    }

    // The cleaned texts a fresh store reads from the file, newest first.
    QStringList textsOnDisk()
    {
        QStringList texts;
        const std::unique_ptr<HistoryStore> fresh = openStore();
        for (const TranscriptRecord &r : fresh->records()) {
            texts << r.cleanedText;
        }
        return texts;
    }

    // Adds oldest first, so the list reads in the given order reversed.
    void fill(const QList<TranscriptRecord> &records)
    {
        for (const TranscriptRecord &r : records) {
            history->add(r);
        }
    }

    QString clipboardText() const
    {
        return pasteboard.content.isEmpty()
            ? QString()
            : QString::fromUtf8(pasteboard.content.at(0).at(0).data);
    }
};

} // namespace

TEST(HistoryTabModel, FirstLineIsTheFirstNonEmptyLineOrTheTextItself)
{
    const struct
    {
        QString text;
        QString expected;
    } cases[] = {
        {"One line", "One line"},
        {"First\nsecond\nthird", "First"},
        {"\n\nAfter blanks\nmore", "After blanks"},
        {"  \nspaces count as text", "  "},
        {"", ""},
        {"\n\n\n", "\n\n\n"},
        {"Trailing\n", "Trailing"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(HistoryTabModel::firstLine(c.text), c.expected) << c.text.toStdString();
    }
}

TEST(HistoryTabModel, RowsShowLocalisedDateAppOrUnknownAndFirstLineAndFollowTheStore)
{
    HistoryRig rig;
    rig.fill({record("Older\nsecond line", kNow.addSecs(-3600), std::nullopt),
              record("Newest", kNow, QStringLiteral("Firefox"))});
    HistoryTabModel model(*rig.store.settings, *rig.history, L10n::shared(), &rig.pasteboard);
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);

    ASSERT_EQ(model.rowCount(), 2);
    auto role = [&model](int row, HistoryTabModel::Role r) {
        return model.data(model.index(row), r).toString();
    };
    EXPECT_EQ(role(0, HistoryTabModel::FirstLineRole), QStringLiteral("Newest"));
    EXPECT_EQ(role(0, HistoryTabModel::AppNameRole), QStringLiteral("Firefox"));
    EXPECT_EQ(role(1, HistoryTabModel::FirstLineRole), QStringLiteral("Older"));
    EXPECT_EQ(role(1, HistoryTabModel::AppNameRole), QStringLiteral("Unknown app"));
    EXPECT_EQ(role(0, HistoryTabModel::DateTextRole),
              QLocale().toString(kNow.toLocalTime(), QLocale::ShortFormat));
    // The date follows the locale, not the interface tables.
    EXPECT_EQ(HistoryTabModel::dateText(kNow, QLocale(QLocale::German)),
              QLocale(QLocale::German).toString(kNow.toLocalTime(), QLocale::ShortFormat));
    EXPECT_NE(HistoryTabModel::dateText(kNow, QLocale(QLocale::German)),
              HistoryTabModel::dateText(kNow, QLocale(QLocale::English, QLocale::UnitedStates)));

    L10n::shared().apply(QStringLiteral("de"));
    EXPECT_NE(role(1, HistoryTabModel::AppNameRole), QStringLiteral("Unknown app"));
    L10n::shared().apply(QStringLiteral("en"));

    // A dictation finished while the tab is open shows at once; a megabyte line is cut for the row.
    QSignalSpy counts(&model, &HistoryTabModel::countChanged);
    rig.history->add(record(QString(1 << 20, QLatin1Char('x'))));
    EXPECT_EQ(counts.count(), 1);
    EXPECT_EQ(model.count(), 3);
    EXPECT_EQ(role(0, HistoryTabModel::FirstLineRole).size(), HistoryTabModel::maxLineLength);
}

TEST(HistoryTabModel, EveryRetentionPickStoresThePeriodAndPrunesAtOnce)
{
    HistoryRig rig;
    rig.fill({record("ten days", kNow.addDays(-10)), record("two days", kNow.addDays(-2)),
              record("an hour", kNow.addSecs(-3600))});
    HistoryTabModel model(*rig.store.settings, *rig.history, L10n::shared(), &rig.pasteboard);

    const QStringList labels = {"1 day", "7 days", "30 days", "Forever"};
    const QVariantList options = model.retentionOptionList();
    ASSERT_EQ(options.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(options.at(i).toMap().value("label").toString(), labels.at(i));
    }
    EXPECT_EQ(model.retentionIndex(), 2);

    const struct
    {
        int index;
        qint64 days;
        QStringList kept;
    } picks[] = {
        {3, 0, {"an hour", "two days", "ten days"}},
        {1, 7, {"an hour", "two days"}},
        {0, 1, {"an hour"}},
    };
    for (const auto &pick : picks) {
        model.chooseRetention(pick.index);
        EXPECT_EQ(rig.store->historyRetentionDays(), pick.days);
        EXPECT_EQ(model.retentionIndex(), pick.index);
        EXPECT_EQ(rig.textsOnDisk(), pick.kept) << pick.days;
    }

    // Picking the current period again prunes again.
    rig.clock.setNow(kNow.addDays(2));
    model.chooseRetention(0);
    EXPECT_EQ(model.count(), 0);
    EXPECT_TRUE(rig.textsOnDisk().isEmpty());

    // Off the list: no entry shows; a pick off the list changes nothing.
    rig.store->setHistoryRetentionDays(14);
    EXPECT_EQ(model.retentionIndex(), -1);
    model.chooseRetention(4);
    EXPECT_EQ(rig.store->historyRetentionDays(), 14);
}

TEST(HistoryTabModel, CopyReplacesTheClipboardWithTheCleanedTextOrElseTheRawText)
{
    HistoryRig rig;
    TranscriptRecord noCleanup = record(QString());
    noCleanup.rawText = QStringLiteral("only the raw words");
    TranscriptRecord nothing = record(QString());
    nothing.rawText.clear();
    rig.fill({nothing, noCleanup, record("Cleaned text\nline two")});
    HistoryTabModel model(*rig.store.settings, *rig.history, L10n::shared(), &rig.pasteboard);

    const struct
    {
        int row;
        QString expected;
    } cases[] = {{0, "Cleaned text\nline two"}, {1, "only the raw words"}, {2, ""}};
    for (const auto &c : cases) {
        model.copyRecord(c.row);
        // One item of plain text, replacing every item and type that was there.
        ASSERT_EQ(rig.pasteboard.content.size(), 1);
        ASSERT_EQ(rig.pasteboard.content.at(0).size(), 1);
        EXPECT_EQ(rig.pasteboard.content.at(0).at(0).type, Pasteboard::plainTextType);
        EXPECT_EQ(rig.clipboardText(), c.expected) << c.row;
        EXPECT_EQ(rig.pasteboard.calls.mid(rig.pasteboard.calls.size() - 2),
                  QStringList({"clear", "write"}));
    }
    const auto writes = rig.pasteboard.writes.size();
    model.copyRecord(3);
    model.copyRecord(-1);
    EXPECT_EQ(rig.pasteboard.writes.size(), writes);
}

TEST(HistoryTabModel, DeleteRemovesOnlyItsRecordAndDeleteAllEmptiesTheFile)
{
    HistoryRig rig;
    rig.fill({record("a"), record("b"), record("c")});
    HistoryTabModel model(*rig.store.settings, *rig.history, L10n::shared(), &rig.pasteboard);

    model.deleteRecord(1);
    EXPECT_EQ(rig.textsOnDisk(), QStringList({"c", "a"}));
    model.deleteRecord(5);
    EXPECT_EQ(rig.textsOnDisk(), QStringList({"c", "a"}));
    model.deleteAll();
    EXPECT_EQ(model.count(), 0);
    EXPECT_TRUE(rig.textsOnDisk().isEmpty());
    EXPECT_TRUE(QFile::exists(rig.path()));
}

namespace {

// The real settings window on the History tab, over the rig's store and clipboard.
struct HistoryWindowRig : HistoryRig
{
    SettingsRouter router;
    // The window's Dictation tab lists them; no device is needed here.
    FakeAudioHardware hardware;
    MicrophoneDevices microphones {hardware, clock};
    std::unique_ptr<SettingsWindowController> controller;

    HistoryWindowRig()
    {
        SettingsWindowController::Services services;
        services.settings = store.settings.get();
        services.l10n = &L10n::shared();
        services.router = &router;
        services.clock = &clock;
        services.microphones = &microphones;
        services.history = history.get();
        services.pasteboard = &pasteboard;
        controller = std::make_unique<SettingsWindowController>(services);
    }

    ~HistoryWindowRig()
    {
        if (controller) {
            EXPECT_TRUE(controller->qmlWarnings().isEmpty())
                << controller->qmlWarnings().join('\n').toStdString();
        }
        controller.reset();
        L10n::shared().apply(QStringLiteral("en"));
    }

    QQuickView &open()
    {
        controller->show(SettingsTab::history);
        QQuickView *view = controller->window();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view));
        settle();
        return *view;
    }

    static void settle()
    {
        QCoreApplication::processEvents();
        QTest::qWait(1);
        QCoreApplication::processEvents();
    }

    QQuickItem *item(const char *name, QQuickItem *below = nullptr)
    {
        return findVisible(below ? below : controller->window()->contentItem(),
                           QString::fromLatin1(name));
    }

    // The delegates of the list, top to bottom.
    QList<QQuickItem *> rows()
    {
        QList<QQuickItem *> found;
        QQuickItem *list = item("historyList");
        if (!list) {
            return found;
        }
        auto *content = list->property("contentItem").value<QQuickItem *>();
        for (QQuickItem *child : content->childItems()) {
            if (child->objectName() == QStringLiteral("historyRow") && child->isVisible()) {
                found << child;
            }
        }
        std::sort(found.begin(), found.end(),
                  [](QQuickItem *a, QQuickItem *b) { return a->y() < b->y(); });
        return found;
    }

    QString rowText(QQuickItem *row)
    {
        QQuickItem *text = item("historyText", row);
        return text ? text->property("text").toString() : QString();
    }

    // A real click through the window's hit-testing, after scrolling the pane to it.
    void click(QQuickItem *target)
    {
        ASSERT_NE(target, nullptr);
        QQuickItem *pane = item("contentPane");
        auto *content = pane->property("contentItem").value<QQuickItem *>();
        if (pane->isAncestorOf(target)) {
            const qreal y = target->mapToItem(content, QPointF(0, 0)).y();
            const qreal most = std::max<qreal>(0, content->height() - pane->height());
            pane->setProperty("contentY", std::clamp<qreal>(y - pane->height() / 3, 0, most));
            settle();
        }
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(controller->window(), Qt::LeftButton, {}, centre.toPoint());
        settle();
    }

    std::unique_ptr<AppSettings> reread()
    {
        return std::make_unique<AppSettings>(store.defaults, store.services());
    }

    // Opens the retention menu and returns its entry for `days`.
    QQuickItem *retentionEntry(const char *days)
    {
        click(item("retentionPicker"));
        QObject *menu = retentionMenu();
        EXPECT_TRUE(QTest::qWaitFor([menu] { return menu->property("opened").toBool(); }));
        return findVisible(menu->property("contentItem").value<QQuickItem *>(),
                           QStringLiteral("option_") + QLatin1String(days));
    }

    QObject *retentionMenu()
    {
        return item("retentionPicker")->findChild<QObject *>(QStringLiteral("dropdownMenu"));
    }
};

} // namespace

TEST(HistoryTab, EmptyHistoryShowsTheDashedBoxAndNoDeleteAll)
{
    HistoryWindowRig rig;
    rig.open();
    EXPECT_NE(rig.item("historyEmptyState"), nullptr);
    EXPECT_EQ(rig.item("historyList"), nullptr);
    EXPECT_EQ(rig.item("historyDeleteAll"), nullptr);

    // A dictation finished while the tab is open replaces the empty state with the list.
    rig.history->add(record("Fresh"));
    rig.settle();
    EXPECT_EQ(rig.item("historyEmptyState"), nullptr);
    ASSERT_EQ(rig.rows().size(), 1);
    EXPECT_EQ(rig.rowText(rig.rows().at(0)), QStringLiteral("Fresh"));
    EXPECT_NE(rig.item("historyDeleteAll"), nullptr);
}

TEST(HistoryTab, ClicksOnSwitchRetentionCopyAndTrashReachTheStores)
{
    HistoryWindowRig rig;
    rig.fill({record("Old one", kNow.addDays(-3)), record("Second\nmore", kNow.addSecs(-60)),
              record("\n\nNewest words", kNow, std::nullopt)});
    rig.open();

    QList<QQuickItem *> rows = rig.rows();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rig.rowText(rows.at(0)), QStringLiteral("Newest words"));
    EXPECT_EQ(rig.item("historyApp", rows.at(0))->property("text").toString(),
              QStringLiteral("Unknown app"));
    EXPECT_EQ(rig.rowText(rows.at(1)), QStringLiteral("Second"));
    // Only the rows after the first have a divider above them.
    const auto dividerShown = [&rig](QQuickItem *row) {
        for (QQuickItem *child : row->childItems()) {
            if (QByteArray(child->metaObject()->className()).startsWith("RowDivider")) {
                return child->isVisible();
            }
        }
        return false;
    };
    EXPECT_FALSE(dividerShown(rows.at(0)));
    EXPECT_TRUE(dividerShown(rows.at(1)));
    EXPECT_TRUE(dividerShown(rows.at(2)));

    // Switching history off keeps the list.
    rig.click(rig.item("historySwitch"));
    EXPECT_FALSE(rig.reread()->historyEnabled());
    EXPECT_EQ(rig.rows().size(), 3);

    rig.click(rig.item("historyCopy", rig.rows().at(1)));
    EXPECT_EQ(rig.clipboardText(), QStringLiteral("Second\nmore"));

    rig.click(rig.item("historyDelete", rig.rows().at(1)));
    EXPECT_EQ(rig.textsOnDisk(), QStringList({"\n\nNewest words", "Old one"}));
    EXPECT_EQ(rig.rows().size(), 2);

    // Choosing "1 day" in the menu stores it and drops the three-day-old record at once.
    rig.click(rig.item("retentionPicker"));
    QObject *menu =
        rig.item("retentionPicker")->findChild<QObject *>(QStringLiteral("dropdownMenu"));
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->property("opened").toBool(); }));
    rig.click(findVisible(menu->property("contentItem").value<QQuickItem *>(),
                          QStringLiteral("option_1")));
    EXPECT_EQ(rig.reread()->historyRetentionDays(), 1);
    EXPECT_EQ(rig.textsOnDisk(), QStringList({"\n\nNewest words"}));
    EXPECT_EQ(rig.rows().size(), 1);
}

// Picking the chosen period again prunes again; the menu closes and the entry stays checked.
TEST(HistoryTab, RePickingTheRetentionPeriodKeepsItsCheckMark)
{
    HistoryWindowRig rig;
    rig.fill({record("two days", kNow.addDays(-2)), record("an hour", kNow.addSecs(-3600))});
    rig.open();

    for (int pick = 0; pick < 2; ++pick) {
        QQuickItem *entry = rig.retentionEntry("1");
        ASSERT_NE(entry, nullptr);
        rig.click(entry);
        EXPECT_TRUE(QTest::qWaitFor([&rig] {
            return !rig.retentionMenu()->property("visible").toBool();
        })) << "pick "
            << pick;
        EXPECT_EQ(rig.reread()->historyRetentionDays(), 1);
        rig.clock.setNow(kNow.addDays(1));
    }
    EXPECT_TRUE(rig.textsOnDisk().isEmpty());

    QQuickItem *entry = rig.retentionEntry("1");
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->property("checked").toBool());
    QQuickItem *week =
        findVisible(rig.retentionMenu()->property("contentItem").value<QQuickItem *>(),
                    QStringLiteral("option_7"));
    ASSERT_NE(week, nullptr);
    EXPECT_FALSE(week->property("checked").toBool());
    QTest::keyClick(rig.controller->window(), Qt::Key_Escape);
    rig.settle();
}

TEST(HistoryTab, DeleteAllAsksFirstAndCancelKeepsEverything)
{
    HistoryWindowRig rig;
    rig.fill({record("a"), record("b")});
    rig.open();

    rig.click(rig.item("historyDeleteAll"));
    ASSERT_NE(rig.item("historyConfirmCancel"), nullptr);
    EXPECT_EQ(rig.textsOnDisk().size(), 2);
    rig.click(rig.item("historyConfirmCancel"));
    EXPECT_TRUE(QTest::qWaitFor([&rig] { return rig.item("historyConfirmCancel") == nullptr; }));
    EXPECT_EQ(rig.textsOnDisk().size(), 2);
    EXPECT_EQ(rig.rows().size(), 2);

    // From the keyboard: the pill takes Space, the question opens with Cancel focused, Escape
    // closes it, and the destructive button deletes.
    QQuickItem *deleteAll = rig.item("historyDeleteAll");
    deleteAll->forceActiveFocus(Qt::TabFocusReason);
    QTest::keyClick(rig.controller->window(), Qt::Key_Space);
    rig.settle();
    ASSERT_TRUE(QTest::qWaitFor([&rig] { return rig.item("historyConfirmCancel") != nullptr; }));
    EXPECT_TRUE(rig.item("historyConfirmCancel")->hasActiveFocus());
    QTest::keyClick(rig.controller->window(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&rig] { return rig.item("historyConfirmCancel") == nullptr; }));
    EXPECT_EQ(rig.textsOnDisk().size(), 2);

    rig.click(rig.item("historyDeleteAll"));
    rig.click(rig.item("historyConfirmDelete"));
    EXPECT_TRUE(rig.textsOnDisk().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&rig] { return rig.item("historyEmptyState") != nullptr; }));
    EXPECT_EQ(rig.item("historyDeleteAll"), nullptr);
}

TEST(HistoryTab, AFullHistoryMakesOnlyTheRowsInSightAndEveryButtonIsNamed)
{
    HistoryWindowRig rig;
    QList<TranscriptRecord> records;
    for (int i = 0; i < HistoryStore::maxRecords; ++i) {
        records << record(QStringLiteral("Record %1").arg(i), kNow.addSecs(-i));
    }
    records.last().cleanedText = QString(1 << 20, QLatin1Char('y'));
    rig.fill(records);
    rig.open();

    const auto rows = rig.rows();
    EXPECT_GT(rows.size(), 3);
    EXPECT_LT(rows.size(), 40);
    for (const char *name : {"historySwitch", "retentionPicker", "historyDeleteAll"}) {
        QQuickItem *control = rig.item(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_TRUE(control->activeFocusOnTab()) << name;
    }
    for (const char *name : {"historyCopy", "historyDelete"}) {
        QQuickItem *control = rig.item(name, rows.at(0));
        ASSERT_NE(control, nullptr) << name;
        EXPECT_TRUE(control->activeFocusOnTab()) << name;
        EXPECT_FALSE(
            QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty())
            << name;
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(rig.item("historyDelete", rows.at(0)))
                  ->text(QAccessible::Name),
              QStringLiteral("Delete"));

    // Tabbing to the Copy of a row out of sight brings it into the list's view.
    QQuickItem *list = rig.item("historyList");
    EXPECT_EQ(list->property("contentY").toReal(), 0);
    rig.item("historyDelete", rows.at(rows.size() - 2))->forceActiveFocus(Qt::TabFocusReason);
    QTest::keyClick(rig.controller->window(), Qt::Key_Tab);
    rig.settle();
    EXPECT_TRUE(rig.item("historyCopy", rows.last())->hasActiveFocus());
    EXPECT_GT(list->property("contentY").toReal(), 0);
}

// Light and dark, English and German (long labels), empty and filled: every frame follows the
// palette and draws without a QML warning. With SONORVELLE_SCREEN_DIR set the frames are kept for
// a look by eye.
TEST(HistoryTab, DrawsEmptyAndFilledInLightAndDarkInEnglishAndGerman)
{
    HistoryWindowRig rig;
    const QPalette original = QGuiApplication::palette();
    const QString dir = qEnvironmentVariable("SONORVELLE_SCREEN_DIR");
    for (const bool dark : {false, true}) {
        useAppearance(dark, original);
        for (const char *code : {"en", "de"}) {
            L10n::shared().apply(QString::fromLatin1(code));
            for (const bool filled : {false, true}) {
                if (filled) {
                    rig.fill({record("Meeting notes for Thursday\nsecond line", kNow.addDays(-1)),
                              record("Please send me the report by Friday, thanks a lot for "
                                     "the quick help with the numbers and the charts",
                                     kNow.addSecs(-600), std::nullopt),
                              record("\nHello world", kNow, QStringLiteral("Firefox"))});
                } else {
                    rig.history->clear();
                }
                QQuickView &view = rig.open();
                rig.settle();
                const QImage frame = view.grabWindow();
                ASSERT_FALSE(frame.isNull());
                const QColor corner = frame.pixelColor(frame.width() - 5, frame.height() - 5);
                EXPECT_EQ(corner.lightness() < 128, dark) << code;
                if (!dir.isEmpty()) {
                    frame.save(QStringLiteral("%1/history-%2-%3-%4.png")
                                   .arg(dir,
                                        filled ? QStringLiteral("filled") : QStringLiteral("empty"),
                                        QString::fromLatin1(code),
                                        dark ? QStringLiteral("dark") : QStringLiteral("light")));
                }
            }
            if (!dir.isEmpty()) {
                rig.click(rig.item("historyDeleteAll"));
                QTest::qWait(300);
                rig.controller->window()->grabWindow().save(
                    QStringLiteral("%1/history-confirm-%2-%3.png")
                        .arg(dir, QString::fromLatin1(code),
                             dark ? QStringLiteral("dark") : QStringLiteral("light")));
                rig.click(rig.item("historyConfirmCancel"));
                QTest::qWait(300);
            }
        }
    }
    QGuiApplication::setPalette(original);
}
