// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_SAMPLEBRUSHES_H
#define VELA_SAMPLEBRUSHES_H

#include "IBrush.h"

#include <QColor>
#include <QDataStream>
#include <QIODevice>

namespace VelaSampleBrushes {

// The settings of every sample brush begin with this version byte; a
// record of another version is refused rather than misread.
constexpr quint8 SettingsVersion = 1;

//! What every sample engine shares.
struct StrokeSettings
{
    double size = 20.0;    //!< dab diameter in pixels, 1 to 5000
    double spacing = 0.25; //!< distance between dabs as a fraction of the size, 0.01 to 10
    double opacity = 1.0;  //!< 0 to 1
    QColor colour = Qt::black;

    void Write(QDataStream &out) const;
    //! False when the stream fails or a value is out of its range.
    bool Read(QDataStream &in);
};

//! A round tip with a soft or hard edge.
struct RoundSettings
{
    StrokeSettings stroke;
    double hardness = 0.8;  //!< 0 (soft) to 1 (hard)
    double angle = 0.0;     //!< tip rotation in degrees, -180 to 180
    double roundness = 1.0; //!< 0.01 (flat) to 1 (circle)

    void Write(QDataStream &out) const;
    bool Read(QDataStream &in);
};

//! A spray of paint that builds up while the stroke stays.
struct AirbrushSettings
{
    StrokeSettings stroke;
    double flow = 0.1;    //!< paint per dab, 0 to 1
    double scatter = 0.5; //!< random offset of dabs as a fraction of the size, 0 to 5

    void Write(QDataStream &out) const;
    bool Read(QDataStream &in);
};

/*
    A brush whose settings are one value: written after the version byte,
    read back in full before any of them is taken, so a failed read leaves
    the brush as it was.
*/
template<class Settings>
class SettingsBrush : public IBrush
{
public:
    const Settings &GetSettings() const { return m_settings; }
    void SetSettings(const Settings &settings) { m_settings = settings; }

    bool serialize(QIODevice *device) override
    {
        QDataStream out(device);
        out << SettingsVersion;
        m_settings.Write(out);
        return out.status() == QDataStream::Ok;
    }

    bool deserialize(QIODevice *device) override
    {
        QDataStream in(device);
        quint8 version = 0;
        in >> version;
        Settings settings;
        if (in.status() != QDataStream::Ok || version != SettingsVersion || !settings.Read(in))
            return false;
        m_settings = settings;
        return true;
    }

private:
    Settings m_settings;
};

class RoundBrush final : public SettingsBrush<RoundSettings>
{
public:
    static const QString &TypeId();
    const QString &typeId() const override { return TypeId(); }
};

class Airbrush final : public SettingsBrush<AirbrushSettings>
{
public:
    static const QString &TypeId();
    const QString &typeId() const override { return TypeId(); }
};

} // namespace VelaSampleBrushes

#endif // VELA_SAMPLEBRUSHES_H
