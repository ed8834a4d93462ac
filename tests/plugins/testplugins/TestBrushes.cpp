// SPDX-License-Identifier: LGPL-2.1-or-later
// The test brush plug-in. Behind a null entry and a tool that is no factory
// it offers two brush factories: the first makes number brushes and a type
// that the sample plug-in announces too, the second a type of its own that
// must never be registered. Its root is a plug-in container as well,
// carrying an image-file plug-in that must never be registered either.
// Built with VELA_CATCH_ALL set, its first factory also copies every brush it
// is offered (into a number brush) and claims to release every brush
// (destroying only its own).
#include "BrushFactoryBase.h"
#include "IPluginContainer.h"
#include "IToolContainer.h"
#include "KVImageFilePlugin.h"
#include "TestPlugin.h"

#include <QThread>
#include <QVariant>

#include <map>
#include <memory>

namespace {

using NumberBrush = TestBrush<NumberType>;

// Neither copies nor releases a number brush that holds KeptValue: a
// registry that asked the factories behind it once it had learned this
// route would find one that does.
struct NumberFactory : BrushFactoryOf<TestBrush<RoundType>, NumberBrush>
{
    using BrushFactoryOf::BrushFactoryOf;
    static bool Kept(const IBrush *brush)
    {
        return brush && typeid(*brush) == typeid(NumberBrush)
               && static_cast<const NumberBrush *>(brush)->value == KeptValue;
    }
    IBrush *copy(const IBrush *brush) override
    {
        if (VELA_CATCH_ALL && brush)
            return new NumberBrush;
        return Kept(brush) ? nullptr : BrushFactoryOf::copy(brush);
    }
    bool release(IBrush *brush) override
    {
        if (!Kept(brush))
            return BrushFactoryOf::release(brush) || (VELA_CATCH_ALL && brush);
        // Freed with the plug-in, for a run without leaks.
        refused.try_emplace(brush, static_cast<NumberBrush *>(brush));
        return false;
    }
    std::map<IBrush *, std::unique_ptr<NumberBrush>> refused;
};

} // namespace

// The root, a tool container that counts the calls of OnLoaded() in the
// property "loadedCalls" and its live brushes in "liveBrushes".
class TestBrushesContainer : public QObject, public IToolContainer, public IPluginContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IToolContainer_iid)
    Q_INTERFACES(IToolContainer IPluginContainer)
    Q_PROPERTY(int liveBrushes READ LiveBrushes CONSTANT)

public:
    int LiveBrushes() const { return liveBrushes; }
    // Slow enough to load for the loading time to show milliseconds.
    void OnLoaded() override
    {
        QThread::msleep(3);
        setProperty("loadedCalls", property("loadedCalls").toInt() + 1);
    }
    QList<QObject *> GetTools() override { return m_tools; }
    QString GetDescription() const override { return QString(); }
    QList<QObject *> GetPluginObjects() override { return {new KVImageFilePlugin(this)}; }

private:
    const QList<QObject *> m_tools{nullptr, new QObject(this), new NumberFactory(this),
                                   new BrushFactoryOf<TestBrush<SecondType>>(this)};
};

#include "TestBrushes.moc"
