// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BrushFactoryBase.h"

BrushFactoryBase::BrushFactoryBase(QObject *parent)
    : QObject(parent)
{
}

BrushFactoryBase::~BrushFactoryBase() = default;
