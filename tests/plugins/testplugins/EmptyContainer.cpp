// SPDX-License-Identifier: LGPL-2.1-or-later
// A plug-in container that carries nothing.
#include "IPluginContainer.h"

class EmptyContainer : public QObject, public IPluginContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IPluginContainer_iid)
    Q_INTERFACES(IPluginContainer)

public:
    void OnLoaded() override {}
    QString GetDescription() const override { return QString(); }
    QList<QObject *> GetPluginObjects() override { return {}; }
};

#include "EmptyContainer.moc"
