#pragma once
// "Pavoline.dui": the forms and row templates of the skin as XML a designer can edit.
//
//   <dui>
//     <form name="DUI_Tip" w="380" h="190" class="tip">
//       <label name="Sta_tip" x="20" y="50" w="340" h="60" text="..."/>
//       <button name="Btn_OK" x="145" y="135" w="90" h="32" text="确定"/>
//       <container name="UIF_Btn" x=".." ...> children </container>
//     </form>
//     <row name="UIF_LV_AllList" w="560" h="64"> parts </row>
//   </dui>
//
// Kinds: label, image, button, checkbox, tab (checkable button, exclusive among its siblings),
// combobox, list, scrollbar (orientation="vertical" or horizontal), progress, host, container.
// Geometry is x, y, w, h in pixels inside the parent; "class" names a style class of Default.skn;
// "image" is a picture file beside the skin; "text" is the initial text; "visible"="0" hides;
// labels wrap their text with "wrap"="1" at word boundaries, with "wrap"="any" anywhere. A form's
// "minw" and "minh" give the smallest host that still shows all it holds (default: w and h); with
// "resize"="1" a form fills its host and a list row its list's width, and their elements keep their
// place by "anchor" ("right": to the right edge, "stretch": to both) and "vanchor" ("bottom",
// "stretch").

#include <QHash>
#include <QString>
#include <QVector>

#include <memory>
#include <optional>

namespace directui {

struct ElementSpec {
    QString kind;
    QString name;
    QHash<QString, QString> attributes;
    QVector<ElementSpec> children;

    QString attribute(const QString& key, const QString& fallback = QString()) const {
        return attributes.value(key, fallback);
    }
    int number(const QString& key, int fallback = 0) const;
};

struct SkinDescription {
    QHash<QString, ElementSpec> forms;
    QHash<QString, ElementSpec> rows;
};

// Nothing, with the reason in error, when the text is not a well-formed description.
std::optional<SkinDescription> ParseSkinDescription(const QByteArray& text, QString* error = nullptr);

} // namespace directui
