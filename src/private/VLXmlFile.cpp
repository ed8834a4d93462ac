// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/VLXmlFile_p.h"

#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#endif
#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>

namespace VLXmlFile {

namespace {

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
// Finds the end of the next occurrence of a token, or the end of the text.
const char *skipPast(const char *from, const char *end, QByteArrayView token)
{
    const char *found = std::search(from, end, token.begin(), token.end());
    return found == end ? end : found + token.size();
}

// Whether a document surely stays within the depth limit, from one scan of
// its bytes: start tags count up and end tags down, while comments, CDATA
// sections, processing instructions and quoted attribute values are passed
// over. A well-formed document is never deeper than the scan finds; for a
// malformed one the parser fails anyway. A document type declaration could
// add elements through its entities, so it is left to the full check.
bool shallowByScan(const QByteArray &content)
{
    const char *p = content.constData();
    const char *const end = p + content.size();
    int depth = 0;
    while ((p = static_cast<const char *>(memchr(p, '<', size_t(end - p))))) {
        if (++p == end)
            break;
        const QByteArrayView rest(p, end - p);
        if (*p == '/') {
            --depth;
            p = skipPast(p, end, ">");
        } else if (*p == '?') {
            p = skipPast(p, end, "?>");
        } else if (rest.startsWith("!--")) {
            p = skipPast(p, end, "-->");
        } else if (rest.startsWith("![CDATA[")) {
            p = skipPast(p, end, "]]>");
        } else if (*p == '!') {
            return false;
        } else {
            // A start tag: up to the '>' outside quotes.
            while (p != end && *p != '>') {
                if (*p == '"' || *p == '\'') {
                    const char *close =
                        static_cast<const char *>(memchr(p + 1, *p, size_t(end - p - 1)));
                    p = close ? close : end;
                }
                if (p != end)
                    ++p;
            }
            if (p != end && p[-1] != '/' && ++depth > MaxDepth)
                return false;
        }
    }
    return true;
}
#endif

// Whether the text stream can write the encoding that an XML declaration
// names, by the rule the DOM writer uses.
bool canWrite(const QString &encoding)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QStringConverter::encodingForName(encoding.toUtf8().constData()).has_value();
#else
    return QTextCodec::codecForName(encoding.toLatin1().constData()) != nullptr;
#endif
}

// One streaming pass that rejects what the DOM parser would choke on.
bool isAcceptable(const QByteArray &content, bool namespaceProcessing, ParseError &error)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // The DOM parser reads with this same stream reader, so it reports every
    // error itself: only the depth is left to check, and a scan does that.
    if (shallowByScan(content))
        return true;
#endif
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

bool refuse(QDomDocument &document, ParseError *error, const ParseError &reason)
{
    // Qt leaves what it had read before an error in the document.
    document = QDomDocument();
    if (error)
        *error = reason;
    return false;
}

QString tooLarge()
{
    return QStringLiteral("larger than %1 bytes").arg(MaxFileSize);
}

// The text of a file, all or nothing.
bool parseContent(const QByteArray &content, QDomDocument &document, bool namespaceProcessing,
                  ParseError *error)
{
    if (content.size() > MaxFileSize)
        return refuse(document, error, {tooLarge()});
    ParseError reason;
    if (!isAcceptable(content, namespaceProcessing, reason))
        return refuse(document, error, reason);
    int line = 0;
    int column = 0;
    if (!document.setContent(content, namespaceProcessing, &reason.message, &line, &column))
        return refuse(document, error, {reason.message, line, column});
    return true;
}

} // namespace

bool Parse(QFile &file, QDomDocument &document, bool namespaceProcessing, ParseError *error)
{
    if (!file.isOpen() && !file.open(QIODevice::ReadOnly))
        return refuse(document, error, {file.errorString()});
    if (file.size() > MaxFileSize)
        return refuse(document, error, {tooLarge()});
    // Only what the file holds is allocated (Qt would allocate the whole
    // limit for every small file); one that has grown since is read on.
    const qint64 size = file.size();
    QByteArray content = file.read(size + 1);
    if (content.size() > size)
        content += file.read(MaxFileSize + 1 - content.size());
    return parseContent(content, document, namespaceProcessing, error);
}

bool ReadsBack(const QByteArray &content, bool namespaceProcessing)
{
    QDomDocument document;
    return parseContent(content, document, namespaceProcessing, nullptr);
}

void WriteDocument(const QDomDocument &document, QIODevice &device)
{
    QTextStream stream(&device);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    stream.setCodec("UTF-8");
#endif
    // The text goes out in the encoding that the XML declaration names. Qt
    // writes one it does not know in UTF-8, below the old declaration, and
    // each later load would misread every non-ASCII value: such a document
    // is written with a declaration of UTF-8, which is what it then holds.
    QDomProcessingInstruction declaration = document.firstChild().toProcessingInstruction();
    if (declaration.target() == QLatin1String("xml")) {
        static const QRegularExpression encodingPattern(
            QStringLiteral("encoding\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)')"));
        const QRegularExpressionMatch match = encodingPattern.match(declaration.data());
        const int group = match.capturedLength(1) > 0 ? 1 : 2;
        if (match.capturedLength(group) > 0 && !canWrite(match.captured(group))) {
            QDomDocument copy = document.cloneNode(true).toDocument();
            QString data = declaration.data();
            data.replace(match.capturedStart(group), match.capturedLength(group),
                         QStringLiteral("UTF-8"));
            copy.firstChild().toProcessingInstruction().setData(data);
            copy.save(stream, 4);
            return;
        }
    }
    document.save(stream, 4);
}

} // namespace VLXmlFile
