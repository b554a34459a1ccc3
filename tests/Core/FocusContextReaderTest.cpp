#include "Core/FocusContextReader.h"

#include "Base/Unicode.h"
#include "Fakes/FakeAccessibility.h"
#include "Fakes/FakeFrontmostApplicationSource.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

FrontmostApplication textEditor()
{
    FrontmostApplication app;
    app.localizedName = QStringLiteral("Text Editor");
    app.bundleIdentifier = QStringLiteral("org.gnome.TextEditor");
    app.processIdentifier = 4242;
    app.windowTitle = QStringLiteral("notes.txt — from the window manager");
    return app;
}

// Distinct, countable characters: "0123456789" repeated, each tenth one a family emoji so that
// user-perceived characters, scalars and code units all differ.
QString numberedText(qsizetype characters)
{
    QString text;
    for (qsizetype i = 0; i < characters; ++i) {
        text += i % 10 == 9 ? QStringLiteral("👩‍👩‍👧")
                            : QString(QChar(char16_t(u'0' + i % 10)));
    }
    return text;
}

class FocusContextReaderTest : public testing::Test
{
protected:
    FocusContext read(qint64 maxLength = 4000)
    {
        return FocusContextReader::read(maxLength, m_applications, m_accessibility);
    }

    FakeFrontmostApplicationSource m_applications;
    FakeAccessibility m_accessibility;
};

TEST_F(FocusContextReaderTest, ATextFieldGivesEveryField)
{
    m_applications.application = textEditor();
    m_accessibility.windowTitle = QStringLiteral("notes.txt");
    m_accessibility.element = FakeAccessibility::Element {
        false, QStringLiteral("Dear Ann, see you"), QStringLiteral("see"), {{10, 3}}};

    const FocusContext context = read();
    EXPECT_EQ(context.appName, QStringLiteral("Text Editor"));
    EXPECT_EQ(context.bundleID, QStringLiteral("org.gnome.TextEditor"));
    EXPECT_EQ(context.windowTitle, QStringLiteral("notes.txt"));
    EXPECT_FALSE(context.isSecureField);
    EXPECT_EQ(context.fieldText, QStringLiteral("Dear Ann, see you"));
    EXPECT_FALSE(context.fieldTextTail);
    EXPECT_EQ(context.selectedText, QStringLiteral("see"));
    EXPECT_EQ(context.caretLocation, 10);
    EXPECT_EQ(m_accessibility.calls,
              (QStringList {"isTrusted", "focusedWindowTitle", "focusedElement",
                            "element.isSecureTextField", "element.value", "element.selectedText",
                            "element.selectedTextRange"}));
    ASSERT_TRUE(m_accessibility.focusedElementAskedFor.has_value());
    EXPECT_EQ(m_accessibility.focusedElementAskedFor->value().processIdentifier, 4242);
}

TEST_F(FocusContextReaderTest, APasswordFieldGivesTheSecureFlagAndNothingOfItsContent)
{
    m_applications.application = textEditor();
    m_accessibility.windowTitle = QStringLiteral("Log in");
    m_accessibility.element =
        FakeAccessibility::Element {true, QStringLiteral("hunter2"), QString(), {{7, 0}}};

    const FocusContext context = read();
    EXPECT_TRUE(context.isSecureField);
    EXPECT_FALSE(context.fieldText);
    EXPECT_FALSE(context.fieldTextTail);
    EXPECT_FALSE(context.selectedText);
    EXPECT_FALSE(context.caretLocation);
    EXPECT_EQ(context.appName, QStringLiteral("Text Editor"));
    EXPECT_EQ(context.bundleID, QStringLiteral("org.gnome.TextEditor"));
    EXPECT_EQ(context.windowTitle, QStringLiteral("Log in"));
    // The content is never even asked for.
    EXPECT_FALSE(m_accessibility.calls.contains(QStringLiteral("element.value")));
    EXPECT_FALSE(m_accessibility.calls.contains(QStringLiteral("element.selectedText")));
    EXPECT_FALSE(m_accessibility.calls.contains(QStringLiteral("element.selectedTextRange")));
}

TEST_F(FocusContextReaderTest, FieldTextHeadAndTailLimits)
{
    const struct
    {
        qsizetype characters;
        qint64 maxLength;
        bool tail;
    } cases[] = {
        {3000, 4000, false}, {4000, 4000, false},
        {4001, 4000, true},  {7999, 4000, true}, // the two overlap
        {10000, 4000, true}, {5, 2, true},
    };
    m_applications.application = textEditor();
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.characters) + " characters, maxLength "
                     + std::to_string(c.maxLength));
        const QString text = numberedText(c.characters);
        m_accessibility.element = FakeAccessibility::Element {false, text, QString(), {{0, 0}}};
        const FocusContext context = read(c.maxLength);
        const qsizetype expectedHead = std::min<qsizetype>(c.characters, c.maxLength);
        ASSERT_TRUE(context.fieldText);
        EXPECT_EQ(*context.fieldText, numberedText(expectedHead));
        EXPECT_EQ(Unicode::graphemeCount(*context.fieldText), expectedHead);
        if (c.tail) {
            ASSERT_TRUE(context.fieldTextTail);
            EXPECT_EQ(Unicode::graphemeCount(*context.fieldTextTail), c.maxLength);
            EXPECT_TRUE(text.endsWith(*context.fieldTextTail));
        } else {
            EXPECT_FALSE(context.fieldTextTail);
        }
    }
}

TEST_F(FocusContextReaderTest, EmptyOrMissingTextLeavesTheTextOutButKeepsTheCaret)
{
    const struct
    {
        const char *name;
        std::optional<QString> value;
        qint64 maxLength;
    } cases[] = {
        {"empty field", QString(), 4000},
        {"not a text element", std::nullopt, 4000},
        {"no room for text", QStringLiteral("some text"), 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        m_accessibility.element = FakeAccessibility::Element {false, c.value, QString(), {{0, 0}}};
        const FocusContext context = read(c.maxLength);
        EXPECT_FALSE(context.fieldText);
        EXPECT_FALSE(context.fieldTextTail);
        EXPECT_FALSE(context.selectedText);
        EXPECT_EQ(context.caretLocation, 0);
    }
}

TEST_F(FocusContextReaderTest, WindowTitleComesFromAccessibilityElseTheWindowManagerCutTo200)
{
    const QString longTitle = numberedText(250);
    const struct
    {
        const char *name;
        std::optional<QString> accessibilityTitle;
        std::optional<QString> windowManagerTitle;
        std::optional<QString> expected;
    } cases[] = {
        {"accessibility first", QStringLiteral("AT-SPI"), QStringLiteral("WM"),
         QStringLiteral("AT-SPI")},
        {"no accessible window", std::nullopt, QStringLiteral("WM"), QStringLiteral("WM")},
        {"empty accessible title", QString(), QStringLiteral("WM"), QStringLiteral("WM")},
        {"neither", std::nullopt, std::nullopt, std::nullopt},
        {"both empty", QString(), QString(), std::nullopt},
        {"250 characters", longTitle, std::nullopt, numberedText(200)},
        {"250 characters from the window manager", std::nullopt, longTitle, numberedText(200)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FrontmostApplication app = textEditor();
        app.windowTitle = c.windowManagerTitle;
        m_applications.application = app;
        m_accessibility.windowTitle = c.accessibilityTitle;
        EXPECT_EQ(read().windowTitle, c.expected);
    }
}

TEST_F(FocusContextReaderTest, NotTrustedGivesOnlyTheApplication)
{
    m_applications.application = textEditor();
    m_accessibility.trusted = false;
    m_accessibility.windowTitle = QStringLiteral("notes.txt");
    m_accessibility.element =
        FakeAccessibility::Element {false, QStringLiteral("text"), QString(), {{0, 0}}};

    const FocusContext context = read();
    EXPECT_EQ(context.appName, QStringLiteral("Text Editor"));
    EXPECT_EQ(context.bundleID, QStringLiteral("org.gnome.TextEditor"));
    EXPECT_FALSE(context.windowTitle);
    EXPECT_FALSE(context.fieldText);
    EXPECT_FALSE(context.caretLocation);
    EXPECT_EQ(m_accessibility.calls, QStringList {"isTrusted"});
}

TEST_F(FocusContextReaderTest, WithoutAFrontmostApplicationTheFocusedElementIsStillRead)
{
    m_accessibility.windowTitle = QStringLiteral("never asked");
    m_accessibility.element =
        FakeAccessibility::Element {false, QStringLiteral("text"), QString(), {{4, 0}}};

    const FocusContext context = read();
    EXPECT_FALSE(context.appName);
    EXPECT_FALSE(context.bundleID);
    EXPECT_FALSE(context.windowTitle);
    EXPECT_EQ(context.fieldText, QStringLiteral("text"));
    EXPECT_EQ(context.caretLocation, 4);
    EXPECT_FALSE(m_accessibility.calls.contains(QStringLiteral("focusedWindowTitle")));
    ASSERT_TRUE(m_accessibility.focusedElementAskedFor.has_value());
    EXPECT_FALSE(m_accessibility.focusedElementAskedFor->has_value());
}

TEST_F(FocusContextReaderTest, NoFocusedElementGivesApplicationAndTitleOnly)
{
    m_applications.application = textEditor();
    m_accessibility.windowTitle = QStringLiteral("notes.txt");
    m_accessibility.element.reset();
    const FocusContext context = read();
    EXPECT_EQ(context.appName, QStringLiteral("Text Editor"));
    EXPECT_EQ(context.windowTitle, QStringLiteral("notes.txt"));
    EXPECT_FALSE(context.isSecureField);
    EXPECT_FALSE(context.fieldText);
    EXPECT_FALSE(context.caretLocation);
}

// A read that could not learn whether the focus is on a password field reports one, so nothing
// of a field that may hold a password leaves the machine; a search that finished without a focused
// element and without running out of time reports an ordinary one.
TEST_F(FocusContextReaderTest, AnUnansweredKindOfFieldCountsAsAPasswordField)
{
    const struct
    {
        const char *name;
        std::optional<FakeAccessibility::Element> element;
        bool timedOut;
        bool secure;
    } cases[] = {
        {"the element does not say its kind",
         FakeAccessibility::Element {std::nullopt, QStringLiteral("hunter2"), QString(), {{7, 0}}},
         false, true},
        {"the search for the element ran out of time", std::nullopt, true, true},
        {"no element has the focus", std::nullopt, false, false},
        {"an ordinary field after a slow title",
         FakeAccessibility::Element {false, QStringLiteral("text"), QString(), {{4, 0}}}, true,
         false},
    };
    m_applications.application = textEditor();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        m_accessibility.calls.clear();
        m_accessibility.windowTitle = QStringLiteral("Log in");
        m_accessibility.element = c.element;
        m_accessibility.timedOutAnswer = c.timedOut;
        const FocusContext context = read();
        EXPECT_EQ(context.isSecureField, c.secure);
        EXPECT_EQ(context.appName, QStringLiteral("Text Editor"));
        EXPECT_EQ(context.windowTitle, QStringLiteral("Log in"));
        if (c.secure) {
            EXPECT_FALSE(context.fieldText);
            EXPECT_FALSE(context.caretLocation);
            EXPECT_FALSE(m_accessibility.calls.contains(QStringLiteral("element.value")));
        }
    }
}

TEST_F(FocusContextReaderTest, OnDemandTreesAreRequestedBeforeEveryReadOfThoseFamilies)
{
    const struct
    {
        std::optional<QString> identifier;
        bool requested;
    } cases[] = {
        {QStringLiteral("google-chrome"), true},
        {QStringLiteral("Google-chrome"), true}, // a window class
        {QStringLiteral("com.google.Chrome"), true},
        {QStringLiteral("org.chromium.Chromium"), true},
        {QStringLiteral("brave-browser"), true},
        {QStringLiteral("microsoft-edge"), true},
        {QStringLiteral("code"), true},
        {QStringLiteral("com.slack.Slack"), true},
        {QStringLiteral("discord"), true},
        {QStringLiteral("md.obsidian.Obsidian"), true},
        {QStringLiteral("electron"), true},
        {QStringLiteral("firefox"), false},
        {QStringLiteral("org.gnome.TextEditor"), false},
        {std::nullopt, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.identifier.value_or(QStringLiteral("(none)")).toStdString());
        FrontmostApplication app = textEditor();
        app.bundleIdentifier = c.identifier;
        m_applications.application = app;
        for (int run = 0; run < 2; ++run) {
            m_accessibility.calls.clear();
            read();
            if (c.requested) {
                ASSERT_GE(m_accessibility.calls.size(), 3);
                EXPECT_EQ(
                    m_accessibility.calls.mid(0, 3),
                    (QStringList {"isTrusted", "requestAccessibilityTree", "focusedWindowTitle"}));
            } else {
                EXPECT_FALSE(m_accessibility.calls.contains(u"requestAccessibilityTree"));
            }
        }
    }
}

TEST_F(FocusContextReaderTest, AnEmptySelectionIsNoSelectedText)
{
    m_accessibility.element =
        FakeAccessibility::Element {false, QStringLiteral("abc"), QString(), {{2, 0}}};
    const FocusContext context = read();
    EXPECT_FALSE(context.selectedText);
    EXPECT_EQ(context.caretLocation, 2);
}

} // namespace
