// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELA_SAMPLEBRUSHCONTAINER_H
#define VELA_SAMPLEBRUSHCONTAINER_H

#include "BrushFactoryBase.h"
#include "IToolContainer.h"
#include "SampleBrushes.h"

namespace VelaSampleBrushes {

using SampleBrushFactory = BrushFactoryOf<RoundBrush, Airbrush>;

//! The root of the sample brush plug-in: one tool, its brush factory.
class SampleBrushContainer : public QObject, public IToolContainer
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IToolContainer_iid)
    Q_INTERFACES(IToolContainer)

public:
    explicit SampleBrushContainer(QObject *parent = nullptr);

    void OnLoaded() override;
    QList<QObject *> GetTools() override;

private:
    SampleBrushFactory *m_factory;
};

} // namespace VelaSampleBrushes

#endif // VELA_SAMPLEBRUSHCONTAINER_H
