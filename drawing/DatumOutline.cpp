// The symbol as primitives of a client's 2D outline sink. Sizes arrive in pixels of the raster
// layout and go through the sink's scale; outline y grows upwards.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drawing/DatumSymbol.h"
#include "features/APDatum.h"

namespace datum_symbol {

namespace {

// The sink's colours: red, green and blue from 0 to 1.
struct Colour {
    float r, g, b;
};
constexpr Colour kBlack{0.0f, 0.0f, 0.0f};
constexpr Colour kWhite{1.0f, 1.0f, 1.0f};

// An attribute block of the sink: zero but for the values set at their byte offsets. The
// structures behind the blocks are the sink's; only these sizes and values are ours.
template <std::size_t N>
class Block {
public:
    Block& Int(std::size_t at, std::int32_t v) { return Put(at, v); }
    Block& Byte(std::size_t at, unsigned char v) { return Put(at, v); }
    Block& Float(std::size_t at, float v) { return Put(at, v); }
    Block& Pointer(std::size_t at, const void* p) { return Put(at, p); } // pointer-sized
    Block& Rgb(std::size_t at, Colour c) { return Float(at, c.r).Float(at + 4, c.g).Float(at + 8, c.b); }
    long Size() const { return static_cast<long>(N); }
    unsigned char* Data() { return m_bytes.data(); }

private:
    template <class T>
    Block& Put(std::size_t at, const T& v)
    {
        if (at + sizeof v <= N) std::memcpy(m_bytes.data() + at, &v, sizeof v);
        return *this;
    }
    std::array<unsigned char, N> m_bytes{};
};

Block<88> EdgeBlock(Colour c) { return Block<88>().Int(0, -1).Int(4, 1).Rgb(12, c).Int(28, 1).Float(36, 0.0f); }

Block<148> FillBlock(Colour c) { return Block<148>().Int(0, 0x3).Rgb(8, c).Int(24, 1); }

Block<84> LineBlock(Colour c, float width) { return Block<84>().Int(0, 7).Rgb(8, c).Int(24, 1).Float(32, width); }

// Drawing into the sink. The first failing call ends the drawing: it is the result, and nothing
// is called after it, EndGroup included.
//
// The group handle goes to the halo calls only: each Add* call gets an out slot of its own for
// its primitive's handle, as the sink's declarations have it.
class Outline {
public:
    Outline(ILoadee* loadee, IOutlineData2* data) : m_loadee(loadee), m_data(data) {}
    HRESULT Result() const { return m_hr; }

    void StartGroup()
    {
        Call([&] { return m_loadee->StartGroup(&m_group); });
    }
    void EndGroup()
    {
        Call([&] { return m_loadee->EndGroup(); });
    }
    double Scale(double pixels)
    {
        float out = 0.0f;
        Call([&] { return m_data->Scale3DValueTo2DLayer(static_cast<float>(pixels), &out); });
        return out;
    }

    void HaloCircle(double cx, double cy, double r)
    {
        Call([&] { return m_data->DrawHaloForCircle(m_loadee, m_group, F(cx), F(cy), F(r)); });
    }
    void HaloRectangle(double x, double y, double w, double h)
    {
        Call([&] { return m_data->DrawHaloForRectangle(m_loadee, m_group, F(x), F(y), F(w), F(h)); });
    }

    void Rectangle(double x, double y, double w, double h, Colour edge, Colour fill)
    {
        Call([&] { return m_loadee->Transparency(0.0f); });
        Edge(EdgeBlock(edge));
        Call([&] { return m_loadee->Transparency(0.0f); });
        Fill(FillBlock(fill));
        Call([&] { return m_loadee->AddRectangle(&m_primitive, x, y, x + w, y + h); });
    }
    void Circle(double cx, double cy, double r, Colour fill)
    {
        Edge(EdgeBlock(kBlack));
        Fill(FillBlock(fill));
        Call([&] { return m_loadee->AddCircle(&m_primitive, cx, cy, r); });
    }
    // A filled black triangle; the first corner is repeated at the end.
    void Triangle(double (&x)[4], double (&y)[4])
    {
        Edge(Block<88>().Int(0, -1).Byte(4, 1).Int(28, 99).Float(36, 0.0f));
        Fill(FillBlock(kBlack));
        Call([&] { return m_loadee->AddPolygon(&m_primitive, 4, x, y); });
    }
    void Line(double x0, double y0, double x1, double y1, Colour c, float width)
    {
        double x[2] = {x0, x1}, y[2] = {y0, y1};
        Lines(LineBlock(c, width));
        Call([&] { return m_loadee->AddPolyline(&m_primitive, 2, x, y); });
    }
    // Text centred at (x, y) within w x h; its height is the font height in points at the
    // resolution of the main window's device.
    void Text(int fontHeight, double x, double y, double w, double h, const CString& text, Colour c)
    {
        int dpi = 0;
        Call([&] { return OutlineResolution(&dpi); });
        if (FAILED(m_hr)) return;
        const double height = Scale(static_cast<double>(std::llabs(MulDiv(fontHeight, 72, dpi))));
        const double margin = Scale(2.0);
        std::wstring wide;
        Call([&] { return Widen(text, wide); });
        auto attributes = Block<140>().Int(0, -1).Int(4, -1).Rgb(8, c).Pointer(28, m_face.c_str()).Int(36, 2);
        attributes.Float(40, 1.0f).Float(48, static_cast<float>(height)).Float(52, 1.0f).Float(64, 1.0f);
        attributes.Int(72, 2).Int(76, 3).Int(100, -1).Int(128, 1);
        Call([&] { return m_loadee->TextAttributes(attributes.Size(), attributes.Data()); });
        Lines(LineBlock(kBlack, 0.0f));
        Call([&] { return m_loadee->AddRestrictedText(&m_primitive, x, y, 0.0, 0.0, w - margin, h, wide.c_str(), 1); });
    }

private:
    template <class F>
    void Call(F&& call)
    {
        if (FAILED(m_hr)) return;
        const HRESULT hr = call();
        if (FAILED(hr)) m_hr = hr;
    }
    void Edge(Block<88> block)
    {
        Call([&] { return m_loadee->EdgeAttributes(block.Size(), block.Data()); });
    }
    void Fill(Block<148> block)
    {
        Call([&] { return m_loadee->FillAttributes(block.Size(), block.Data()); });
    }
    void Lines(Block<84> block)
    {
        Call([&] { return m_loadee->LineAttributes(block.Size(), block.Data()); });
    }
    static float F(double v) { return static_cast<float>(v); }

    // The label in UTF-16 through the ANSI code page.
    static HRESULT Widen(const CString& text, std::wstring& wide)
    {
        const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        if (n <= 0) return E_FAIL;
        std::vector<wchar_t> buffer(static_cast<std::size_t>(n));
        if (MultiByteToWideChar(CP_ACP, 0, text, -1, buffer.data(), n) != n) return E_FAIL;
        wide.assign(buffer.data(), static_cast<std::size_t>(n - 1));
        return S_OK;
    }

    ILoadee* m_loadee;
    IOutlineData2* m_data;
    long m_group = 0;
    long m_primitive = 0;
    HRESULT m_hr = S_OK;
    const std::string m_face = "Arial"; // the text block points here until the drawing returns
};

void DrawTarget(Outline& out, const TargetLayout& t, double ox, double oy, int fontHeight, const CString& label)
{
    const long long R = t.side / 2;
    const long long left = R - t.half + 2, top = R + 2, right = R - t.half + t.w, bottom = R + t.h - 2;
    const double s = out.Scale(static_cast<double>(t.side));
    const double cy = oy + 0.5 * s;
    out.Circle(ox + 0.5 * s, cy, 0.5 * s, kWhite);
    out.Line(ox, cy, ox + s, cy, kBlack, 0.0f);
    const double tw = out.Scale(static_cast<double>(right - 2 - left)), th = out.Scale(static_cast<double>(bottom - top));
    const double x = out.Scale(static_cast<double>(left)) + ox + 0.5 * tw;
    out.Text(fontHeight, x, 0.25 * s + oy, tw, th, label, kBlack);
}

void DrawFeature(Outline& out, const FeatureLayout& f, double ox, double oy, int width, int height, int fontHeight,
                 const CString& label)
{
    const double sw = out.Scale(width), sh = out.Scale(height);
    // The box (4, B)-(tw + 12, 2B) by its lower-left corner.
    const double band = out.Scale(static_cast<double>(f.band));
    const double bw = out.Scale(static_cast<double>(f.tw + 8)), bh = band;
    const double bx = ox + out.Scale(4.0), by = oy + band - bh;
    out.Rectangle(bx, by, bw, bh, kBlack, kWhite);
    out.Text(fontHeight, bx + 0.5 * bw, by + 0.5 * bh, bw, bh, label, kBlack);

    // The triangle and the leader in doubles, so that the apex stays over the base's middle.
    auto X = [&](double px) { return ox + out.Scale(px); };
    auto Y = [&](double py) { return oy + sh - out.Scale(py); };
    const double b = static_cast<double>(f.base), mid = 0.5 * static_cast<double>(f.width);
    const double x0 = 0.5 * (static_cast<double>(f.width) - b), apex = kApexFactor * 0.5 * b;
    double xs[4] = {X(x0), X(x0 + b), X(mid), X(x0)};
    double ys[4] = {Y(0.0), Y(0.0), Y(apex), Y(0.0)};
    out.Triangle(xs, ys);
    out.Line(X(mid), Y(0.0), X(mid), Y(static_cast<double>(f.band)), kBlack, 0.0f);
    out.Line(ox, oy + sh, ox + sw, oy + sh, kBlack, 0.0f);
}

} // namespace

HRESULT DrawHalo(APDatum& /*datum*/, ILoadee* loadee, IOutlineData2* data, float originX, float originY,
                 float /*fontSize*/, int /*index*/, long target, int width, int height)
{
    if (!loadee || !data) return E_FAIL;
    Outline out(loadee, data);
    out.StartGroup();
    const double sw = out.Scale(width), sh = out.Scale(height);
    if (target) {
        const double r = 0.5 * sw;
        out.HaloCircle(originX + r, originY + r, r);
    } else {
        out.HaloRectangle(originX, originY, sw, sh);
    }
    out.EndGroup();
    return out.Result();
}

// The label is found and measured before the group opens, so that a datum without one leaves
// the sink untouched.
HRESULT DrawAnnotation(APDatum& datum, ILoadee* loadee, IOutlineData2* data, float originX, float originY, int width,
                       int height, float fontSize, int index, long target)
{
    if (!loadee || !data) return E_FAIL;
    int fontHeight = 0;
    CString label;
    if (!FontHeight(fontSize, &fontHeight) || Label(datum, target != 0, index, label) < 0) return E_FAIL;
    if (target) fontHeight = std::abs(fontHeight);
    SIZE text{};
    if (MeasureLabel(nullptr, fontHeight, label, &text) < 0) return E_FAIL;

    Outline out(loadee, data);
    out.StartGroup();
    if (target)
        DrawTarget(out, TargetLayout(text), originX, originY, fontHeight, label);
    else
        DrawFeature(out, FeatureLayout(text), originX, originY, width, height, fontHeight, label);
    out.EndGroup();
    return out.Result();
}

} // namespace datum_symbol
