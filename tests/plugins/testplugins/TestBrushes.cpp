// SPDX-License-Identifier: LGPL-2.1-or-later
// A brush plug-in that announces a type the sample plug-in announces too,
// beside a type of its own.
#include "BrushFactoryBase.h"
#include "TestPlugin.h"

#include <QThread>

VELA_TEST_BRUSH(DuplicateRoundBrush, "Vela.RoundBrush")
VELA_TEST_BRUSH(NumberBrush, "Test.Number")

class TestBrushesContainer : public TestToolContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IToolContainer_iid)

public:
    TestBrushesContainer()
    {
        m_tools << new BrushFactoryOf<DuplicateRoundBrush, NumberBrush>(this);
    }
    // Slow enough to load for the loading time to show milliseconds.
    void OnLoaded() override
    {
        QThread::msleep(3);
        TestToolContainer::OnLoaded();
    }
};

#include "TestBrushes.moc"
