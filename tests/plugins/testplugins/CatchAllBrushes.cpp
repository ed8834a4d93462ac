// SPDX-License-Identifier: LGPL-2.1-or-later
// A brush plug-in whose factory copies every brush it is offered (into a
// brush of its own) and claims to release every brush (destroying only its
// own). It answers wherever the registry asks it.
#include "BrushFactoryBase.h"
#include "TestBrush.h"
#include "TestToolContainer.h"

VELA_TEST_BRUSH(CatchAllBrush, "Test.CatchAll")

namespace {

class CatchAllFactory : public BrushFactoryOf<CatchAllBrush>
{
public:
    using BrushFactoryOf::BrushFactoryOf;

    IBrush *copy(const IBrush *brush) override { return brush ? new CatchAllBrush : nullptr; }

    bool release(IBrush *brush) override
    {
        BrushFactoryOf::release(brush);
        return brush != nullptr;
    }
};

} // namespace

class CatchAllContainer : public TestToolContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IToolContainer_iid)

public:
    CatchAllContainer() { m_tools << new CatchAllFactory(this); }
};

#include "CatchAllBrushes.moc"
