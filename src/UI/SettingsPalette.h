#pragma once

#include <QColor>
#include <QObject>

// The settings window's colours: the foreground at the fixed opacities the views use comes from
// `foreground`, which is black on a light palette and white on a dark one. Qt has no colour-scheme
// signal of its own here, so the palette's window colour decides and its change event re-decides.
class SettingsPalette : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool dark READ dark NOTIFY changed)
    Q_PROPERTY(QColor foreground READ foreground NOTIFY changed)
    Q_PROPERTY(QColor background READ background NOTIFY changed)
    Q_PROPERTY(QColor sidebar READ sidebar NOTIFY changed)
    Q_PROPERTY(QColor accent READ accent CONSTANT)
    Q_PROPERTY(QColor danger READ danger CONSTANT)

public:
    // The application's appearance, shared by every settings view.
    static SettingsPalette &shared();

    explicit SettingsPalette(QObject *parent = nullptr);

    bool dark() const { return m_dark; }
    QColor foreground() const;
    QColor background() const;
    QColor sidebar() const;
    QColor accent() const;
    QColor danger() const;

    // Takes the appearance from `palette`; called by the palette change event and by tests.
    void follow(const QPalette &palette);

Q_SIGNALS:
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_dark = false;
};
