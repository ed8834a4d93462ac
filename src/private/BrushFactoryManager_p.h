// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef BRUSHFACTORYMANAGER_P_H
#define BRUSHFACTORYMANAGER_P_H

#include "VelaGlobalExport.h"

class IBrushFactory;
class QObject;

//! The brush factory of a plug-in: the first tool of its tool container
//! that is one; null for a root that is no tool container or has none.
VELAGLOBAL_EXPORT IBrushFactory *FirstBrushFactory(QObject *pluginRoot);

#endif // BRUSHFACTORYMANAGER_P_H
