// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLXMLFILE_P_H
#define VLXMLFILE_P_H

#include "VelaGlobalExport.h"

#include <QString>
#include <QtGlobal>

#include <functional>

class QDomDocument;
class QFile;
class QIODevice;

/*
    Reading and writing the library's small XML files (preferences document,
    units files) so that a hostile file cannot exhaust the process and an
    interrupted write cannot destroy the previous file.
*/
namespace VLXmlFile {

//! Files larger than this are refused as if they were malformed.
constexpr qint64 MaxFileSize = 16 * 1024 * 1024;
//! Deeper element nesting is refused: the DOM parser slows down
//! quadratically with depth, and no file of the library nests deeper than 4.
constexpr int MaxDepth = 64;

//! Why a file was refused; line and column are 0 where there is no place.
struct ParseError
{
    QString message;
    qint64 line = 0;
    qint64 column = 0;
};

//! Parses the file into the document, opening it read-only if it is not
//! open (it stays open). False for an unreadable, malformed, too large or
//! too deeply nested file; the document's content is then unspecified, and
//! error, if given, says why.
VELAGLOBAL_EXPORT bool Parse(QFile &file, QDomDocument &document, bool namespaceProcessing,
                             ParseError *error = nullptr);

//! Replaces the file at path with what write() produces: written to a
//! temporary file beside it and renamed over it only once complete. False
//! when the temporary file cannot be opened or the rename fails; the old
//! file is then left whole.
VELAGLOBAL_EXPORT bool WriteAtomically(const QString &path,
                                       const std::function<void(QIODevice &)> &write);

//! The document's text with an indentation of 4 spaces per level, in UTF-8
//! unless its XML declaration names another encoding.
VELAGLOBAL_EXPORT void WriteDocument(const QDomDocument &document, QIODevice &device);

} // namespace VLXmlFile

#endif // VLXMLFILE_P_H
