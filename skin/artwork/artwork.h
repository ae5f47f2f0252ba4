#pragma once
// Shared by the drawings of make_artwork: the palette, the face, saving a picture, common glyphs.

#include <QFont>
#include <QPainter>
#include <QString>

#include <functional>

inline const QColor kInk{"#2F4A66"};
inline const QColor kAccent{"#4C7CAD"};
inline const QColor kSoft{"#9FB3C8"};

// The suite's face at a pixel size.
QFont UiFont(int pixelSize, bool bold = false);
// Draws a w x h picture on transparent ground and saves it as dir/name, and drawn again at twice
// the size as name@2x.png for dense screens; false (said on stderr) when one cannot be written.
bool Save(const QString& dir, const QString& name, int w, int h, const std::function<void(QPainter&)>& draw);
// The picture at its own size only (a model's pictures, which come from its package).
bool SavePlain(const QString& dir, const QString& name, int w, int h, const std::function<void(QPainter&)>& draw);

// Glyph buttons of a caption: four states side by side (normal, hover, pressed in the hot colour,
// disabled) of w x h each, the glyph drawn with the pen set for the state.
void DrawStrip(QPainter& p, int w, int h, const std::function<void(QPainter&, QRectF)>& glyph, const QColor& hot);

// A rounded check box in the box; lit: the pointer rests on it.
void DrawCheckBox(QPainter& p, const QRectF& box, bool checked, bool lit);
