// SPDX-License-Identifier: LGPL-2.1-or-later
// A Qt plug-in of some other application: its root is neither kind of
// container.
#include <QObject>

class Stranger : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "Vela.Test.Stranger/1.0")
};

#include "Stranger.moc"
