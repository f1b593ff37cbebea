#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures, drawn in code: tool-bar glyphs, run indicators and the window icon.
enum class TGlyph
{
    Go,
    Test,
    Stop,
    SkipFile,
    SkipURL,
    Help,
    IndicatorOK,
    IndicatorTimer,
    IndicatorError,
    Program
};

QPixmap GlyphPixmap(TGlyph glyph, int size);
QIcon GlyphIcon(TGlyph glyph);
