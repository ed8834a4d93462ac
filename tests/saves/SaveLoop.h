// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_SAVELOOP_H
#define VELA_SAVELOOP_H

#include <QStringList>

/*
    What round N of the save loop leaves in a file of the per-user data
    folder, as the library reads it back. Each round's content differs from
    every other round's; long entries make a save take a while, so that kills
    land inside it.
*/
namespace SaveLoop {

inline QStringList Content(const QString &file, int round)
{
    const auto tagged = [](int taggedRound, int length) {
        return QStringLiteral("/round/%1/").arg(taggedRound) + QString(length, QLatin1Char('v'));
    };
    QStringList content;
    if (file == QLatin1String("kelvane.ini") || file == QLatin1String("properties.xml")) {
        content << tagged(round, 1 << 19);
    } else if (file == QLatin1String("units_user.ini")) {
        for (int unit = 0; unit < 3000; ++unit)
            content << tagged(round, 0) + QString::number(unit);
    } else if (file == QLatin1String("settings.ini")) {
        // One record a round, newest first; the recent list keeps 15.
        for (int added = round; added > 0 && added > round - 15; --added)
            content << tagged(added, 1 << 14);
    } else {
        // Export lists: the first entry follows the round, 3000 more stay.
        const bool sizes = file == QLatin1String("ExportAndShareSize.ini");
        content << (sizes ? QString::number(round + 1)
                          : QStringLiteral("%1x1").arg(1 + round % 10000));
        for (int entry = 1; entry <= 3000; ++entry)
            content << (sizes ? QString::number(entry * 1000 + 7)
                              : QStringLiteral("%1x2").arg(entry));
    }
    return content;
}

} // namespace SaveLoop

#endif // VELA_SAVELOOP_H
