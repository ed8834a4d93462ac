// SPDX-License-Identifier: LGPL-2.1-or-later
#include "UnitConverter.h"

#include "private/VLLogLine_p.h"
#include "private/VLSaveFile_p.h"
#include "private/VLXmlFile_p.h"

#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

const QString unitTag = QStringLiteral("unit");
const QString nameAttribute = QStringLiteral("name");
const QString abbrAttribute = QStringLiteral("abbr");
const QString factorAttribute = QStringLiteral("factor");

// A factor as a 32-bit float; text that is no number, or one beyond the
// float range, reads as 0 (a pixel unit).
float parseFactor(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !(std::fabs(value) <= FLT_MAX))
        return 0.0f;
    return float(value);
}

// General style, at most 6 significant digits, no trailing zeros.
QString formatFactor(float factor)
{
    return QString::number(double(factor), 'g', 6);
}

// Whether XML 1.0 can carry the text: tab, line feed, carriage return and
// every character from the space on, but for the surrogates (unless they
// pair up) and U+FFFE, U+FFFF.
bool isXmlText(const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size()
            && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            ++i;
            continue;
        }
        const bool control = c < 0x20 && c != 0x9 && c != 0xA && c != 0xD;
        if (control || QChar::isSurrogate(c) || c == 0xFFFE || c == 0xFFFF)
            return false;
    }
    return true;
}

// A unit that the file would not give back as it is: a character the file
// cannot hold, or a factor that is no finite number (it would read as 0).
bool isStorable(const UnitItem &unit)
{
    return isXmlText(unit.name) && isXmlText(unit.abbr) && std::isfinite(unit.factor);
}

} // namespace

bool LoadUnits(QList<UnitItem> &list, const QString &path, bool isStandard)
{
    QFile file(path);
    QDomDocument document;
    if (!VLXmlFile::Parse(file, document, false))
        return false;

    // Only direct children of the root count, whatever the root is called.
    for (QDomNode node = document.documentElement().firstChild(); !node.isNull();
         node = node.nextSibling()) {
        const QDomElement element = node.toElement();
        if (element.isNull() || element.tagName() != unitTag)
            continue;
        UnitItem unit;
        unit.name = element.attribute(nameAttribute);
        unit.abbr = element.attribute(abbrAttribute);
        unit.factor = parseFactor(element.attribute(factorAttribute));
        unit.isStandard = isStandard;
        list.append(unit);
    }
    return true;
}

bool SaveUnits(const QList<UnitItem> &list, const QString &path)
{
    // Written with a stream writer rather than a DOM so that the attributes
    // keep the order name, abbr, factor on every Qt version.
    if (!std::all_of(list.begin(), list.end(), isStorable))
        return false;
    return VLSaveFile::Write(path, [&list](QIODevice &device) {
        QXmlStreamWriter writer(&device);
        writer.setAutoFormatting(true);
        writer.setAutoFormattingIndent(4);
        writer.writeStartDocument();
        writer.writeStartElement(QStringLiteral("units"));
        for (const UnitItem &unit : list) {
            writer.writeEmptyElement(unitTag);
            writer.writeAttribute(nameAttribute, unit.name);
            writer.writeAttribute(abbrAttribute, unit.abbr);
            writer.writeAttribute(factorAttribute, formatFactor(unit.factor));
        }
        writer.writeEndElement();
        writer.writeEndDocument();
    });
}

ConvertUnit::ConvertUnit(const UnitItem &from, const UnitItem &to, double dpi)
    : from(from)
    , to(to)
    , dpi(dpi)
{
}

ConvertUnit::ConvertUnit(const ConvertUnit &other) = default;
ConvertUnit &ConvertUnit::operator=(const ConvertUnit &other) = default;
ConvertUnit::~ConvertUnit() = default;

double ConvertUnit::operator()(double value) const
{
    const double fromFactor = from.factor;
    const double toFactor = to.factor;
    const bool fromPixels = !(fromFactor > 0.0);
    const bool toPixels = !(toFactor > 0.0);

    if (!fromPixels && !toPixels)
        return (toFactor * value) / fromFactor;
    if (!fromPixels)
        return (dpi * value) / fromFactor;
    if (toPixels)
        return value;
    if (dpi == 0.0) {
        VL_LOG(QStringLiteral("Warning! Conversion dpi is NULL."));
        return value;
    }
    return (toFactor * value) / dpi;
}
