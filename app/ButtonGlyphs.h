// The pictures of the dialog's three buttons, drawn pixel by pixel: 16 x 16,
// each with a grey second frame that the button shows while disabled.
#pragma once

#include <QIcon>
#include <QImage>

enum class TButtonGlyph {
    Start,  // white arrow pointing right on a green square
    Abort,  // red cross on white
    Close,  // white arrow pointing left on a green square with a light grey rim
};

constexpr int kGlyphSize = 16;

// One frame: the normal picture, or with `disabled` its grey counterpart
// (the same shapes in shades of grey). Pixels outside the shapes are
// transparent.
QImage ButtonGlyphFrame(TButtonGlyph glyph, bool disabled);

// The button's icon: the normal frame for QIcon::Normal, the grey frame for
// QIcon::Disabled.
QIcon ButtonGlyphIcon(TButtonGlyph glyph);
