// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SampleBrushes.h"

namespace VelaSampleBrushes {

namespace {

// NaN fails too.
bool inRange(double value, double low, double high)
{
    return value >= low && value <= high;
}

} // namespace

void StrokeSettings::Write(QDataStream &out) const
{
    out << size << spacing << opacity << quint32(colour.rgba());
}

bool StrokeSettings::Read(QDataStream &in)
{
    quint32 argb = 0;
    in >> size >> spacing >> opacity >> argb;
    colour = QColor::fromRgba(argb);
    return in.status() == QDataStream::Ok && inRange(size, 1.0, 5000.0)
           && inRange(spacing, 0.01, 10.0) && inRange(opacity, 0.0, 1.0);
}

void RoundSettings::Write(QDataStream &out) const
{
    stroke.Write(out);
    out << hardness << angle << roundness;
}

bool RoundSettings::Read(QDataStream &in)
{
    if (!stroke.Read(in))
        return false;
    in >> hardness >> angle >> roundness;
    return in.status() == QDataStream::Ok && inRange(hardness, 0.0, 1.0)
           && inRange(angle, -180.0, 180.0) && inRange(roundness, 0.01, 1.0);
}

void AirbrushSettings::Write(QDataStream &out) const
{
    stroke.Write(out);
    out << flow << scatter;
}

bool AirbrushSettings::Read(QDataStream &in)
{
    if (!stroke.Read(in))
        return false;
    in >> flow >> scatter;
    return in.status() == QDataStream::Ok && inRange(flow, 0.0, 1.0) && inRange(scatter, 0.0, 5.0);
}

const QString &RoundBrush::TypeId()
{
    static const QString id = QStringLiteral("Vela.RoundBrush");
    return id;
}

const QString &Airbrush::TypeId()
{
    static const QString id = QStringLiteral("Vela.Airbrush");
    return id;
}

} // namespace VelaSampleBrushes
