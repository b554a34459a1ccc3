#pragma once

#include <QColor>
#include <QObject>

// The settings window's look in one place: its colours for the current appearance and the
// measures of its cards, rows, chips and pill controls. The onboarding's views use the same pills.
//
// Colours are the foreground (black on a light appearance, white on a dark one) at the fixed
// opacities the views use, so every view follows the appearance without code of its own. Qt 6.4
// has no colour-scheme signal of its own here: the palette's window colour decides, and its change
// event decides again. Main thread.
class SettingsTheme : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool dark READ dark NOTIFY changed)
    Q_PROPERTY(QColor foreground READ foreground NOTIFY changed)
    Q_PROPERTY(QColor secondaryText READ secondaryText NOTIFY changed)
    Q_PROPERTY(QColor tertiaryText READ tertiaryText NOTIFY changed)
    Q_PROPERTY(QColor background READ background NOTIFY changed)
    Q_PROPERTY(QColor sidebar READ sidebar NOTIFY changed)
    Q_PROPERTY(QColor sidebarDivider READ sidebarDivider NOTIFY changed)
    Q_PROPERTY(QColor cardFill READ cardFill NOTIFY changed)
    Q_PROPERTY(QColor cardBorder READ cardBorder NOTIFY changed)
    Q_PROPERTY(QColor chipFill READ chipFill NOTIFY changed)
    Q_PROPERTY(QColor chipBorder READ chipBorder NOTIFY changed)
    Q_PROPERTY(QColor pillFieldFill READ pillFieldFill NOTIFY changed)
    Q_PROPERTY(QColor pillFieldBorder READ pillFieldBorder NOTIFY changed)
    Q_PROPERTY(QColor divider READ divider NOTIFY changed)
    Q_PROPERTY(QColor field READ field NOTIFY changed)
    Q_PROPERTY(QColor fieldBorder READ fieldBorder NOTIFY changed)
    Q_PROPERTY(QColor fieldPressed READ fieldPressed NOTIFY changed)
    Q_PROPERTY(QColor segOverlay READ segOverlay NOTIFY changed)
    Q_PROPERTY(QColor switchTrack READ switchTrack NOTIFY changed)
    Q_PROPERTY(QColor accent READ accent CONSTANT)
    Q_PROPERTY(QColor warn READ warn CONSTANT)
    Q_PROPERTY(QColor focusRing READ focusRing CONSTANT)
    Q_PROPERTY(QColor danger READ danger CONSTANT)
    Q_PROPERTY(QColor success READ success CONSTANT)
    Q_PROPERTY(QColor successFill READ successFill CONSTANT)

    // Window and content pane.
    Q_PROPERTY(int sidebarWidth MEMBER m_sidebarWidth CONSTANT)
    Q_PROPERTY(int headingSize MEMBER m_headingSize CONSTANT)
    Q_PROPERTY(int subheadingSize MEMBER m_subheadingSize CONSTANT)
    Q_PROPERTY(int headingTop MEMBER m_headingTop CONSTANT)
    Q_PROPERTY(int headingBottom MEMBER m_headingBottom CONSTANT)
    Q_PROPERTY(int contentPadding MEMBER m_contentPadding CONSTANT)
    Q_PROPERTY(int tabSpacing MEMBER m_tabSpacing CONSTANT)
    // Cards, rows, dividers and footnotes.
    Q_PROPERTY(int cardRadius MEMBER m_cardRadius CONSTANT)
    Q_PROPERTY(qreal hairline MEMBER m_hairline CONSTANT)
    Q_PROPERTY(int rowPaddingV MEMBER m_rowPaddingV CONSTANT)
    Q_PROPERTY(int rowPaddingH MEMBER m_rowPaddingH CONSTANT)
    Q_PROPERTY(int rowSpacing MEMBER m_rowSpacing CONSTANT)
    Q_PROPERTY(int rowTextMinWidth MEMBER m_rowTextMinWidth CONSTANT)
    Q_PROPERTY(int rowTextSpacing MEMBER m_rowTextSpacing CONSTANT)
    Q_PROPERTY(int titleSize MEMBER m_titleSize CONSTANT)
    Q_PROPERTY(int subtitleSize MEMBER m_subtitleSize CONSTANT)
    Q_PROPERTY(int dividerInset MEMBER m_dividerInset CONSTANT)
    Q_PROPERTY(int footerSize MEMBER m_footerSize CONSTANT)
    Q_PROPERTY(int footerPadding MEMBER m_footerPadding CONSTANT)
    // Key chips.
    Q_PROPERTY(int chipRadius MEMBER m_chipRadius CONSTANT)
    Q_PROPERTY(int chipHeight MEMBER m_chipHeight CONSTANT)
    Q_PROPERTY(int chipMinWidth MEMBER m_chipMinWidth CONSTANT)
    Q_PROPERTY(int chipPadding MEMBER m_chipPadding CONSTANT)
    Q_PROPERTY(int chipSpacing MEMBER m_chipSpacing CONSTANT)
    Q_PROPERTY(int chipFontSize MEMBER m_chipFontSize CONSTANT)
    // Text fields in the pill look.
    Q_PROPERTY(int pillFieldRadius MEMBER m_pillFieldRadius CONSTANT)
    Q_PROPERTY(int pillFieldPadding MEMBER m_pillFieldPadding CONSTANT)
    // Pill controls.
    Q_PROPERTY(int pillBorderWidth MEMBER m_pillBorderWidth CONSTANT)
    Q_PROPERTY(int pulldownRadius MEMBER m_pulldownRadius CONSTANT)
    Q_PROPERTY(int pulldownFontSize MEMBER m_pulldownFontSize CONSTANT)
    Q_PROPERTY(int pulldownLeading MEMBER m_pulldownLeading CONSTANT)
    Q_PROPERTY(int chevronGap MEMBER m_chevronGap CONSTANT)
    Q_PROPERTY(int chevronTrailing MEMBER m_chevronTrailing CONSTANT)
    Q_PROPERTY(int chevronSize MEMBER m_chevronSize CONSTANT)
    Q_PROPERTY(int menuOffset MEMBER m_menuOffset CONSTANT)
    Q_PROPERTY(int pillButtonRadius MEMBER m_pillButtonRadius CONSTANT)
    Q_PROPERTY(int pillButtonFontSize MEMBER m_pillButtonFontSize CONSTANT)
    Q_PROPERTY(int pillButtonPadding MEMBER m_pillButtonPadding CONSTANT)
    Q_PROPERTY(int focusRingWidth MEMBER m_focusRingWidth CONSTANT)

public:
    // The application's appearance, shared by every settings and onboarding view.
    static SettingsTheme &shared();

    explicit SettingsTheme(QObject *parent = nullptr);

    bool dark() const { return m_dark; }
    QColor foreground() const;
    // Subtitles and secondary labels; footnotes and captions use the tertiary one.
    QColor secondaryText() const;
    QColor tertiaryText() const;
    QColor background() const;
    QColor sidebar() const;
    QColor sidebarDivider() const;
    QColor cardFill() const;
    QColor cardBorder() const;
    QColor chipFill() const;
    QColor chipBorder() const;
    QColor pillFieldFill() const;
    QColor pillFieldBorder() const;
    QColor divider() const;
    QColor field() const;
    QColor fieldBorder() const;
    // A pill while the pointer holds it down.
    QColor fieldPressed() const;
    QColor segOverlay() const;
    // A switch that is off.
    QColor switchTrack() const;
    QColor accent() const;
    // A meter close to or over its limit, a note that something needs the user's eye.
    QColor warn() const;
    QColor focusRing() const;
    QColor danger() const;
    QColor success() const;
    QColor successFill() const;

    // The foreground at `opacity`.
    QColor primary(qreal opacity) const;

    // Takes the appearance from `palette`; called by the palette change event and by tests.
    void follow(const QPalette &palette);

Q_SIGNALS:
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_dark = false;

    int m_sidebarWidth = 220;
    int m_headingSize = 22;
    int m_subheadingSize = 13;
    int m_headingTop = 30;
    int m_headingBottom = 22;
    int m_contentPadding = 28;
    int m_tabSpacing = 14;
    int m_cardRadius = 12;
    qreal m_hairline = 0.5;
    int m_rowPaddingV = 13;
    int m_rowPaddingH = 16;
    int m_rowSpacing = 12;
    int m_rowTextMinWidth = 180;
    int m_rowTextSpacing = 2;
    int m_titleSize = 13;
    int m_subtitleSize = 11;
    int m_dividerInset = 16;
    int m_footerSize = 11;
    int m_footerPadding = 4;
    int m_chipRadius = 5;
    int m_chipHeight = 22;
    int m_chipMinWidth = 20;
    int m_chipPadding = 5;
    int m_chipSpacing = 3;
    int m_chipFontSize = 12;
    int m_pillFieldRadius = 8;
    int m_pillFieldPadding = 10;
    int m_pillBorderWidth = 1;
    int m_pulldownRadius = 7;
    int m_pulldownFontSize = 12;
    int m_pulldownLeading = 10;
    int m_chevronGap = 5;
    int m_chevronTrailing = 9;
    int m_chevronSize = 9;
    int m_menuOffset = 4;
    int m_pillButtonRadius = 8;
    int m_pillButtonFontSize = 11;
    int m_pillButtonPadding = 12;
    int m_focusRingWidth = 2;
};
