// The label measure and the raster symbol through GDI.
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <optional>

#include "drawing/DatumSymbol.h"
#include "drawing/Gdi.h"
#include "features/APDatum.h"

namespace datum_symbol {

const double kApexFactor = std::tan(1.0471975511666667);

namespace {

constexpr COLORREF kKey = RGB(0, 255, 0); // the background, transparent in the block
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr UINT kMeasureFlags = DT_CENTER | DT_VCENTER | DT_CALCRECT | DT_NOPREFIX;
constexpr UINT kDrawFlags = DT_CENTER | DT_VCENTER | DT_NOPREFIX;

// "Arial", regular; a Swiss face whenever Arial itself is missing.
HFONT LabelFont(int height)
{
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_STROKE_PRECIS,
                       CLIP_STROKE_PRECIS, DRAFT_QUALITY, 19 /* Swiss family, pitch bits 3 */, "Arial");
}

// A memory device context with the label's font selected; the symbol is measured and drawn in it.
class LabelDc {
public:
    LabelDc(HDC reference, int height) : m_dc(reference), m_font(LabelFont(height)), m_selected(m_dc.get(), m_font.get()) {}
    bool Ready() const { return m_dc && m_font && m_selected; }
    HDC get() const { return m_dc.get(); }

    SIZE Measure(const char* label) const
    {
        RECT r{0, 0, 0, 0};
        DrawTextA(m_dc.get(), label, -1, &r, kMeasureFlags);
        return SIZE{r.right - r.left, r.bottom - r.top};
    }

private:
    MemoryDc m_dc;
    GdiObject<HFONT> m_font;
    Selection m_selected;
};

// The pens and brushes of the symbol, chosen in turn; the context's own come back at the end.
struct Inks {
    explicit Inks(HDC dc)
        : dc(dc), keyPen(CreatePen(PS_SOLID, 1, kKey)), blackPen(CreatePen(PS_SOLID, 1, kBlack)),
          keyBrush(CreateSolidBrush(kKey)), whiteBrush(CreateSolidBrush(kWhite)), blackBrush(CreateSolidBrush(kBlack)),
          pen(dc, keyPen.get()), brush(dc, keyBrush.get())
    {
    }
    bool Ready() const { return blackPen && whiteBrush && blackBrush && pen && brush; }
    void Use(const GdiObject<HPEN>& p, const GdiObject<HBRUSH>& b) const
    {
        SelectObject(dc, p.get());
        SelectObject(dc, b.get());
    }

    const HDC dc;
    const GdiObject<HPEN> keyPen, blackPen;
    const GdiObject<HBRUSH> keyBrush, whiteBrush, blackBrush;
    Selection pen, brush; // first the key colour's
};

void DrawLabel(HDC dc, const CString& label, RECT box)
{
    SetTextColor(dc, kBlack);
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, label, -1, &box, kDrawFlags);
}

void Line(HDC dc, int x0, int y0, int x1, int y1)
{
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

void PaintFeature(HDC dc, const Inks& inks, const FeatureLayout& f, const CString& label)
{
    const int W = static_cast<int>(f.width), H = static_cast<int>(f.height), B = static_cast<int>(f.band);
    const int tw = static_cast<int>(f.tw), th = static_cast<int>(f.th), b = static_cast<int>(f.base);
    Rectangle(dc, 0, 0, W, H); // key pen and brush
    inks.Use(inks.blackPen, inks.whiteBrush);
    Rectangle(dc, 4, B, tw + 12, 2 * B);
    DrawLabel(dc, label, RECT{8, B + 2, tw + 8, B + th + 2});
    inks.Use(inks.blackPen, inks.blackBrush);
    const int x0 = (W - b) / 2;
    const POINT triangle[3] = {{x0, 0}, {x0 + b, 0}, {W / 2, static_cast<int>(kApexFactor * (b / 2))}};
    Polygon(dc, triangle, 3);
    Line(dc, W / 2, 0, W / 2, B);
    Line(dc, 0, 0, W, 0);
}

void PaintTarget(HDC dc, const Inks& inks, const TargetLayout& t, const CString& label)
{
    const int D = static_cast<int>(t.side), left = D / 2 - static_cast<int>(t.half);
    Rectangle(dc, 0, 0, D, D); // key pen and brush
    inks.Use(inks.blackPen, inks.whiteBrush);
    Ellipse(dc, 0, 0, D, D);
    Line(dc, 0, D / 2, D, D / 2);
    RECT box{left, D / 2, left + static_cast<int>(t.w), D / 2 + static_cast<int>(t.h)};
    InflateRect(&box, -2, -2);
    DrawLabel(dc, label, box);
}

// The bitmap as a bottom-up block of 4-byte pixels from CoTaskMemAlloc, stored through `out`:
// the key colour turns transparent white, every other pixel opaque.
HRESULT ReadBack(HDC dc, HBITMAP bitmap, int W, int H, ULONG_PTR out)
{
    const std::uint64_t stride = ((static_cast<std::uint64_t>(W) * 24 + 7) / 8 + 3) & ~std::uint64_t{3};
    const std::uint64_t rgbBytes = stride * static_cast<std::uint64_t>(H);
    const std::uint64_t blockBytes = static_cast<std::uint64_t>(W) * static_cast<std::uint64_t>(H) * 4;
    if (rgbBytes > MAXDWORD || blockBytes > std::numeric_limits<SIZE_T>::max()) return E_FAIL;
    std::unique_ptr<BYTE[]> rgb(new (std::nothrow) BYTE[static_cast<std::size_t>(rgbBytes)]);
    if (!rgb) return E_FAIL;
    BITMAPINFO info{};
    BITMAPINFOHEADER& header = info.bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = W;
    header.biHeight = H; // bottom-up
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(rgbBytes);
    if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(H), rgb.get(), &info, DIB_RGB_COLORS) != H) return E_FAIL;

    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(static_cast<SIZE_T>(blockBytes)));
    if (!block) return E_FAIL;
    BYTE* to = block;
    for (int y = 0; y < H; ++y) {
        const BYTE* from = rgb.get() + static_cast<std::size_t>(stride) * static_cast<std::size_t>(y);
        for (int x = 0; x < W; ++x, from += 3, to += 4) {
            const bool key = from[0] == 0 && from[1] == 255 && from[2] == 0;
            to[0] = key ? 255 : from[0];
            to[1] = key ? 255 : from[1];
            to[2] = key ? 255 : from[2];
            to[3] = key ? 0 : 255;
        }
    }
    *reinterpret_cast<BYTE**>(out) = block;
    return S_OK;
}

bool Drawable(long long width, long long height)
{
    return width > 0 && height > 0 && width <= std::numeric_limits<int>::max() && height <= std::numeric_limits<int>::max();
}

} // namespace

FeatureLayout::FeatureLayout(SIZE text)
    : tw(text.cx), th(static_cast<long long>(text.cy) + (text.cy & 1)), band(th + 4), width(tw + 16), height(2 * band),
      base(th / 2 + 2 + ((th / 2 + 2) & 1))
{
}

TargetLayout::TargetLayout(SIZE text)
    : w(text.cx + 4LL), h(text.cy + 4LL), half(w / 2),
      side(static_cast<long long>(2.0 * std::sqrt(static_cast<double>(h * h + half * half))))
{
}

bool FontHeight(float size, int* height)
{
    if (!std::isfinite(size)) return false;
    const double whole = std::trunc(static_cast<double>(size));
    if (std::fabs(whole) > std::numeric_limits<int>::max()) return false;
    *height = static_cast<int>(whole);
    return true;
}

HRESULT MeasureLabel(HDC reference, int height, const char* label, SIZE* extent)
{
    if (!label || !extent) return E_FAIL;
    LabelDc dc(reference, height);
    if (!dc.Ready()) return E_FAIL;
    *extent = dc.Measure(label);
    return S_OK;
}

HRESULT OutlineResolution(int* dpi)
{
    WindowDc dc(AfxGetMainWnd());
    if (!dc.get()) return E_FAIL;
    *dpi = GetDeviceCaps(dc.get(), LOGPIXELSY);
    return *dpi > 0 ? S_OK : E_FAIL;
}

HRESULT Label(APDatum& datum, bool target, int index, CString& label)
{
    CString text;
    if (datum.GetName(text) < 0) return E_FAIL;
    if (target) {
        CString suffix;
        if (datum.GetTargetLabel(index, suffix) < 0) return E_FAIL;
        text += suffix;
    }
    label = text;
    return S_OK;
}

} // namespace datum_symbol

// The window is not used: `dc` is the reference device (the screen when null).
HRESULT APDatum::DrawDatumSymbol(ULONG_PTR, ULONG_PTR dc, float fontSize, int index, long target, int* width,
                                 int* height, ULONG_PTR block)
{
    using namespace datum_symbol;
    if (!width || !height || !block) return E_FAIL;
    int fontHeight = 0;
    CString label;
    if (!FontHeight(fontSize, &fontHeight) || Label(*this, target != 0, index, label) < 0) return E_FAIL;

    HDC reference = reinterpret_cast<HDC>(dc);
    std::optional<WindowDc> screen;
    if (!reference) reference = screen.emplace(nullptr).get();
    if (!reference) return E_FAIL;
    LabelDc canvas(reference, fontHeight);
    if (!canvas.Ready()) return E_FAIL;
    const SIZE text = canvas.Measure(label);
    const FeatureLayout feature(text);
    const TargetLayout circle(text);
    const long long W = target ? circle.side : feature.width, H = target ? circle.side : feature.height;
    if (!Drawable(W, H)) return E_FAIL;
    *width = static_cast<int>(W);
    *height = static_cast<int>(H);

    GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(reference, static_cast<int>(W), static_cast<int>(H)));
    if (!bitmap) return E_FAIL;
    {
        Selection selected(canvas.get(), bitmap.get());
        const Inks inks(canvas.get());
        if (!selected || !inks.Ready()) return E_FAIL;
        if (target)
            PaintTarget(canvas.get(), inks, circle, label);
        else
            PaintFeature(canvas.get(), inks, feature, label);
        GdiFlush();
    } // GetDIBits reads only a bitmap that no context holds
    return ReadBack(canvas.get(), bitmap.get(), static_cast<int>(W), static_cast<int>(H), block);
}
