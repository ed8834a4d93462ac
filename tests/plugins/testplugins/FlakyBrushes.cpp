// SPDX-License-Identifier: LGPL-2.1-or-later
// A brush plug-in whose factory copies and releases its brushes once each
// and fails from then on: with the catch-all plug-in loaded after it, a
// registry that asked the factories again once it had learned a route would
// be caught taking the catch-all factory's answer.
#include "BrushFactoryBase.h"
#include "TestBrush.h"
#include "TestToolContainer.h"

VELA_TEST_BRUSH(FlakyBrush, "Test.Flaky")

namespace {

class FlakyFactory : public BrushFactoryOf<FlakyBrush>
{
public:
    using BrushFactoryOf::BrushFactoryOf;

    IBrush *copy(const IBrush *brush) override
    {
        IBrush *copied = m_copied ? nullptr : BrushFactoryOf::copy(brush);
        m_copied = m_copied || copied;
        return copied;
    }

    bool release(IBrush *brush) override
    {
        const bool released = !m_released && BrushFactoryOf::release(brush);
        m_released = m_released || released;
        return released;
    }

private:
    bool m_copied = false;
    bool m_released = false;
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
