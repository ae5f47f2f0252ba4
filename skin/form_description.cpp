#include "form_description.h"

#include <QXmlStreamReader>

namespace directui {

int ElementSpec::number(const QString& key, int fallback) const {
    bool ok = false;
    const int value = attributes.value(key).toInt(&ok);
    return ok ? value : fallback;
}

namespace {

ElementSpec ReadElement(QXmlStreamReader& xml) {
    ElementSpec spec;
    spec.kind = xml.name().toString();
    for (const QXmlStreamAttribute& a : xml.attributes()) spec.attributes.insert(a.name().toString(), a.value().toString());
    spec.name = spec.attribute("name");
    while (xml.readNextStartElement()) spec.children.push_back(ReadElement(xml));
    return spec;
}

} // namespace

std::optional<SkinDescription> ParseSkinDescription(const QByteArray& text, QString* error) {
    QXmlStreamReader xml(text);
    SkinDescription skin;
    if (xml.readNextStartElement() && xml.name() == QLatin1String("dui")) {
        while (xml.readNextStartElement()) {
            ElementSpec spec = ReadElement(xml);
            if (spec.kind == "form")
                skin.forms.insert(spec.name, spec);
            else if (spec.kind == "row")
                skin.rows.insert(spec.name, spec);
        }
    } else if (!xml.hasError()) {
        xml.raiseError("the root element must be <dui>");
    }
    if (xml.hasError()) {
        if (error) *error = QString("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
        return std::nullopt;
    }
    return skin;
}

} // namespace directui
