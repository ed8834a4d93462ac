// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostCommand.h"
#include "HostSession.h"

#include "GlobalApplicationData.h"

#include <QCommandLineParser>

VELAHOST_COMMAND(proxy, "proxy", "proxy [--type N|NAME] [--host H] [--port P]",
                 "Show the network proxy settings, after changing the ones given (saved).")
{
    QCommandLineParser parser;
    const QCommandLineOption typeOption(QStringLiteral("type"),
                                        QStringLiteral("Proxy type, by index or name."),
                                        QStringLiteral("N|NAME"));
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("Host name."),
                                        QStringLiteral("H"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port number."),
                                        QStringLiteral("P"));
    ParseHostArguments(parser, context, QStringLiteral("The network proxy settings."), {},
                       {typeOption, hostOption, portOption});

    const HostSession session;
    GlobalApplicationData *data = GlobalApplicationData::Instance();

    if (parser.isSet(hostOption))
        data->SetProxyHostName(parser.value(hostOption));
    if (parser.isSet(portOption)) {
        bool ok = false;
        const int port = parser.value(portOption).toInt(&ok);
        if (!ok) {
            context.err << "proxy: not a port number\n";
            return 2;
        }
        data->SetProxyPortNumber(port);
    }
    if (parser.isSet(typeOption)) {
        const QString type = parser.value(typeOption);
        bool isNumber = false;
        int index = type.toInt(&isNumber);
        if (!isNumber)
            index = data->GetProxyTypeList().indexOf(type);
        if (index < 0 || index >= data->GetProxyTypeList().size()) {
            context.err << "proxy: unknown type \"" << type << "\"; the types are "
                        << data->GetProxyTypeList().join(QStringLiteral(", ")) << '\n';
            return 2;
        }
        data->SetProxyTypeIndex(index);
    }

    context.out << "Type:  " << data->GetProxyTypeIndex() << " ("
                << data->GetProxyTypeLabel(data->GetProxyTypeIndex())
                << "), QNetworkProxy::ProxyType " << int(data->GetProxyType()) << '\n';
    context.out << "Host:  " << data->GetProxyHostName() << '\n';
    context.out << "Port:  " << data->GetProxyPortNumber() << '\n';
    return 0;
}
