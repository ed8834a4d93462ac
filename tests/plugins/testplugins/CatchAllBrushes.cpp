// SPDX-License-Identifier: LGPL-2.1-or-later
// A brush plug-in whose factory copies every brush it is offered (into one
// of its own) and claims to release every brush (destroying only its own).
// Its brush has a bug that only a round trip shows: it writes its number
// twice but reads it once.
#include "BrushFactoryBase.h"
#include "TestPlugin.h"

VELA_TEST_BRUSH(CatchAllBase, "Test.CatchAll")

namespace {

struct LeakyBrush : CatchAllBase
{
    bool serialize(QIODevice *device) override
    {
        return CatchAllBase::serialize(device) && CatchAllBase::serialize(device);
    }
};

struct CatchAllFactory : BrushFactoryOf<LeakyBrush>
{
    using BrushFactoryOf::BrushFactoryOf;
    IBrush *copy(const IBrush *brush) override { return brush ? new LeakyBrush : nullptr; }
    bool release(IBrush *brush) override { return BrushFactoryOf::release(brush) || brush; }
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
