#pragma once
// Datum symbols: a datum feature is a label box hanging from a filled triangle, a datum
// target a circle split by a horizontal diameter with its label in the lower half. The raster
// image is drawn through GDI (APDatum::DrawDatumSymbol); the outline is drawn into a client's
// 2D outline sink.
#include <windows.h>

#include "Plenvort_h.h"
#include "platform/mfc/afx.h"

class APDatum;

namespace datum_symbol {

// The triangle's height over half its base.
extern const double kApexFactor;

// Pixel layout of a datum feature's symbol (y grows downwards) for a label extent (tw, th): the
// triangle with its leader in the upper band, the label box filling the lower one.
struct FeatureLayout {
    explicit FeatureLayout(SIZE text);
    long long tw, th; // th raised to even
    long long band;   // B
    long long width, height;
    long long base; // the triangle's base, even
};

// Pixel layout of a datum target's symbol: a circle of diameter `side` around the label box
// w x h (the label's extent and 2 pixels on every side).
struct TargetLayout {
    explicit TargetLayout(SIZE text);
    long long w, h, half;
    long long side; // D
};

// The label's font height for a font size: the size truncated, or false when the size is not
// finite or its magnitude does not fit an int.
bool FontHeight(float size, int* height);

// The label's text extent (tw, th) as the symbols lay it out: the label's font of `height` in a
// memory device context compatible with `reference` (null: the screen).
HRESULT MeasureLabel(HDC reference, int height, const char* label, SIZE* extent);

// Vertical pixels per inch of the device that outline text heights are given for: the main
// window's, or the screen's when there is no main window.
HRESULT OutlineResolution(int* dpi);

// The label text: the datum's name, and for a target the label at `index` right after it.
HRESULT Label(APDatum& datum, bool target, int index, CString& label);

// The halo behind the datum's symbol of `width` x `height` pixels at the origin; it needs
// neither the datum's label nor the font size.
HRESULT DrawHalo(APDatum& datum, ILoadee* loadee, IOutlineData2* data, float originX, float originY, float fontSize,
                 int index, long target, int width, int height);

// The symbol itself at the origin, for a symbol of `width` x `height` pixels.
HRESULT DrawAnnotation(APDatum& datum, ILoadee* loadee, IOutlineData2* data, float originX, float originY, int width,
                       int height, float fontSize, int index, long target);

} // namespace datum_symbol
