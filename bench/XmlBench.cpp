// SPDX-License-Identifier: LGPL-2.1-or-later
//
// A preferences document nested as deep as the library reads at all, parsed
// by the library's reader against QDomDocument alone on the same bytes.

#include "BenchFigures.h"

#include "private/VLXmlFile_p.h"

#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>

namespace {

// The shipped shape, with a subtree of foreign elements nested to the limit.
const QString &deepDocument()
{
    static QTemporaryDir folder;
    static const QString path = [] {
        const QString file = folder.filePath(QStringLiteral("properties.xml"));
        const int extra = VLXmlFile::MaxDepth - 1;
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        out.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<properties>\n"
                  "<file_version value=\"1\"/>\n");
        out.write(QByteArray("<n a=\"1\">").repeated(extra) + QByteArray("</n>").repeated(extra));
        out.write("<page name=\"p\"><group name=\"g\"><parameter name=\"x\" value=\"1\"/>"
                  "</group></page>\n</properties>\n");
        return file;
    }();
    return path;
}

void DeepDocument(benchmark::State &state)
{
    bool whole = true;
    for (auto _ : state) {
        QFile file(deepDocument());
        QDomDocument document;
        whole = VLXmlFile::Parse(file, document, true) && whole;
    }
    if (!whole)
        state.SkipWithError("the document at the depth limit was refused");
}
BENCHMARK(DeepDocument)->Unit(benchmark::kMillisecond);

void DeepDocumentFloor(benchmark::State &state)
{
    for (auto _ : state) {
        QFile file(deepDocument());
        QDomDocument document;
        file.open(QIODevice::ReadOnly);
        document.setContent(&file, true);
    }
}
BENCHMARK(DeepDocumentFloor)->Unit(benchmark::kMillisecond);

const bool figure =
    FigureRegistry::Add({QStringLiteral("document at the depth limit"), "DeepDocument",
                         "DeepDocumentFloor", Figure::TimeRatio, QStringLiteral("<= 2")});

} // namespace
