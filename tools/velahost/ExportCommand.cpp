// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostCommand.h"
#include "HostSession.h"

#include "VLExportResolutions.h"
#include "VLExportSizes.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QSize>

namespace {

void printLists(QTextStream &out)
{
    out << "Resolutions:\n";
    const QList<QSize> resolutions = VLExportResolutions::GetList();
    for (int i = 0; i < resolutions.size(); ++i)
        out << "  " << i << '\t' << resolutions.at(i).width() << 'x' << resolutions.at(i).height()
            << '\n';
    out << "Sizes:\n";
    const QList<qint64> sizes = VLExportSizes::GetList();
    for (int i = 0; i < sizes.size(); ++i)
        out << "  " << i << '\t' << sizes.at(i) << '\n';
}

// "WxH" goes to the resolutions, a plain number to the sizes; both are
// inserted in order.
bool add(QTextStream &out, const QString &value)
{
    const QRegularExpressionMatch resolution =
        QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)$")).match(value);
    if (resolution.hasMatch()) {
        const QSize size(resolution.captured(1).toInt(), resolution.captured(2).toInt());
        out << "Resolution inserted at " << VLExportResolutions::Add(size) << '\n';
        return true;
    }
    bool ok = false;
    const qint64 size = value.toLongLong(&ok);
    if (!ok)
        return false;
    out << "Size inserted at " << VLExportSizes::Add(size) << '\n';
    return true;
}

} // namespace

VELAHOST_COMMAND(exportLists, "export",
                 "export list | export add WxH|SIZE | export remove [--sizes] INDEX",
                 "Show or edit the export-and-share lists: resolutions (WxH) and file sizes.")
{
    QCommandLineParser parser;
    const QCommandLineOption sizesOption(QStringLiteral("sizes"),
                                         QStringLiteral("Remove from the size list."));
    const QStringList arguments = ParseHostArguments(
        parser, context, QStringLiteral("The export-and-share lists."),
        {{QStringLiteral("action"), QStringLiteral("list, add or remove")}}, {sizesOption});
    const QString action = arguments.value(0, QStringLiteral("list"));
    const HostSession session;

    bool done = false;
    if (action == QLatin1String("list") && arguments.size() <= 1) {
        done = true;
    } else if (action == QLatin1String("add") && arguments.size() == 2) {
        done = add(context.out, arguments.at(1));
    } else if (action == QLatin1String("remove") && arguments.size() == 2) {
        const int index = arguments.at(1).toInt(&done);
        if (done && parser.isSet(sizesOption))
            VLExportSizes::Remove(index);
        else if (done)
            VLExportResolutions::Remove(index);
    }
    if (!done) {
        context.err << "velahost export: expected list, add WxH|SIZE or remove [--sizes] INDEX\n";
        return 2;
    }
    printLists(context.out);
    return 0;
}
