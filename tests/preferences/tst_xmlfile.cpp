// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The XML file layer under the preferences document and the units files: the
// depth limit, whatever hides markup-like text, and documents that declare an
// encoding Qt cannot write.

#include "VelaTestSupport.h"

#include "private/VLXmlFile_p.h"

#include <QDomDocument>

namespace {

// `depth` nested elements, each written by `open`/`close`, with `filler`
// inside the innermost one.
QByteArray nested(int depth, const QByteArray &open = "<a>", const QByteArray &close = "</a>",
                  const QByteArray &filler = QByteArray())
{
    return open.repeated(depth) + filler + close.repeated(depth);
}

// Parses the content into a document that held a tree before.
bool parses(const QByteArray &content, QDomDocument &document)
{
    const QString path = VelaTest::Sandbox::Current()->Root() + QStringLiteral("/doc.xml");
    VelaTest::WriteFile(path, content);
    QFile file(path);
    document.setContent(QByteArray("<old><page/></old>"));
    return VLXmlFile::Parse(file, document, true);
}

} // namespace

class TestXmlFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void depthLimit_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("parses");
        const QByteArray deep = QByteArray("<b>").repeated(10) + QByteArray("</b>").repeated(10);
        QTest::newRow("1,000 levels") << nested(1000) << true;
        QTest::newRow("1,001 levels") << nested(1001) << false;
        QTest::newRow("100,000 levels") << nested(100000) << false;
        QTest::newRow("siblings are not depth")
            << nested(1, "<r>", "</r>", QByteArray("<a/>").repeated(200)) << true;
        // Markup-like text that is no element must not count...
        QTest::newRow("comment") << nested(990, "<a>", "</a>", "<!--" + deep + "-->") << true;
        QTest::newRow("CDATA") << nested(990, "<a>", "</a>", "<![CDATA[" + deep + "]]>") << true;
        QTest::newRow("instruction") << nested(990, "<a>", "</a>", "<?pi " + deep + "?>") << true;
        QTest::newRow("empty tag, quoted >")
            << nested(1, "<r>", "</r>", QByteArray("<a x='>'/>").repeated(1100)) << true;
        // ...and markup-like text in attribute values must not hide elements.
        QTest::newRow("quoted />") << nested(1001, "<a x=\"/>\">", "</a>") << false;
        QTest::newRow("quoted >") << nested(1001, "<a x='>' y=\"a>b\">", "</a>") << false;
        QTest::newRow("end tag in a comment") << nested(1001, "<a><!--</a>-->", "</a>") << false;
        // Entities of a document type can add depth the bytes do not show.
        QTest::newRow("entity") << "<!DOCTYPE a [<!ENTITY e \"" + nested(600) + "\">]>"
                                       + nested(600, "<a>", "</a>", "&e;")
                                << false;
        QTest::newRow("malformed") << QByteArray("<a><b></a>") << false;
        QTest::newRow("cut off") << QByteArray("<a><b x=\"1\"/><b x=\"2\"/><b") << false;
    }
    void depthLimit()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, parses);
        QDomDocument document;
        QCOMPARE(::parses(content, document), parses);
        // All or nothing: a refused file leaves no tree, old or partial.
        QVERIFY(parses || !document.hasChildNodes());
    }

    // Qt writes a document whose declaration names an encoding it cannot
    // write in UTF-8; the declaration then has to say so, or the next load
    // misreads every non-ASCII value. (Which encodings Qt writes depends on
    // its version and build.)
    void declaredEncodingSurvivesSaving_data()
    {
        QTest::addColumn<QByteArray>("declared");
        QTest::newRow("UTF-7") << QByteArray("UTF-7");
        QTest::newRow("ISO-8859-1") << QByteArray("ISO-8859-1");
        QTest::newRow("UTF-8") << QByteArray("UTF-8");
    }
    void declaredEncodingSurvivesSaving()
    {
        QFETCH(QByteArray, declared);
        const QString value = QStringLiteral("Bilder/\u00dcbersicht");
        QDomDocument document;
        QVERIFY(document.setContent("<?xml version=\"1.0\" encoding=\"" + declared
                                    + "\"?><p v=\"\"/>"));
        document.documentElement().setAttribute(QStringLiteral("v"), value);

        for (int round = 0; round < 2; ++round) {
            QByteArray saved;
            QBuffer buffer(&saved);
            buffer.open(QIODevice::WriteOnly);
            VLXmlFile::WriteDocument(document, buffer);
            QVERIFY(document.setContent(saved, true));
            QCOMPARE(document.documentElement().attribute(QStringLiteral("v")), value);
        }
    }
};

VELA_TEST_MAIN(TestXmlFile)
#include "tst_xmlfile.moc"
