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
    QString name;
    QString abbr;
    float factor = 0.0f;
    //! True for units of the shipped list; never stored in a units file.
    bool isStandard = false;
};

#endif // UNITCONVERTER_H
