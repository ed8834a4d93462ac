// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The units file over garbage: a load either fails leaving the list as it
// was, or appends units that save and load back with the same names,
// abbreviations and order, and factors equal to the 6 significant digits
// that the file keeps; converting between any two of them never crashes.

#include "FuzzSupport.h"

#include "UnitConverter.h"

#include <cstdlib>

namespace {

bool sameUnits(const QList<UnitItem> &a, const QList<UnitItem> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        // The file keeps 6 significant digits of a factor, which a 32-bit
        // float carries through a save and a load unchanged.
        const auto digits = [](float factor) { return QString::number(double(factor), 'g', 6); };
        const bool sameFactor = digits(a[i].factor) == digits(b[i].factor);
        if (a[i].name != b[i].name || a[i].abbr != b[i].abbr || !sameFactor
            || a[i].isStandard != b[i].isStandard)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString input = VelaFuzz::WorkFolder() + QStringLiteral("/units_user.ini");
    static const QString saved = VelaFuzz::WorkFolder() + QStringLiteral("/units_saved.ini");
    VelaFuzz::WriteInput(input, data, size);

    const UnitItem kept{QStringLiteral("kept"), QStringLiteral("k"), 1.0f, true};
    QList<UnitItem> units{kept};
    if (!LoadUnits(units, input, false)) {
        if (units.size() != 1 || units.first().name != kept.name)
            std::abort();
        return 0;
    }

    const QList<UnitItem> loaded = units.mid(1);
    QList<UnitItem> again;
    if (!SaveUnits(loaded, saved) || !LoadUnits(again, saved, false) || !sameUnits(loaded, again))
        std::abort();

    for (const UnitItem &from : std::as_const(units))
        for (const UnitItem &to : std::as_const(units))
            ConvertUnit(from, to, 96.0)(10.0);
    return 0;
}
