#include "UI/StatusItem/TrayMenuStyle.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

void TrayMenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                  QPainter *painter, const QWidget *widget) const
{
    if (element != PE_IndicatorCheckBox || !qobject_cast<const QMenu *>(widget)) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // The entry's text colour, as the entry is drawn: highlighted under the pointer, dimmed when
    // it cannot be chosen.
    const QPalette::ColorGroup group =
        option->state.testFlag(State_Enabled) ? QPalette::Normal : QPalette::Disabled;
    const QColor ink = option->palette.color(
        group, option->state.testFlag(State_Selected) ? QPalette::HighlightedText : QPalette::Text);
    const int side = std::min(option->rect.width(), option->rect.height()) - 2;
    const QRectF box(option->rect.x() + (option->rect.width() - side) / 2.0,
                     option->rect.y() + (option->rect.height() - side) / 2.0, side, side);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QColor frame = ink;
    frame.setAlphaF(0.7f);
    painter->setPen(QPen(frame, 1.2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 2.5, 2.5);
    if (option->state.testFlag(State_On)) {
        QPainterPath tick;
        tick.moveTo(box.left() + side * 0.22, box.top() + side * 0.52);
        tick.lineTo(box.left() + side * 0.42, box.top() + side * 0.72);
        tick.lineTo(box.left() + side * 0.78, box.top() + side * 0.28);
        painter->setPen(
            QPen(ink, std::max(1.6, side / 8.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter->drawPath(tick);
    }
    painter->restore();
}
