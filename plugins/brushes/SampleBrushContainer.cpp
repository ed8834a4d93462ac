// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SampleBrushContainer.h"

namespace VelaSampleBrushes {

SampleBrushContainer::SampleBrushContainer(QObject *parent)
    : QObject(parent)
    , m_factory(new SampleBrushFactory(this))
{
}

void SampleBrushContainer::OnLoaded()
{
    // Nothing to prepare: the brushes need no resources of their own.
}

QList<QObject *> SampleBrushContainer::GetTools()
{
    return {m_factory};
}

} // namespace VelaSampleBrushes
