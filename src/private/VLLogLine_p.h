// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLLOGLINE_P_H
#define VLLOGLINE_P_H

#include "VelaGlobalExport.h"

#include <QString>

/*
    The build-stamped log line: every diagnostic of the library reads

        Build date=<date>, time=<time>. Line=<n>, file="<src\File.cpp>". <message>

    and reaches the Qt message handler at debug level in the form Qt 4's
    qDebug() gave a string: enclosed in double quotes and followed by one
    space. The date and time are those of the library's build.
*/
namespace VLLogLine {

//! "Aug  3 2015": the date the library was built, as __DATE__ writes it.
VELAGLOBAL_EXPORT QString BuildDate();
//! "16:22:50": the time the library was built, as __TIME__ writes it.
VELAGLOBAL_EXPORT QString BuildTime();

//! The project-relative, backslash-separated name of a library source file,
//! from the path that the compiler gives in __FILE__.
VELAGLOBAL_EXPORT QString SourceFileName(const char *compilerPath);

//! The part of a line that its call site fixes: everything before the
//! message, "Build date=..., time=.... Line=<n>, file=\"<file>\". ".
VELAGLOBAL_EXPORT QString SiteText(int line, const QString &sourceFile);

//! The finished line, without the quotes that the message handler sees.
VELAGLOBAL_EXPORT QString Format(int line, const QString &sourceFile, const QString &message);

//! Hands the line made of a call site's text and a message to the process's
//! Qt message handler.
VELAGLOBAL_EXPORT void Write(const QString &siteText, const QString &message);

} // namespace VLLogLine

// The source file that a log line names: the calling file, unless the files
// of one class share a name (GlobalApplicationDataParts_p.h).
#ifndef VL_LOG_SOURCE_FILE
#define VL_LOG_SOURCE_FILE __FILE__
#endif

// Writes one build-stamped log line naming the calling source file and line.
// Everything but the message is worked out once per call site.
#define VL_LOG(message)                                                                            \
    do {                                                                                           \
        static const QString vlLogSiteText_ =                                                      \
            VLLogLine::SiteText(__LINE__, VLLogLine::SourceFileName(VL_LOG_SOURCE_FILE));          \
        VLLogLine::Write(vlLogSiteText_, (message));                                               \
    } while (false)

#endif // VLLOGLINE_P_H
