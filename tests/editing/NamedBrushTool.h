// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NAMEDBRUSHTOOL_H
#define NAMEDBRUSHTOOL_H

#include "IBrushTool.h"

// A brush tool that is nothing but its name, as the registry lists it.
class NamedBrushTool : public IBrushTool
{
public:
    explicit NamedBrushTool(const QString &name)
        : m_name(name)
    {
    }
    void OnActivate() override {}
    void OnDeactivate() override {}
    QString GetName() const override { return m_name; }

private:
    QString m_name;
};

#endif // NAMEDBRUSHTOOL_H
