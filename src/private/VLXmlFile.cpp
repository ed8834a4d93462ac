// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/VLXmlFile_p.h"

#include <QDomDocument>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>
#include <QXmlStreamReader>

namespace VLXmlFile {

namespace {

// One cheap streaming pass that rejects what the DOM parser would choke on.
bool isAcceptable(const QByteArray &content, bool namespaceProcessing, ParseError &error)
{
    QXmlStreamReader reader(content);
    reader.setNamespaceProcessing(namespaceProcessing);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > MaxDepth)
                reader.raiseError(QStringLiteral("elements nested deeper than %1").arg(MaxDepth));
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    if (!reader.hasError())
        return true;
    error = {reader.errorString(), reader.lineNumber(), reader.columnNumber()};
    return false;
}

bool refuse(ParseError *error, const ParseError &reason)
{
    if (error)
        *error = reason;
    return false;
}

} // namespace

bool Parse(QFile &file, QDomDocument &document, bool namespaceProcessing, ParseError *error)
{
    if (!file.isOpen() && !file.open(QIODevice::ReadOnly))
        return refuse(error, {file.errorString()});
    const QString tooLarge = QStringLiteral("larger than %1 bytes").arg(MaxFileSize);
    if (file.size() > MaxFileSize)
        return refuse(error, {tooLarge});
    const QByteArray content = file.read(MaxFileSize + 1);
    if (content.size() > MaxFileSize)
        return refuse(error, {tooLarge});
    ParseError reason;
    if (!isAcceptable(content, namespaceProcessing, reason))
        return refuse(error, reason);
    int line = 0;
    int column = 0;
    if (!document.setContent(content, namespaceProcessing, &reason.message, &line, &column))
        return refuse(error, {reason.message, line, column});
    return true;
}

bool WriteAtomically(const QString &path, const std::function<void(QIODevice &)> &write)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    write(file);
    return file.commit();
}

void WriteDocument(const QDomDocument &document, QIODevice &device)
{
    QTextStream stream(&device);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    stream.setCodec("UTF-8");
#endif
    document.save(stream, 4);
}

} // namespace VLXmlFile
