#pragma once

#include "Base/Clock.h"
#include "Platform/SyntheticKeyboard.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

// A keyboard that records every event with the clock's time. Characters in `ownKeys` type
// directly; the others need a spare key bound to them, as on X11. Records it as a violation
// when a character is typed without a key, when a spare key gets a new character sooner than
// `settle` after it last typed or after the keymap was put back, and when a typing run begins, or
// the paste keys go down, inside another typing run. A key whose press went through stays down (in
// `held`) until a release goes through or releaseKeys() is called.
class FakeSyntheticKeyboard final : public SyntheticKeyboard
{
public:
    explicit FakeSyntheticKeyboard(Clock &clock)
        : m_clock(clock)
    {
        for (char32_t c = 0x20; c < 0x7f; ++c) {
            ownKeys.insert(c);
        }
        ownKeys.insert(U'\t');
    }

    bool isTrusted() override { return trusted; }

    bool isModifierHeld() override
    {
        ++modifierQueries;
        return modifierHeld && modifierHeld();
    }

    bool isTerminalFocused() override { return terminal; }

    bool postKey(Key key, bool down) override
    {
        const QString event = name(key) + (down ? QStringLiteral(" down") : QStringLiteral(" up"));
        ++postCount;
        if (failPostNumber == postCount) {
            record(event + QStringLiteral(" failed"));
            return false;
        }
        record(event);
        if (typing && key != Key::Return && down) {
            violations.append(name(key) + QStringLiteral(" pressed inside a typing run"));
        }
        if (down) {
            held.insert(name(key));
        } else {
            held.remove(name(key));
        }
        if (key == Key::Return && !down) {
            typed += u'\n';
        }
        if (key == Key::V && !down && onPaste) {
            onPaste();
        }
        return true;
    }

    bool releaseKeys() override
    {
        if (!held.isEmpty()) {
            QStringList names = held.values();
            names.sort();
            record(QStringLiteral("release ") + names.join(u' '));
            held.clear();
        }
        return true;
    }

    bool beginTyping() override
    {
        if (typing) {
            violations.append(QStringLiteral("typing began inside another typing run"));
        }
        record(QStringLiteral("begin"));
        typing = layoutReadable;
        return layoutReadable;
    }

    void endTyping() override
    {
        record(QStringLiteral("end"));
        typing = false;
        if (!bound.isEmpty()) {
            restoredAt = m_clock.uptime();
        }
        bound.clear();
    }

    bool hasKeyFor(char32_t c) override { return ownKeys.contains(c); }

    int spareKeyCount() override { return spareKeys; }

    bool bindSpareKeys(const QList<char32_t> &characters) override
    {
        if (characters.size() > spareKeys) {
            violations.append(QStringLiteral("bound more characters than spare keys"));
            return false;
        }
        if (restoredAt && m_clock.uptime() - *restoredAt < settle) {
            violations.append(QStringLiteral("spare keys bound again before the keymap put back "
                                             "had settled"));
        }
        const QSet<char32_t> wanted(characters.cbegin(), characters.cend());
        const bool takesKeys = !(wanted - bound).isEmpty();
        for (const char32_t old : std::as_const(bound)) {
            if (takesKeys && !wanted.contains(old) && lastUse.contains(old)
                && m_clock.uptime() - lastUse.value(old) < settle) {
                violations.append(QStringLiteral("key of ") + QString::fromUcs4(&old, 1)
                                  + QStringLiteral(" rebound before it settled"));
            }
        }
        bound = wanted;
        binds.append(characters);
        record(QStringLiteral("bind ")
               + QString::fromUcs4(characters.constData(), characters.size()));
        return true;
    }

    bool typeCharacter(char32_t c) override
    {
        if (!typing) {
            violations.append(QStringLiteral("typed outside beginTyping/endTyping"));
            return false;
        }
        const QString text = QString::fromUcs4(&c, 1);
        if (!ownKeys.contains(c) && !bound.contains(c)) {
            record(QStringLiteral("no key for ") + text);
            return false;
        }
        if (bound.contains(c)) {
            lastUse.insert(c, m_clock.uptime());
        }
        typed += text;
        record(QStringLiteral("type ") + text);
        return true;
    }

    static QString name(Key key)
    {
        switch (key) {
        case Key::Control:
            return QStringLiteral("Control");
        case Key::Shift:
            return QStringLiteral("Shift");
        case Key::V:
            return QStringLiteral("V");
        case Key::Return:
            return QStringLiteral("Return");
        }
        return {};
    }

    // Only the key events (not typing), in order.
    QStringList keyEvents() const
    {
        QStringList result;
        for (const QString &event : events) {
            if (event.endsWith(QStringLiteral(" down")) || event.endsWith(QStringLiteral(" up"))
                || event.endsWith(QStringLiteral(" failed"))) {
                result.append(event);
            }
        }
        return result;
    }

    bool trusted = true;
    bool terminal = false;
    bool layoutReadable = true;
    std::function<bool()> modifierHeld;
    int modifierQueries = 0;
    // The number (1-based) of the postKey call that fails; 0: none does.
    int failPostNumber = 0;
    int postCount = 0;
    std::function<void()> onPaste;

    QSet<char32_t> ownKeys;
    int spareKeys = 19;
    std::chrono::nanoseconds settle {0};

    QStringList events;
    QList<std::chrono::nanoseconds> times;
    QString typed;
    QList<QList<char32_t>> binds;
    QStringList violations;
    // The keys down now, by name.
    QSet<QString> held;

private:
    void record(const QString &event)
    {
        events.append(event);
        times.append(m_clock.uptime());
    }

    Clock &m_clock;
    bool typing = false;
    QSet<char32_t> bound;
    QHash<char32_t, std::chrono::nanoseconds> lastUse;
    // When endTyping() last gave bound spare keys back.
    std::optional<std::chrono::nanoseconds> restoredAt;
};
