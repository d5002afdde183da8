// Datum symbols: the raster image of features and targets, and the halo and annotation drawn
// into a recording outline sink. Text metrics are never assumed: every expected size comes
// from the label extent measured as the drawing measures it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "server/module.h"
#include "drawing/DatumSymbol.h"
#include "link_support.h"

using namespace link_test;

namespace {

constexpr std::uint32_t kInk = 0x000000FF;   // B G R A: opaque black
constexpr std::uint32_t kPaper = 0xFFFFFFFF; // opaque white
constexpr std::uint32_t kClear = 0xFFFFFF00; // the background: transparent white
constexpr long kGroup = 77;

class Drawing : public ObjectsTest {
protected:
    void SetUp() override
    {
        ObjectsTest::SetUp();
        screen = GetDC(nullptr);
        ASSERT_NE(screen, nullptr);
    }
    void TearDown() override
    {
        ReleaseDC(nullptr, screen);
        EXPECT_TRUE(doc.Take().empty()) << "drawing sent a change notification";
        ObjectsTest::TearDown();
        EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
    }

    // A datum named `name` with `labels` target labels, bound to the recording document.
    IAPDatum4* NewDatum(const char* name, int labels = 0)
    {
        IAPDatum4* d = New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4);
        IAPElement* e = Elem(d);
        e->SetName(Text(name));
        e->Release();
        for (int i = 0; i < labels; ++i) d->AppendTargetLabel(Text(std::string(1, static_cast<char>('P' + i)).c_str()));
        doc.Bind(d);
        doc.Take();
        return d;
    }

    SIZE Measure(HDC reference, int height, const char* label)
    {
        SIZE s{-1, -1};
        EXPECT_EQ(datum_symbol::MeasureLabel(reference, height, label, &s), S_OK);
        EXPECT_GT(s.cx, 0);
        EXPECT_GT(s.cy, 0);
        return s;
    }

    FakeDoc doc;
    HDC screen = nullptr;
};

// A symbol's pixel block, freed as the caller must.
struct Symbol {
    int width = -1, height = -1;
    BYTE* bits = nullptr;
    BYTE** slot = &bits;

    Symbol() = default;
    Symbol(const Symbol&) = delete;
    Symbol& operator=(const Symbol&) = delete;
    ~Symbol() { CoTaskMemFree(*slot); }

    HRESULT Draw(IAPDatum4* d, HDC dc, float size, int index, long target)
    {
        return d->DrawDatum(0, reinterpret_cast<ULONG_PTR>(dc), size, index, target, &width, &height,
                            reinterpret_cast<ULONG_PTR>(slot));
    }
    // The pixel (x, y), y from the image's top, as its bytes B G R A.
    std::uint32_t At(int x, int y) const
    {
        const BYTE* p = *slot + (static_cast<std::size_t>(height - 1 - y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
        return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
    }
    // Every pixel is either the clear background or opaque; the ink that is neither black
    // nor white (the label's anti-aliasing aside) is counted in `box`.
    int InkIn(RECT box) const
    {
        int ink = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint32_t p = At(x, y);
                EXPECT_TRUE((p & 0xFF) == 0xFF || p == kClear) << x << "," << y;
                if (x >= box.left && x < box.right && y >= box.top && y < box.bottom && p != kPaper) ++ink;
            }
        return ink;
    }
    // For a person to look at (scripts/symbols-to-png): a 32-bit bottom-up BMP.
    void Save(const char* file) const
    {
        const DWORD image = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
        BITMAPFILEHEADER fh{};
        BITMAPINFOHEADER ih{};
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof fh + sizeof ih;
        fh.bfSize = fh.bfOffBits + image;
        ih.biSize = sizeof ih;
        ih.biWidth = width;
        ih.biHeight = height;
        ih.biPlanes = 1;
        ih.biBitCount = 32;
        ih.biCompression = BI_RGB;
        ih.biSizeImage = image;
        FILE* f = std::fopen(file, "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(&fh, sizeof fh, 1, f);
        std::fwrite(&ih, sizeof ih, 1, f);
        std::fwrite(*slot, 1, image, f);
        std::fclose(f);
    }
};

// ---------------------------------------------------------------------------------------
// The recording sink: one log for both interfaces. Scale(x) = 0.5x; its calls are counted
// with the others (for failures) but kept out of the sequence.

struct Call {
    Call(std::string n, std::vector<double> a = {}, std::vector<unsigned char> b = {}, std::wstring t = {})
        : name(std::move(n)), args(std::move(a)), block(std::move(b)), text(std::move(t))
    {
    }
    std::string name;
    std::vector<double> args;
    std::vector<unsigned char> block;
    std::wstring text;
};

bool operator==(const Call& a, const Call& b)
{
    if (a.name != b.name || a.block != b.block || a.text != b.text || a.args.size() != b.args.size()) return false;
    for (std::size_t i = 0; i < a.args.size(); ++i)
        if (std::fabs(a.args[i] - b.args[i]) > 1e-12) return false;
    return true;
}

std::ostream& operator<<(std::ostream& os, const Call& c)
{
    os << c.name << "(";
    for (double a : c.args) os << a << " ";
    return os << "block " << c.block.size() << ")";
}

class Sink : public UncountedFake<ILoadee, &IID_ILoadee>, public UncountedFake<IOutlineData2, &IID_IOutlineData2> {
public:
    std::vector<Call> calls;
    int made = 0;      // sink calls, scale included
    int failAt = -1;   // the call that answers a failure
    const char* face = nullptr;

    ILoadee* Loadee() { return this; }
    IOutlineData2* Data() { return this; }

    HRESULT STDMETHODCALLTYPE StartGroup(long* group) override
    {
        if (!group) return Fail();
        *group = kGroup;
        return Log({"StartGroup"});
    }
    HRESULT STDMETHODCALLTYPE EndGroup() override
    {
        // The face name the text block pointed at still stands.
        return Log({"EndGroup", {}, {}, face ? std::wstring(face, face + std::strlen(face)) : L""});
    }
    HRESULT STDMETHODCALLTYPE EdgeAttributes(long size, unsigned char* b) override { return Attributes("Edge", size, b); }
    HRESULT STDMETHODCALLTYPE FillAttributes(long size, unsigned char* b) override { return Attributes("Fill", size, b); }
    HRESULT STDMETHODCALLTYPE LineAttributes(long size, unsigned char* b) override { return Attributes("Line", size, b); }
    HRESULT STDMETHODCALLTYPE TextAttributes(long size, unsigned char* b) override
    {
        if (size != 140 || !b) return Fail();
        std::memcpy(&face, b + 28, sizeof face);
        Call c{"Text", {}, std::vector<unsigned char>(b, b + size), std::wstring(face, face + std::strlen(face))};
        std::memset(c.block.data() + 28, 0, sizeof face);
        return Log(c);
    }
    HRESULT STDMETHODCALLTYPE Transparency(float t) override { return Log({"Transparency", {t}}); }
    HRESULT STDMETHODCALLTYPE AddCircle(long* h, double x, double y, double r) override
    {
        return Add(h, {"AddCircle", {x, y, r}});
    }
    HRESULT STDMETHODCALLTYPE AddRectangle(long* h, double l, double b, double r, double t) override
    {
        return Add(h, {"AddRectangle", {l, b, r, t}});
    }
    HRESULT STDMETHODCALLTYPE AddPolygon(long* h, long n, double* x, double* y) override { return Points(h, "AddPolygon", n, x, y); }
    HRESULT STDMETHODCALLTYPE AddPolyline(long* h, long n, double* x, double* y) override { return Points(h, "AddPolyline", n, x, y); }
    HRESULT STDMETHODCALLTYPE AddRestrictedText(long* h, double x, double y, double sx, double sy, double base, double up,
                                                LPCWSTR text, long final) override
    {
        if (!text) return Fail();
        return Add(h, {"AddRestrictedText", {x, y, sx, sy, base, up, static_cast<double>(final)}, {}, text});
    }
    HRESULT STDMETHODCALLTYPE Scale3DValueTo2DLayer(float in, float* out) override
    {
        if (!out || ++made == failAt + 1) return E_UNEXPECTED;
        *out = 0.5f * in;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DrawHaloForRectangle(ILoadee* l, long g, float x, float y, float w, float h) override
    {
        if (l != Loadee()) return Fail();
        return Log({"HaloRectangle", {static_cast<double>(g), x, y, w, h}});
    }
    HRESULT STDMETHODCALLTYPE DrawHaloForCircle(ILoadee* l, long g, float x, float y, float r) override
    {
        if (l != Loadee()) return Fail();
        return Log({"HaloCircle", {static_cast<double>(g), x, y, r}});
    }

    // Both bases answer through the first.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IOutlineData2) {
            *out = Data();
            return S_OK;
        }
        return UncountedFake<ILoadee, &IID_ILoadee>::QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

private:
    HRESULT Fail()
    {
        ADD_FAILURE() << "bad sink call";
        return E_INVALIDARG;
    }
    HRESULT Log(Call c)
    {
        calls.push_back(std::move(c));
        return ++made == failAt + 1 ? E_UNEXPECTED : S_OK;
    }
    HRESULT Attributes(const char* name, long size, unsigned char* b)
    {
        if (size <= 0 || !b) return Fail();
        return Log({name, {}, std::vector<unsigned char>(b, b + size)});
    }
    // Every primitive gets a handle slot of its own, never the group's.
    HRESULT Add(long* handle, Call c)
    {
        if (!handle) return Fail();
        *handle = 1000 + made;
        return Log(std::move(c));
    }
    HRESULT Points(long* h, const char* name, long n, const double* x, const double* y)
    {
        if (n <= 0 || !x || !y) return Fail();
        Call c{name, {static_cast<double>(n)}};
        c.args.insert(c.args.end(), x, x + n);
        c.args.insert(c.args.end(), y, y + n);
        return Add(h, c);
    }
};

// Expected attribute blocks, zero but for the values the sink is promised.
struct Bytes {
    std::vector<unsigned char> b;
    explicit Bytes(std::size_t n) : b(n) {}
    Bytes& I(std::size_t at, std::int32_t v) { return Put(at, &v); }
    Bytes& F(std::size_t at, float v) { return Put(at, &v); }
    Bytes& Rgb(std::size_t at, float v) { return F(at, v).F(at + 4, v).F(at + 8, v); }
    template <class T>
    Bytes& Put(std::size_t at, const T* v)
    {
        std::memcpy(b.data() + at, v, sizeof *v);
        return *this;
    }
};

Call Edge(float c) { return {"Edge", {}, Bytes(88).I(0, -1).I(4, 1).Rgb(12, c).I(28, 1).b}; }
Call Fill(float c) { return {"Fill", {}, Bytes(148).I(0, 3).Rgb(8, c).I(24, 1).b}; }
Call Line(float width) { return {"Line", {}, Bytes(84).I(0, 7).I(24, 1).F(32, width).b}; }
Call TextBlock(double height)
{
    return {"Text", {},
            Bytes(140).I(0, -1).I(4, -1).I(36, 2).F(40, 1).F(48, static_cast<float>(height)).F(52, 1).F(64, 1).I(72, 2).I(76, 3).I(100, -1).I(128, 1).b,
            L"Arial"};
}
Call Polyline(double x0, double y0, double x1, double y1) { return {"AddPolyline", {2, x0, x1, y0, y1}}; }
// The text primitive: attributes, line attributes, then the text at (x, y) in w x h.
std::vector<Call> TextCalls(double height, double x, double y, double w, double h, const wchar_t* text)
{
    return {TextBlock(height), Line(0), {"AddRestrictedText", {x, y, 0, 0, w - 1.0, h, 1}, {}, text}};
}

std::vector<Call> Sequence(std::initializer_list<std::vector<Call>> parts)
{
    std::vector<Call> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The outline text height for a font height: points at the resolution the drawing uses, scaled.
double TextHeight(int fontHeight)
{
    int dpi = 0;
    EXPECT_EQ(datum_symbol::OutlineResolution(&dpi), S_OK);
    return 0.5 * std::abs(MulDiv(fontHeight, 72, dpi));
}

double Scaled(double pixels) { return 0.5 * static_cast<double>(static_cast<float>(pixels)); }

} // namespace

// ---------------------------------------------------------------------------------------
// Raster

TEST_F(Drawing, AnElementThatIsNoDatumAnswersSFalseAndTouchesNothing)
{
    IAPFeature* pin = New<IAPFeature>(CLSID_APPinFeature, IID_IAPFeature);
    IAPElement* e = Elem(pin);
    auto* wrong = static_cast<IAPDatum4*>(ObjectOf(e));
    Symbol s;
    Sink sink;
    EXPECT_EQ(s.Draw(wrong, screen, 12, 0, 0), S_FALSE);
    EXPECT_EQ(s.Draw(wrong, screen, 12, 0, 1), S_FALSE);
    EXPECT_EQ(wrong->DrawDatum(0, 0, 12, 0, 0, nullptr, nullptr, 0), S_FALSE);
    EXPECT_EQ(wrong->DrawHalosToLoadee(sink.Loadee(), sink.Data(), 0, 0, 12, 0, 1, 35, 35), S_FALSE);
    EXPECT_EQ(wrong->DrawAnnotationToLoadee(sink.Loadee(), sink.Data(), 0, 0, 35, 35, 12, 0, 1), S_FALSE);
    EXPECT_EQ(wrong->DrawAnnotationToLoadee(nullptr, nullptr, 0, 0, 35, 35, 12, 0, 1), S_FALSE);
    EXPECT_EQ(s.width, -1);
    EXPECT_EQ(s.height, -1);
    EXPECT_EQ(s.bits, nullptr);
    EXPECT_EQ(sink.made, 0);
    e->Release();
    pin->Release();
}

TEST_F(Drawing, FeatureSymbolHangsTheLabelBoxFromATriangle)
{
    IAPDatum4* d = NewDatum("A");
    const SIZE text = Measure(screen, 12, "A");
    const int th = text.cy + (text.cy & 1), B = th + 4, W = text.cx + 16, H = 2 * B;
    const int b = th / 2 + 2 + ((th / 2 + 2) & 1);
    const int apex = static_cast<int>(std::tan(1.0471975511666667) * (b / 2));

    // The caller's pointer variable sits high in the address space where pointers are wide.
    auto** high = static_cast<BYTE**>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE | MEM_TOP_DOWN, PAGE_READWRITE));
    ASSERT_NE(high, nullptr);
    if (sizeof(void*) == 8) {
        EXPECT_NE(static_cast<std::uint64_t>(reinterpret_cast<ULONG_PTR>(high)) >> 32, 0u);
    }
    {
        Symbol s;
        s.slot = high;
        ASSERT_EQ(s.Draw(d, screen, 12, 3, 0), S_OK); // the index is a target's business
        ASSERT_NE(*high, nullptr);
        EXPECT_EQ(s.width, W);
        EXPECT_EQ(s.height, H);
        s.Save("datum_feature_A.bmp");

        for (int x = 0; x < W; ++x) EXPECT_EQ(s.At(x, 0), kInk) << "top line at " << x;
        for (int x = 0; x < W; ++x) EXPECT_EQ(s.At(x, H - 1), x < 4 || x >= W - 4 ? kClear : kInk) << "bottom row at " << x;
        EXPECT_EQ(s.At(5, B + 1), kPaper);
        ASSERT_LT(apex + 1, B);
        for (int y = apex + 1; y < B; ++y) {
            EXPECT_EQ(s.At(W / 2, y), kInk) << "leader at " << y;
            EXPECT_EQ(s.At(0, y), kClear) << y;
        }
        EXPECT_EQ(s.At((W - b) / 2 + 1, 1), kInk) << "triangle";
        EXPECT_GT(s.InkIn(RECT{8, B + 2, text.cx + 8, B + th + 2}), 0) << "the label";

        // Without a device of its own the caller gets the screen's layout.
        Symbol again;
        ASSERT_EQ(again.Draw(d, nullptr, 12, 0, 0), S_OK);
        EXPECT_EQ(again.width, W);
        EXPECT_EQ(again.height, H);
    }
    VirtualFree(high, 0, MEM_RELEASE);
    d->Release();
}

TEST_F(Drawing, TargetSymbolIsASplitCircleAroundNameAndLabel)
{
    IAPDatum4* d = NewDatum("A", 1);
    const SIZE text = Measure(screen, 12, "A1"); // the first label reads "1"
    const int w = text.cx + 4, h = text.cy + 4, half = w / 2;
    const int D = static_cast<int>(2 * std::sqrt(h * h + half * half));

    Symbol s;
    ASSERT_EQ(s.Draw(d, screen, 12, 0, 1), S_OK);
    ASSERT_NE(s.bits, nullptr);
    EXPECT_EQ(s.width, D);
    EXPECT_EQ(s.height, D);
    s.Save("datum_target_A1.bmp");
    for (int x = 0; x < D; ++x) EXPECT_EQ(s.At(x, D / 2), kInk) << "diameter at " << x;
    EXPECT_EQ(s.At(D / 2, D / 4), kPaper);
    for (auto [x, y] : {std::pair{0, 0}, {D - 1, 0}, {0, D - 1}, {D - 1, D - 1}}) EXPECT_EQ(s.At(x, y), kClear);
    EXPECT_GT(s.InkIn(RECT{D / 2 - half + 2, D / 2 + 2, D / 2 - half + w - 2, D / 2 + h - 2}), 0) << "the label";

    // An index without a label draws nothing.
    Symbol none;
    EXPECT_EQ(none.Draw(d, screen, 12, 1, 1), E_FAIL);
    EXPECT_EQ(none.Draw(d, screen, 12, -1, 1), E_FAIL);
    EXPECT_EQ(none.width, -1);
    EXPECT_EQ(none.bits, nullptr);
    d->Release();
}

TEST_F(Drawing, BadOutputsAndFontSizesFailWithNothingDrawn)
{
    IAPDatum4* d = NewDatum("A", 1);
    int w = -1, h = -1;
    BYTE* bits = nullptr;
    const auto dc = reinterpret_cast<ULONG_PTR>(screen);
    const auto slot = reinterpret_cast<ULONG_PTR>(&bits);
    EXPECT_EQ(d->DrawDatum(0, dc, 12, 0, 0, nullptr, &h, slot), E_FAIL);
    EXPECT_EQ(d->DrawDatum(0, dc, 12, 0, 0, &w, nullptr, slot), E_FAIL);
    EXPECT_EQ(d->DrawDatum(0, dc, 12, 0, 1, &w, &h, 0), E_FAIL);
    const float bad[] = {NAN, INFINITY, -INFINITY, 3e9f, -3e9f, 2147483648.0f};
    Sink sink;
    for (float size : bad) {
        for (long target : {0L, 1L}) {
            EXPECT_EQ(d->DrawDatum(0, dc, size, 0, target, &w, &h, slot), E_FAIL) << size;
            EXPECT_EQ(d->DrawAnnotationToLoadee(sink.Loadee(), sink.Data(), 0, 0, 40, 40, size, 0, target), E_FAIL) << size;
        }
    }
    EXPECT_EQ(w, -1);
    EXPECT_EQ(h, -1);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(sink.made, 0);

    // A size just inside an int is converted, whatever the device then makes of it.
    Symbol big;
    const HRESULT hr = big.Draw(d, screen, 2147483520.0f, 0, 0);
    EXPECT_TRUE(hr == S_OK || hr == E_FAIL);
    EXPECT_EQ(big.bits == nullptr, hr != S_OK);

    // Fractions are cut off: 12.9 draws as 12.
    Symbol a, b;
    ASSERT_EQ(a.Draw(d, screen, 12, 0, 1), S_OK);
    ASSERT_EQ(b.Draw(d, screen, 12.9f, 0, 1), S_OK);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(0, std::memcmp(a.bits, b.bits, static_cast<std::size_t>(a.width) * a.height * 4));
    d->Release();
}

// ---------------------------------------------------------------------------------------
// Outline

TEST_F(Drawing, HalosAreTheSymbolsOutlineAtTheOrigin)
{
    IAPDatum4* d = NewDatum("A");
    Sink sink;
    // Neither the font size nor the index matter to a halo.
    ASSERT_EQ(d->DrawHalosToLoadee(sink.Loadee(), sink.Data(), 10, 20, NAN, 9, 1, 35, 50), S_OK);
    ASSERT_EQ(d->DrawHalosToLoadee(sink.Loadee(), sink.Data(), 10, 20, 12, 0, 0, 35, 50), S_OK);
    const std::vector<Call> expected = {
        {"StartGroup"}, {"HaloCircle", {kGroup, 18.75, 28.75, 8.75}}, {"EndGroup"},
        {"StartGroup"}, {"HaloRectangle", {kGroup, 10, 20, 17.5, 25}}, {"EndGroup"}};
    EXPECT_EQ(sink.calls, expected);
    EXPECT_EQ(sink.made, 6 + 4); // two scales each

    EXPECT_EQ(d->DrawHalosToLoadee(nullptr, sink.Data(), 10, 20, 12, 0, 1, 35, 35), E_FAIL);
    EXPECT_EQ(d->DrawHalosToLoadee(sink.Loadee(), nullptr, 10, 20, 12, 0, 1, 35, 35), E_FAIL);
    EXPECT_EQ(sink.made, 10);
    d->Release();
}

TEST_F(Drawing, TargetAnnotationIsTheCircleTheDiameterAndTheLabel)
{
    IAPDatum4* d = NewDatum("A", 1);
    const SIZE text = Measure(nullptr, 12, "A1");
    const double tw = text.cx, th = text.cy;
    const int w = text.cx + 4, h = text.cy + 4, half = w / 2;
    const int D = static_cast<int>(2 * std::sqrt(half * half + h * h)), R = D / 2;
    const double s = 0.5 * D, cx = 10 + 0.5 * s, cy = 20 + 0.5 * s;
    const double left = 0.5 * (R - half + 2);
    const std::vector<Call> expected = Sequence({
        {{"StartGroup"}, Edge(0), Fill(1), {"AddCircle", {cx, cy, 0.5 * s}}, Line(0), Polyline(10, cy, 10 + s, cy)},
        TextCalls(TextHeight(12), left + 10 + 0.25 * tw, 0.25 * s + 20, 0.5 * tw, 0.5 * th, L"A1"),
        {{"EndGroup", {}, {}, L"Arial"}},
    });
    // The worked case: a label of 13 x 12 at 96 dpi.
    if (text.cx == 13 && text.cy == 12 && TextHeight(12) == 4.5) {
        EXPECT_EQ(expected[3], (Call{"AddCircle", {18.75, 28.75, 8.75}}));
        EXPECT_EQ(expected[5], Polyline(10, 28.75, 27.5, 28.75));
        EXPECT_EQ(expected[8], (Call{"AddRestrictedText", {18.75, 24.375, 0, 0, 5.5, 6.0, 1}, {}, L"A1"}));
    }
    for (float size : {12.0f, -12.0f, 12.5f}) {
        Sink sink;
        ASSERT_EQ(d->DrawAnnotationToLoadee(sink.Loadee(), sink.Data(), 10, 20, 0, 0, size, 0, 1), S_OK) << size;
        EXPECT_EQ(sink.calls, expected) << size;
    }
    Sink sink;
    EXPECT_EQ(d->DrawAnnotationToLoadee(sink.Loadee(), sink.Data(), 10, 20, 0, 0, 12, 1, 1), E_FAIL) << "no label 1";
    EXPECT_EQ(d->DrawAnnotationToLoadee(nullptr, sink.Data(), 10, 20, 0, 0, 12, 0, 1), E_FAIL);
    EXPECT_EQ(d->DrawAnnotationToLoadee(sink.Loadee(), nullptr, 10, 20, 0, 0, 12, 0, 1), E_FAIL);
    EXPECT_EQ(sink.made, 0);
    d->Release();
}

TEST_F(Drawing, FeatureAnnotationIsTheBoxTheLabelTheTriangleAndTheLines)
{
    IAPDatum4* d = NewDatum("A");
    const SIZE text = Measure(nullptr, 12, "A");
    const double tw = text.cx;
    const int th = text.cy + (text.cy & 1), B = th + 4, W = text.cx + 16, H = 2 * B;
    const int b = th / 2 + 2 + ((th / 2 + 2) & 1);
    const double apex = std::tan(1.0471975511666667) * 0.5 * b, x0 = 0.5 * (W - b);
    const double sh = 0.5 * H, top = 20 + sh, mid = 10 + 0.25 * W;
    // The box: 4 pixels in, the lower band, as wide as the label and 8 pixels more.
    const double bx = 12, by = 20, bw = 0.5 * (tw + 8), bh = 0.5 * B;
    const std::vector<Call> expected = Sequence({
        {{"StartGroup"}, {"Transparency", {0}}, Edge(0), {"Transparency", {0}}, Fill(1),
         {"AddRectangle", {bx, by, bx + bw, by + bh}}},
        TextCalls(TextHeight(12), bx + 0.5 * bw, by + 0.5 * bh, bw, bh, L"A"),
        {{"Edge", {}, Bytes(88).I(0, -1).I(4, 1).I(28, 99).b}, Fill(0),
         {"AddPolygon", {4, 10 + 0.5 * x0, 10 + 0.5 * (x0 + b), mid, 10 + 0.5 * x0, top, top, top - Scaled(apex), top}},
         Line(0), Polyline(mid, top, mid, top - 0.5 * B), Line(0), Polyline(10, top, 10 + 0.5 * W, top),
         {"EndGroup", {}, {}, L"Arial"}},
    });
    Sink sink;
    ASSERT_EQ(d->DrawAnnotationToLoadee(sink.Loadee(), sink.Data(), 10, 20, W, H, 12, 5, 0), S_OK);
    EXPECT_EQ(sink.calls, expected);
    d->Release();
}

TEST_F(Drawing, AFailingSinkCallEndsTheDrawingWithoutClosingTheGroup)
{
    IAPDatum4* d = NewDatum("A", 1);
    struct Case {
        long target;
        bool halo;
    };
    for (Case c : {Case{1, false}, Case{0, false}, Case{1, true}, Case{0, true}}) {
        auto draw = [&](Sink& sink) {
            return c.halo ? d->DrawHalosToLoadee(sink.Loadee(), sink.Data(), 10, 20, 12, 0, c.target, 40, 40)
                          : d->DrawAnnotationToLoadee(sink.Loadee(), sink.Data(), 10, 20, 40, 40, 12, 0, c.target);
        };
        Sink whole;
        ASSERT_EQ(draw(whole), S_OK);
        for (int k = 0; k < whole.made; ++k) {
            Sink sink;
            sink.failAt = k;
            EXPECT_EQ(draw(sink), E_FAIL) << k;
            EXPECT_EQ(sink.made, k + 1) << "a call after the failing one " << k;
            const bool ended = !sink.calls.empty() && sink.calls.back().name == "EndGroup";
            EXPECT_EQ(ended, k == whole.made - 1) << k;
        }
    }
    d->Release();
}
