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

class QDomDocument;
class QFile;
class QIODevice;

/*
    Reading and writing the library's small XML files (preferences document,
    units files) so that a hostile file cannot exhaust the process's stack or
    memory. Saving them is VLSaveFile's.
*/
namespace VLXmlFile {

//! Files larger than this are refused as if they were malformed. Far above
//! any real document: the limit keeps a hostile file from taking all the
//! memory (the DOM of a document this large takes a minute to build).
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;
//! Deeper element nesting is refused, so that the recursive walks of the
//! DOM (parse, copy, save, destruction) cannot exhaust the stack. No real
//! document comes near it; one at the limit still loads in milliseconds.
constexpr int MaxDepth = 1000;

//! Why a file was refused; line and column are 0 where there is no place.
struct ParseError
{
    QString message;
    qint64 line = 0;
    qint64 column = 0;
};

//! Parses the file into the document, opening it read-only if it is not
//! open (it stays open). All or nothing: false for an unreadable,
//! malformed, too large or too deeply nested file, and the document is then
//! a null document (never a partial tree); error, if given, says why.
VELAGLOBAL_EXPORT bool Parse(QFile &file, QDomDocument &document, bool namespaceProcessing,
                             ParseError *error = nullptr);

//! Whether text that is about to be written reads back by the rules of
//! Parse.
VELAGLOBAL_EXPORT bool ReadsBack(const QByteArray &content, bool namespaceProcessing);

//! The document's text with an indentation of 4 spaces per level, in UTF-8
//! unless its XML declaration names another encoding.
VELAGLOBAL_EXPORT void WriteDocument(const QDomDocument &document, QIODevice &device);

} // namespace VLXmlFile

#endif // VLXMLFILE_P_H
