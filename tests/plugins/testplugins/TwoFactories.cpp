// SPDX-License-Identifier: LGPL-2.1-or-later
// A tool container with two brush factories behind a null entry and a tool
// that is no factory. It is a plug-in container as well, carrying an
// image-file plug-in that must never be registered.
#include "BrushFactoryBase.h"
#include "IPluginContainer.h"
#include "KVImageFilePlugin.h"
#include "TestPlugin.h"

VELA_TEST_BRUSH(FirstBrush, "Test.First")
VELA_TEST_BRUSH(SecondBrush, "Test.Second")

class TwoFactoriesContainer : public TestToolContainer, public IPluginContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IToolContainer_iid)
    Q_INTERFACES(IToolContainer IPluginContainer)

public:
    TwoFactoriesContainer()
    {
        m_tools << nullptr << new QObject(this) << new BrushFactoryOf<FirstBrush>(this)
                << new BrushFactoryOf<SecondBrush>(this);
    }
    void OnLoaded() override { TestToolContainer::OnLoaded(); }
    QString GetDescription() const override { return QString(); }
    QList<QObject *> GetPluginObjects() override { return {new KVImageFilePlugin(this)}; }
};

#include "TwoFactories.moc"
