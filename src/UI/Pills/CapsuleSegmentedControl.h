#pragma once

#include <QImage>
#include <QQuickPaintedItem>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <optional>

// A capsule divided into equal icon segments, one of them selected: a hairline outline, the
// selected segment filled, thin dividers between the others. The selection is decided at the
// press (no drag is followed); pressing the selected segment does nothing. Colours come from the
// settings theme and follow its appearance. Main thread.
//
// QML places it through SegmentedControl, which adds the keyboard, tooltips and accessibility.
class CapsuleSegmentedControl : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT
    // Icon files (resource paths or qrc: addresses), one per segment; an image that cannot be read
    // leaves its segment empty.
    Q_PROPERTY(QStringList images READ images WRITE setImages NOTIFY imagesChanged)
    // The outline's corner radius; negative means half the height.
    Q_PROPERTY(
        qreal cornerRadius READ cornerRadius WRITE setCornerRadius NOTIFY cornerRadiusChanged)
    Q_PROPERTY(int segmentCount READ segmentCount NOTIFY imagesChanged)
    Q_PROPERTY(
        int selectedIndex READ selectedIndex WRITE setSelectedIndex NOTIFY selectedIndexChanged)

public:
    explicit CapsuleSegmentedControl(QQuickItem *parent = nullptr);

    QStringList images() const { return m_images; }
    void setImages(const QStringList &images);
    qreal cornerRadius() const { return m_cornerRadius.value_or(-1); }
    void setCornerRadius(qreal radius);
    int segmentCount() const;
    int selectedIndex() const { return m_selectedIndex; }
    // The selection update: clamps, and changes nothing when the clamped index is the current.
    void setSelectedIndex(int index);

    // What a press on segment `index` does: selects it and reports it, unless it was selected.
    Q_INVOKABLE void choose(int index);

    void paint(QPainter *painter) override;

Q_SIGNALS:
    void imagesChanged();
    void cornerRadiusChanged();
    void selectedIndexChanged();
    // A segment chosen by the user (not by setting selectedIndex).
    void select(int index);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QImage tinted(int index, const QColor &color) const;

    QStringList m_images;
    QList<QImage> m_loaded;
    std::optional<qreal> m_cornerRadius;
    int m_selectedIndex = 0;
};
