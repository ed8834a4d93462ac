// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/GlobalApplicationDataParts_p.h"

#include <QLineF>
#include <QPointF>
#include <QRect>

QPointF GlobalApplicationData::GetLineDirectionForShiftModifier(const QPointF &start,
                                                                const QPointF &end)
{
    // Counter-clockwise on screen, in (-180, 180]. The left-pointing
    // diagonals are narrower than the others (35 degrees instead of 45) and
    // a boundary angle belongs to the sector farther from the x axis.
    qreal angle = QLineF(start, end).angle();
    if (angle > 180)
        angle -= 360;

    if (angle >= 0) {
        if (angle < 22.5)
            return QPointF(1, 0);
        if (angle < 67.5)
            return QPointF(1, -1);
        if (angle < 112.5)
            return QPointF(0, -1);
        if (angle < 147.5)
            return QPointF(-1, -1);
        return QPointF(-1, 0);
    }
    if (angle > -22.5)
        return QPointF(1, 0);
    if (angle > -67.5)
        return QPointF(1, 1);
    if (angle > -112.5)
        return QPointF(0, 1);
    if (angle > -147.5)
        return QPointF(-1, 1);
    return QPointF(-1, 0);
}

QPointF GlobalApplicationData::ProjectOnLine(const QPointF &point, const QPointF &direction,
                                             const QPointF &linePoint)
{
    const qreal dx = direction.x();
    const qreal dy = direction.y();
    if (dx == 0 && dy == 0) {
        VL_LOG(QStringLiteral("Arithmetic error."));
        return linePoint;
    }
    const qreal t =
        ((point.x() - linePoint.x()) * dx + (point.y() - linePoint.y()) * dy) / (dx * dx + dy * dy);
    return QPointF(linePoint.x() + t * dx, linePoint.y() + t * dy);
}

int GlobalApplicationData::GetProgressTimeout()
{
    return 2000;
}

QRect GlobalApplicationData::GetMinBrushRectForOpenCL() const
{
    return QRect(0, 0, 640, 640);
}
