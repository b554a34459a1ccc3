#pragma once

#include "Platform/Accessibility.h"

#include <QStringList>

// A scripted accessibility service with one focused element. Every request, of the service and of
// the element, is recorded in `calls` in order ("isTrusted", "requestAccessibilityTree",
// "focusedWindowTitle", "focusedElement", "timedOut", "element.isSecureTextField", "element.value",
// "element.selectedText", "element.selectedTextRange").
class FakeAccessibility final : public Accessibility
{
public:
    struct Element
    {
        // Nothing: the element does not say whether it is a password field.
        std::optional<bool> secure = false;
        std::optional<QString> value;
        std::optional<QString> selectedText;
        std::optional<AccessibilityElement::Range> selectedTextRange;
    };

    bool trusted = true;
    // What timedOut() answers.
    bool timedOutAnswer = false;
    std::optional<QString> windowTitle;
    // Nothing: no element has the focus.
    std::optional<Element> element = Element {};

    QStringList calls;
    // What focusedElement() was asked with; set at each call.
    std::optional<std::optional<FrontmostApplication>> focusedElementAskedFor;

    bool isTrusted() override
    {
        calls << QStringLiteral("isTrusted");
        return trusted;
    }

    void requestAccessibilityTree(const FrontmostApplication &) override
    {
        calls << QStringLiteral("requestAccessibilityTree");
    }

    std::optional<QString> focusedWindowTitle(const FrontmostApplication &) override
    {
        calls << QStringLiteral("focusedWindowTitle");
        return windowTitle;
    }

    std::unique_ptr<AccessibilityElement>
    focusedElement(const std::optional<FrontmostApplication> &application) override
    {
        calls << QStringLiteral("focusedElement");
        focusedElementAskedFor = application;
        if (!element) {
            return nullptr;
        }
        return std::make_unique<FakeElement>(*element, calls);
    }

    bool timedOut() override
    {
        calls << QStringLiteral("timedOut");
        return timedOutAnswer;
    }

private:
    class FakeElement final : public AccessibilityElement
    {
    public:
        FakeElement(Element element, QStringList &calls)
            : m_element(std::move(element))
            , m_calls(calls)
        { }

        std::optional<bool> isSecureTextField() override
        {
            m_calls << QStringLiteral("element.isSecureTextField");
            return m_element.secure;
        }
        std::optional<QString> value() override
        {
            m_calls << QStringLiteral("element.value");
            return m_element.value;
        }
        std::optional<QString> selectedText() override
        {
            m_calls << QStringLiteral("element.selectedText");
            return m_element.selectedText;
        }
        std::optional<Range> selectedTextRange() override
        {
            m_calls << QStringLiteral("element.selectedTextRange");
            return m_element.selectedTextRange;
        }

    private:
        Element m_element;
        QStringList &m_calls;
    };
};
