// SPDX-License-Identifier: LGPL-2.1-or-later
// A shared library without Qt plug-in metadata.
#include <QtGlobal>

extern "C" Q_DECL_EXPORT int velaNotAPlugin()
{
    return 42;
}
