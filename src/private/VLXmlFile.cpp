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
bool isAcceptable(const QByteArray &content, bool namespaceProcessing)
{
    QXmlStreamReader reader(content);
    reader.setNamespaceProcessing(namespaceProcessing);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > MaxDepth)
                return false;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return !reader.hasError();
}

} // namespace

bool Parse(QFile &file, QDomDocument &document, bool namespaceProcessing)
{
    if (!file.isOpen() && !file.open(QIODevice::ReadOnly))
        return false;
    if (file.size() > MaxFileSize)
        return false;
    const QByteArray content = file.read(MaxFileSize + 1);
    if (content.size() > MaxFileSize || !isAcceptable(content, namespaceProcessing))
        return false;
    return document.setContent(content, namespaceProcessing);
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
