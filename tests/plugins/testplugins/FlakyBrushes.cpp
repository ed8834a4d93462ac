// SPDX-License-Identifier: LGPL-2.1-or-later
// A brush plug-in whose factory answers the first copy and the first
// release and fails from then on: with the catch-all plug-in behind it, a
// registry that asked the factories again after learning a route would take
// the catch-all's answer.
#include "BrushFactoryBase.h"
#include "TestPlugin.h"

#include <typeinfo>
#include <vector>

VELA_TEST_BRUSH(FlakyBrush, "Test.Flaky")

namespace {

struct FlakyFactory : BrushFactoryOf<FlakyBrush>
{
    using BrushFactoryOf::BrushFactoryOf;
    IBrush *copy(const IBrush *brush) override
    {
        return copies++ ? nullptr : BrushFactoryOf::copy(brush);
    }
    bool release(IBrush *brush) override
    {
        if (!releases++)
            return BrushFactoryOf::release(brush);
        // Refused, as far as the caller can tell; freed with the plug-in so
        // that the test process ends without leaks.
        if (brush && typeid(*brush) == typeid(FlakyBrush))
            refused.push_back(brush);
        return false;
    }
    ~FlakyFactory() override
    {
        for (IBrush *brush : refused)
            BrushFactoryOf::release(brush);
    }
    int copies = 0;
    int releases = 0;
    std::vector<IBrush *> refused;
};

} // namespace

class FlakyContainer : public TestToolContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IToolContainer_iid)

public:
    FlakyContainer() { m_tools << new FlakyFactory(this); }
};

#include "FlakyBrushes.moc"
