// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VLCrashHandler.h"

#include "private/VLLogLine_p.h"

VLCrashHandler::~VLCrashHandler()
{
    VL_LOG(QStringLiteral("Destroyed"));
}
