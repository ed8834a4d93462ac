// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef UNITCONVERTER_H
#define UNITCONVERTER_H

#include "VelaGlobalExport.h"

#include <QList>
#include <QString>

/*!
    A measurement unit: how many of it make one inch. A factor of 0 or less
    marks a pixel unit, whose length depends on the resolution.
*/
struct VELAGLOBAL_EXPORT UnitItem
{
    //! The unit's name, e.g. "inch".
    QString name;
    //! The unit's abbreviation, e.g. "in".
    QString abbr;
    //! How many of the unit make one inch; 0 or less for a pixel unit.
    float factor = 0.0f;
    //! True for units of the shipped list; never stored in a units file.
    bool isStandard = false;
};

/*!
    Appends the units of the XML units file at \a path to \a list, each
    marked \a isStandard. Returns false, leaving \a list untouched, when the
    file cannot be opened or parsed.
*/
VELAGLOBAL_EXPORT bool LoadUnits(QList<UnitItem> &list, const QString &path, bool isStandard);

/*!
    Replaces the units file at \a path with \a list. Returns false, leaving
    the old file whole, when the new one cannot be written.
*/
VELAGLOBAL_EXPORT bool SaveUnits(const QList<UnitItem> &list, const QString &path);

/*!
    Converts lengths from one unit into another. The resolution (dots per
    inch) matters only when exactly one of the two units is a pixel unit.
*/
class VELAGLOBAL_EXPORT ConvertUnit
{
public:
    //! A conversion from \a from into \a to at \a dpi dots per inch.
    ConvertUnit(const UnitItem &from, const UnitItem &to, double dpi);
    //! A copy of \a other.
    ConvertUnit(const ConvertUnit &other);
    //! Takes over the units and resolution of \a other.
    ConvertUnit &operator=(const ConvertUnit &other);
    //! Destroys the conversion.
    ~ConvertUnit();

    //! \a value, a length in the first unit, as a length in the second.
    double operator()(double value) const;

private:
    UnitItem from;
    UnitItem to;
    double dpi;
};

#endif // UNITCONVERTER_H
