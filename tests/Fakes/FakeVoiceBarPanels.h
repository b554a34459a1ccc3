#pragma once

#include "UI/VoiceBar/VoiceBarPanel.h"
#include "UI/VoiceBar/VoiceBarPanelFactory.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

// Voice bar windows that only record what is done to them. Every panel writes its steps into the
// factory's log as "<panel> <step>", where a panel is "bar1" or "toast2" (kind and the number of
// the window of that kind): "bar1 made notch", "bar1 frame 400,0 480x76", "bar1 front",
// "bar1 fade 1 140ms ease-out", "bar1 out", "bar1 gone" (destroyed).
class FakeVoiceBarPanels final : public VoiceBarPanelFactory
{
public:
    class Panel final : public VoiceBarPanel
    {
    public:
        Panel(FakeVoiceBarPanels &factory, QString name)
            : m_factory(factory)
            , m_name(std::move(name))
        { }
        ~Panel() override { m_factory.log << m_name + QStringLiteral(" gone"); }

        void setFrame(QRect rect) override
        {
            frame = rect;
            write(QStringLiteral("frame %1,%2 %3x%4")
                      .arg(rect.x())
                      .arg(rect.y())
                      .arg(rect.width())
                      .arg(rect.height()));
        }
        void orderFront() override { write(QStringLiteral("front")); }
        void fade(qreal opacity, std::chrono::milliseconds duration, bool easeOut) override
        {
            write(QStringLiteral("fade %1 %2ms %3")
                      .arg(opacity)
                      .arg(duration.count())
                      .arg(easeOut ? QStringLiteral("ease-out") : QStringLiteral("default")));
        }
        void orderOut() override { write(QStringLiteral("out")); }

        std::optional<QRect> frame;

    private:
        void write(const QString &step) { m_factory.log << m_name + u' ' + step; }

        FakeVoiceBarPanels &m_factory;
        QString m_name;
    };

    std::unique_ptr<VoiceBarPanel> makeBar(VoiceBarStyle style, VoiceBarModel &) override
    {
        const QString name = QStringLiteral("bar%1").arg(++bars);
        log << name + QStringLiteral(" made ") + RawEnum::rawValue(style);
        return std::make_unique<Panel>(*this, name);
    }

    std::unique_ptr<VoiceBarPanel> makeToast(VoiceBarStyle style, const Toast &toast) override
    {
        const QString name = QStringLiteral("toast%1").arg(++toasts);
        log << name + QStringLiteral(" made ") + RawEnum::rawValue(style);
        this->toastsShown.append(toast);
        return std::make_unique<Panel>(*this, name);
    }

    // The log's lines of one window.
    QStringList of(const QString &name) const
    {
        QStringList lines;
        for (const QString &line : log) {
            if (line.startsWith(name + u' ')) {
                lines << line.mid(name.size() + 1);
            }
        }
        return lines;
    }

    // Takes the log so far, leaving it empty.
    QStringList take() { return std::exchange(log, {}); }

    QStringList log;
    QList<Toast> toastsShown;
    int bars = 0;
    int toasts = 0;
};
