// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostCommand.h"
#include "HostSession.h"

#include "GlobalApplicationData.h"
#include "UnitConverter.h"

#include <QCommandLineParser>

namespace {

// A unit named by its name or its abbreviation, exactly or else ignoring case.
const UnitItem *findUnit(const QList<UnitItem> &units, const QString &text)
{
    for (Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (const UnitItem &unit : units) {
            if (unit.name.compare(text, sensitivity) == 0
                || unit.abbr.compare(text, sensitivity) == 0)
                return &unit;
        }
    }
    return nullptr;
}

void listUnits(const QList<UnitItem> &units, QTextStream &out)
{
    for (const UnitItem &unit : units) {
        out << qSetFieldWidth(16) << Qt::left << unit.name << qSetFieldWidth(6) << unit.abbr
            << qSetFieldWidth(12) << QString::number(double(unit.factor), 'g', 6)
            << qSetFieldWidth(0) << (unit.isStandard ? "standard" : "custom") << '\n';
    }
}

} // namespace

VELAHOST_COMMAND(units, "units",
                 "units list | units convert VALUE FROM TO [--dpi N] | units add NAME ABBR FACTOR",
                 "List the standard and custom measurement units, convert a length between "
                 "two of them (named by name or abbreviation), or add a custom unit (saved).")
{
    QCommandLineParser parser;
    const QCommandLineOption dpiOption(QStringLiteral("dpi"),
                                       QStringLiteral("Resolution for pixel units (default 72)."),
                                       QStringLiteral("N"), QStringLiteral("72"));
    const QStringList arguments = ParseHostArguments(
        parser, context, QStringLiteral("Measurement units."),
        {{QStringLiteral("action"),
          QStringLiteral("list, convert VALUE FROM TO, or add NAME ABBR FACTOR")}},
        {dpiOption});
    const QString action = arguments.value(0, QStringLiteral("list"));

    const HostSession session;
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    QList<UnitItem> units;
    data->GetUnitList(units);

    if (action == QLatin1String("list") && arguments.size() <= 1) {
        listUnits(units, context.out);
        return 0;
    }
    if (action == QLatin1String("add") && arguments.size() == 4) {
        QList<UnitItem> custom;
        data->GetCustomUnitList(custom);
        custom.append({arguments.at(1), arguments.at(2), arguments.at(3).toFloat(), false});
        data->SetCustomUnitList(custom);
        units.clear();
        data->GetUnitList(units);
        listUnits(units, context.out);
        return 0;
    }
    if (action != QLatin1String("convert") || arguments.size() != 4) {
        context.err << parser.helpText();
        return 2;
    }

    bool valueOk = false;
    bool dpiOk = false;
    const double value = arguments.at(1).toDouble(&valueOk);
    const double dpi = parser.value(dpiOption).toDouble(&dpiOk);
    const UnitItem *from = findUnit(units, arguments.at(2));
    const UnitItem *to = findUnit(units, arguments.at(3));
    if (!valueOk || !dpiOk) {
        context.err << "units: not a number\n";
        return 2;
    }
    if (!from || !to) {
        context.err << "units: unknown unit \"" << (from ? arguments.at(3) : arguments.at(2))
                    << "\"\n";
        return 2;
    }
    const ConvertUnit convert(*from, *to, dpi);
    context.out << QString::number(convert(value), 'g', 10) << ' ' << to->abbr << '\n';
    return 0;
}
