// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELAHOST_HOSTSESSION_H
#define VELAHOST_HOSTSESSION_H

#include <QStringList>

// The editor's part of start-up and shut-down, in the order the library
// relies on: constructed, the library is up (application data, log,
// preferences, plug-ins, registries); destroyed, it is taken down in reverse.
class HostSession
{
public:
    struct Options
    {
        QString logFolder = QStringLiteral("logs");
        //! Load the plug-ins of the application folder's "plugins" folder.
        bool loadShippedPlugins = true;
        //! Further plug-in files, loaded after the shipped ones.
        QStringList pluginFiles;
    };

    //! The plug-in files of the application folder's "plugins" folder, by
    //! name, in the form the Qt loader reports them.
    static QStringList ShippedPluginFiles(const QString &appFolder);

    HostSession();
    explicit HostSession(const Options &options);
    ~HostSession();

    HostSession(const HostSession &) = delete;
    HostSession &operator=(const HostSession &) = delete;
};

#endif // VELAHOST_HOSTSESSION_H
