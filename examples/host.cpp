// Example host: what a program that uses Plenvort does. The server is registered beforehand, as
// an installer would do it (scripts/demo runs regsvr32); the host finds every class by its ProgID,
// builds a small hinge (a base plate and a cover with pins, holes and faces, datums A, B and C
// with their frame, a size and a position tolerance, the operation that places the cover and a
// measurement), saves it, opens the file in a second document, prints the outline it finds
// there, and draws the base plate's datum symbols into PNG files beside the document.
//
// Usage: plenvort_host [folder]   (where the document and the symbols go; default ".")
#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Plenvort_h.h"
#include "png.h"

namespace {

// Inside this program a failing call ends the run with a message; S_FALSE counts as failure
// too: the library answers it when a method does not apply to the element's kind.
void Check(HRESULT hr, const char* what)
{
    if (hr == S_OK) return;
    char text[160];
    std::snprintf(text, sizeof text, "%s failed (0x%08lx)", what, static_cast<unsigned long>(hr));
    throw std::runtime_error(text);
}

// One counted reference to a COM object, released when the holder goes.
template <class T>
class Ptr {
public:
    Ptr() = default;
    Ptr(const Ptr& other) : m_p(other.m_p)
    {
        if (m_p) m_p->AddRef();
    }
    Ptr(Ptr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    Ptr& operator=(Ptr other) noexcept
    {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~Ptr()
    {
        if (m_p) m_p->Release();
    }
    T* operator->() const { return m_p; }
    T* get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For a getter that hands out a reference: drops the one held and gives the slot.
    T** Out()
    {
        *this = Ptr();
        return &m_p;
    }

private:
    T* m_p = nullptr;
};

template <class T>
Ptr<T> Query(IUnknown* object, REFIID iid)
{
    Ptr<T> out;
    Check(object->QueryInterface(iid, reinterpret_cast<void**>(out.Out())), "QueryInterface");
    return out;
}

unsigned char* Text(const char* s) { return reinterpret_cast<unsigned char*>(const_cast<char*>(s)); }

// The classes this host uses, looked up by ProgID in the registry.
struct Classes {
    static CLSID ByProgId(const char* progId)
    {
        std::wstring wide(progId, progId + std::char_traits<char>::length(progId));
        CLSID id{};
        if (FAILED(CLSIDFromProgID(wide.c_str(), &id)))
            throw std::runtime_error(std::string(progId) + " is not registered (register Plenvort.dll with regsvr32 first)");
        return id;
    }
    CLSID document = ByProgId("Plenvort.APDocument");
    CLSID pointerList = ByProgId("Plenvort.APPointerList");
    CLSID assembly = ByProgId("Plenvort.APAssemblyNode");
    CLSID part = ByProgId("Plenvort.APPartNode");
    CLSID pin = ByProgId("Plenvort.APPinFeature");
    CLSID hole = ByProgId("Plenvort.APHoleFeature");
    CLSID plane = ByProgId("Plenvort.APPlaneFeature");
    CLSID datum = ByProgId("Plenvort.APDatum");
    CLSID frame = ByProgId("Plenvort.APDRF");
    CLSID sizeTolerance = ByProgId("Plenvort.APSizeTolerance");
    CLSID gdtTolerance = ByProgId("Plenvort.APGDTTolerance");
    CLSID pair = ByProgId("Plenvort.APFeaturePair");
    CLSID assemblyOperation = ByProgId("Plenvort.APAssemblyOperation");
    CLSID measurement = ByProgId("Plenvort.APMeasurementOperation");
};

template <class T>
Ptr<T> CreateInstance(const CLSID& clsid, REFIID iid)
{
    Ptr<T> out;
    Check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(out.Out())), "CoCreateInstance");
    return out;
}

std::string NameOf(IUnknown* object)
{
    Ptr<IAPElement> element = Query<IAPElement>(object, IID_IAPElement);
    int size = 0;
    Check(element->GetNameSize(&size), "GetNameSize");
    std::string name(static_cast<std::size_t>(size) + 1, '\0');
    Check(element->GetName(Text(name.data())), "GetName");
    name.resize(static_cast<std::size_t>(size));
    return name;
}

void SetName(IUnknown* object, const char* name) { Check(Query<IAPElement>(object, IID_IAPElement)->SetName(Text(name)), "SetName"); }

// ---------------------------------------------------------------------------------------
// Building the model

class Builder {
public:
    Builder(IAPDocument* doc, const Classes& classes) : m_doc(doc), m_classes(classes) {}

    void Build()
    {
        Check(m_doc->SetProcessName(Text("Hinge line")), "SetProcessName");
        Check(m_doc->SetProcessDescription(Text("A cover placed on a base plate by two pins")), "SetProcessDescription");
        Check(Query<IAPDocument5>(m_doc, IID_IAPDocument5)->SetDocUnits(AP_UNIT_MILLIMETERS), "SetDocUnits");
        Ptr<IAPNode> hinge = Node(m_classes.assembly, "Hinge", nullptr);

        // The base plate, 120 x 80 x 10, with two pins standing on its top face.
        Ptr<IAPNode> base = Node(m_classes.part, "Base plate", hinge.get());
        Ptr<IAPFeature> top = Plane(base.get(), "Top face", {60, 40, 10}, {0, 0, 1}, 120, 80);
        Ptr<IAPFeature> side = Plane(base.get(), "Side face", {0, 40, 5}, {-1, 0, 0}, 80, 10);
        Ptr<IAPFeature> pin1 = Cylinder(m_classes.pin, base.get(), "Pin 1", {20, 40, 10}, 10, 12);
        Ptr<IAPFeature> pin2 = Cylinder(m_classes.pin, base.get(), "Pin 2", {100, 40, 10}, 8, 12);

        // Datums A, B and C belong to the part, and so does the frame |A|B(M)|C| built on them.
        Ptr<IAPPartNode> basePart = Query<IAPPartNode>(base.get(), IID_IAPPartNode);
        Ptr<IAPDatum> a = Datum(basePart.get(), "A", top.get());
        Ptr<IAPDatum> b = Datum(basePart.get(), "B", pin1.get());
        Ptr<IAPDatum> c = Datum(basePart.get(), "C", side.get());
        Ptr<IAPDRF> frame = Create<IAPDRF>(m_classes.frame, IID_IAPDRF);
        Check(frame->AddPrimaryDatum(a.get(), AP_MODIFIER_NONE), "AddPrimaryDatum");
        Check(frame->AddSecondaryDatum(b.get(), AP_MODIFIER_MMC), "AddSecondaryDatum");
        Check(frame->AddTertiaryDatum(c.get(), AP_MODIFIER_NONE), "AddTertiaryDatum");
        Check(basePart->AppendListItem(frame.get()), "AppendListItem");

        // Pin 2: its diameter within limits, its axis at a position to the frame.
        Ptr<IAPSizeTolerance> size = Create<IAPSizeTolerance>(m_classes.sizeTolerance, IID_IAPSizeTolerance);
        Check(size->SetSizeType(AP_SIZE_LIMITS), "SetSizeType");
        Check(size->SetMinSizeLimit(7.98), "SetMinSizeLimit");
        Check(size->SetMaxSizeLimit(8.02), "SetMaxSizeLimit");
        AddTolerance(pin2.get(), size.get(), AP_TOL_CAT_SIZE);
        Ptr<IAPGDTTolerance> position = Create<IAPGDTTolerance>(m_classes.gdtTolerance, IID_IAPGDTTolerance);
        Check(position->SetGDTType(AP_CALLOUT_POSITION), "SetGDTType");
        Check(position->SetZoneShape(AP_TOL_CIRCULAR), "SetZoneShape");
        Check(position->SetZoneSize(0.1), "SetZoneSize");
        Check(position->SetZoneModifier(AP_MODIFIER_MMC), "SetZoneModifier");
        Check(position->SetDRF(frame.get()), "SetDRF");
        AddTolerance(pin2.get(), position.get(), AP_TOL_CAT_LOC);

        // The cover, with a hole for each pin.
        Ptr<IAPNode> cover = Node(m_classes.part, "Cover", hinge.get());
        Ptr<IAPFeature> bottom = Plane(cover.get(), "Bottom face", {60, 40, 0}, {0, 0, -1}, 120, 80);
        Ptr<IAPFeature> hole1 = Cylinder(m_classes.hole, cover.get(), "Hole 1", {20, 40, 0}, 10.2, 6);
        Ptr<IAPFeature> hole2 = Cylinder(m_classes.hole, cover.get(), "Hole 2", {100, 40, 0}, 8.4, 6);

        // The process: place the cover (face on face, hole 1 centred on pin 1), then measure
        // how hole 2 sits on pin 2 along x.
        Ptr<IAPNode> place = Node(m_classes.assemblyOperation, "Place cover", hinge.get());
        Check(Query<IAPAssemblyOperation3>(place.get(), IID_IAPAssemblyOperation3)
                  ->AppendAssemblyOperationElement(Query<IAPElement>(cover.get(), IID_IAPElement).get()),
              "AppendAssemblyOperationElement");
        Pair(place.get(), bottom.get(), top.get(), AP_PRESSFIT_UNKNOWN);
        Pair(place.get(), hole1.get(), pin1.get(), AP_PRESSFIT_CENTERED);
        Ptr<IAPNode> check = Node(m_classes.measurement, "Hole 2 on pin 2", hinge.get());
        Ptr<IAPMeasurementOperation5> measure = Query<IAPMeasurementOperation5>(check.get(), IID_IAPMeasurementOperation5);
        Check(measure->SetMeasurementVector(1, 0, 0), "SetMeasurementVector");
        Check(measure->SetLowDesignLimit(-0.2), "SetLowDesignLimit");
        Check(measure->SetHighDesignLimit(0.2), "SetHighDesignLimit");
        Check(measure->SetDesignLimitsFlag(1), "SetDesignLimitsFlag"); // a limit counts once this flag is set
        Pair(check.get(), hole2.get(), pin2.get(), AP_PRESSFIT_UNKNOWN);
    }

private:
    struct Xyz {
        double x, y, z;
    };

    // Elements are made by the document, which binds them to itself.
    template <class T>
    Ptr<T> Create(const CLSID& clsid, REFIID iid)
    {
        GUID id = clsid, wanted = iid;
        Ptr<T> out;
        Check(m_doc->CreateProcessElement(&id, &wanted, reinterpret_cast<ULONG_PTR*>(out.Out())), "CreateProcessElement");
        return out;
    }

    Ptr<IAPNode> Node(const CLSID& clsid, const char* name, IAPNode* parent)
    {
        Ptr<IAPNode> node = Create<IAPNode>(clsid, IID_IAPNode);
        SetName(node.get(), name);
        if (parent) Check(m_doc->AddChild(parent, node.get()), "AddChild");
        return node;
    }

    Ptr<IAPFeature> Plane(IAPNode* part, const char* name, Xyz centre, Xyz normal, double extent1, double extent2)
    {
        Ptr<IAPNode> node = Node(m_classes.plane, name, part);
        Check(Query<IAPPlaneFeature>(node.get(), IID_IAPPlaneFeature)
                  ->DefinePlaneImplicit(centre.x, centre.y, centre.z, normal.x, normal.y, normal.z, extent1, extent2),
              "DefinePlaneImplicit");
        return Query<IAPFeature>(node.get(), IID_IAPFeature);
    }

    // A pin or a hole along z from `anchor`.
    Ptr<IAPFeature> Cylinder(const CLSID& kind, IAPNode* part, const char* name, Xyz anchor, double diameter, double height)
    {
        Ptr<IAPNode> node = Node(kind, name, part);
        const double r = diameter / 2;
        if (IsEqualCLSID(kind, m_classes.pin))
            Check(Query<IAPPinFeature>(node.get(), IID_IAPPinFeature)
                      ->DefinePinFeatureImplicit(anchor.x, anchor.y, anchor.z, 0, 0, 1, r, height, 0, 0, 0),
                  "DefinePinFeatureImplicit");
        else
            Check(Query<IAPHoleFeature>(node.get(), IID_IAPHoleFeature)
                      ->DefineHoleFeatureImplicit(anchor.x, anchor.y, anchor.z, 0, 0, 1, r, height, 0, 0, 0),
                  "DefineHoleFeatureImplicit");
        return Query<IAPFeature>(node.get(), IID_IAPFeature);
    }

    Ptr<IAPDatum> Datum(IAPPartNode* part, const char* name, IAPFeature* feature)
    {
        Ptr<IAPDatum> datum = Create<IAPDatum>(m_classes.datum, IID_IAPDatum);
        SetName(datum.get(), name);
        Check(datum->AppendDatumFeature(feature), "AppendDatumFeature");
        Check(part->AppendListItem2(datum.get()), "AppendListItem2");
        return datum;
    }

    // The feature keeps the tolerance (and tells it which feature it tolerances).
    void AddTolerance(IAPFeature* feature, IUnknown* tolerance, APTolCategoryType category)
    {
        Ptr<IAPTolerance> tol = Query<IAPTolerance>(tolerance, IID_IAPTolerance);
        Check(tol->SetCategory(category), "SetCategory");
        Check(feature->AddTolerance(tol.get()), "AddTolerance");
    }

    // The operation keeps the pair (and tells it its operation).
    void Pair(IAPNode* operation, IAPFeature* object, IAPFeature* target, APPressFitType fit)
    {
        Ptr<IAPFeaturePair> pair = Create<IAPFeaturePair>(m_classes.pair, IID_IAPFeaturePair);
        Check(pair->AppendObjectFeature(object), "AppendObjectFeature");
        Check(pair->AppendTargetFeature(target), "AppendTargetFeature");
        if (fit != AP_PRESSFIT_UNKNOWN) Check(pair->SetFloat(fit), "SetFloat");
        Check(Query<IAPOperation>(operation, IID_IAPOperation)->AppendFeaturePair(pair.get()), "AppendFeaturePair");
    }

    IAPDocument* m_doc;
    const Classes& m_classes;
};

// ---------------------------------------------------------------------------------------
// Printing the outline

template <class... Values>
std::string Format(const char* format, Values... values)
{
    char text[160];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string Point(double x, double y, double z) { return Format("(%g, %g, %g)", x, y, z); }

const char* Modifier(APModifierType m) { return m == AP_MODIFIER_MMC ? "(M)" : m == AP_MODIFIER_LMC ? "(L)" : ""; }

const char* Callout(APTolCalloutType type)
{
    static const char* const names[] = {"angularity", "circularity", "circular runout", "concentricity", "cylindricity",
                                        "flatness", "line profile", "parallelism", "perpendicularity", "position",
                                        "straightness", "surface profile", "total runout", "symmetry", "GD&T",
                                        "plus/minus", "form refinement", "directed dimension"};
    return type >= 1 && type <= 18 ? names[type - 1] : "GD&T";
}

const char* PressFit(APPressFitType fit)
{
    static const char* const names[] = {"random", "centred", "at LMC", "on datum A", "on datum B", "on datum C",
                                        "on datum A(M)", "on datum B(M)", "on datum C(M)", "on datums B and C", "biased"};
    return fit >= 1 && fit <= 11 ? names[fit - 1] : nullptr;
}

class Outline {
public:
    Outline(IAPDocument* doc, const Classes& classes) : m_doc(doc), m_classes(classes) {}

    void Print()
    {
        int size = 0;
        Check(m_doc->GetProcessNameSize(&size), "GetProcessNameSize");
        std::string name(static_cast<std::size_t>(size) + 1, '\0');
        Check(m_doc->GetProcessName(Text(name.data())), "GetProcessName");
        APDocUnits units{};
        Check(Query<IAPDocument5>(m_doc, IID_IAPDocument5)->GetDocUnits(&units), "GetDocUnits");
        std::printf("Process \"%s\" (lengths in %s)\n", name.c_str(), units == AP_UNIT_MILLIMETERS ? "mm" : "other units");

        Ptr<IAPPointerList> roots = CreateInstance<IAPPointerList>(m_classes.pointerList, IID_IAPPointerList);
        Check(m_doc->GetRoots(roots.get()), "GetRoots");
        int count = 0;
        Check(roots->GetLength(&count), "GetLength");
        for (int i = 0; i < count; ++i) {
            GUID iid = IID_IAPNode;
            Ptr<IAPNode> node;
            Check(roots->GetElement(i, &iid, reinterpret_cast<ULONG_PTR*>(node.Out())), "GetElement");
            Node(node.get(), 1);
        }
    }

    // The datums met on the way, for their symbols.
    const std::vector<Ptr<IAPDatum4>>& Datums() const { return m_datums; }

private:
    void Line(int depth, const std::string& text) { std::printf("%*s%s\n", depth * 2, "", text.c_str()); }

    void Node(IAPNode* node, int depth)
    {
        CLSID kind{};
        Check(Query<IAPElement>(node, IID_IAPElement)->GetClassID(&kind), "GetClassID");
        const std::string name = NameOf(node);
        if (IsEqualCLSID(kind, m_classes.assembly)) {
            Line(depth, name + " (assembly)");
        } else if (IsEqualCLSID(kind, m_classes.part)) {
            Line(depth, name + " (part)");
            Part(node, depth + 1);
        } else if (IsEqualCLSID(kind, m_classes.pin) || IsEqualCLSID(kind, m_classes.hole) || IsEqualCLSID(kind, m_classes.plane)) {
            Line(depth, name + Dimensions(node, kind));
            Tolerances(node, depth + 1);
        } else if (IsEqualCLSID(kind, m_classes.assemblyOperation)) {
            Ptr<IAPAssemblyOperation3> op = Query<IAPAssemblyOperation3>(node, IID_IAPAssemblyOperation3);
            int count = 0;
            Check(op->GetAssemblyOperationNumElements(&count), "GetAssemblyOperationNumElements");
            std::string moved;
            for (int i = 0; i < count; ++i) {
                Ptr<IAPElement> element;
                Check(op->GetAssemblyOperationElement(i, element.Out()), "GetAssemblyOperationElement");
                moved += (i ? ", " : " ") + NameOf(element.get());
            }
            Line(depth, name + " (assembly operation): places" + moved);
            Pairs(node, depth + 1);
        } else if (IsEqualCLSID(kind, m_classes.measurement)) {
            Ptr<IAPMeasurementOperation> op = Query<IAPMeasurementOperation>(node, IID_IAPMeasurementOperation);
            double x = 0, y = 0, z = 0, low = 0, high = 0;
            long lowSet = 0, highSet = 0;
            Check(op->GetMeasurementVector(&x, &y, &z), "GetMeasurementVector");
            Check(op->IsLowDesignLimitSet(&lowSet), "IsLowDesignLimitSet");
            Check(op->IsHighDesignLimitSet(&highSet), "IsHighDesignLimitSet");
            Check(op->GetLowDesignLimit(&low), "GetLowDesignLimit");
            Check(op->GetHighDesignLimit(&high), "GetHighDesignLimit");
            std::string limits;
            if (lowSet) limits += Format(", from %g", low);
            if (highSet) limits += Format(lowSet ? " to %g" : ", up to %g", high);
            Line(depth, name + " (measurement operation): along " + Point(x, y, z) + limits);
            Pairs(node, depth + 1);
        } else {
            Line(depth, name);
        }

        int count = 0;
        Check(node->GetNumChildren(&count), "GetNumChildren");
        for (int i = 0; i < count; ++i) {
            Ptr<IAPNode> child;
            Check(node->GetChild(i, child.Out()), "GetChild");
            Node(child.get(), depth + 1);
        }
    }

    // A part's datums and datum reference frames.
    void Part(IAPNode* node, int depth)
    {
        Ptr<IAPPartNode> part = Query<IAPPartNode>(node, IID_IAPPartNode);
        int count = 0;
        Check(part->GetNumListItems2(&count), "GetNumListItems2");
        for (int i = 0; i < count; ++i) {
            Ptr<IAPDatum> datum;
            Check(part->GetListItem2(i, datum.Out()), "GetListItem2");
            int features = 0;
            Check(datum->GetNumDatumFeatures(&features), "GetNumDatumFeatures");
            std::string text = "datum " + NameOf(datum.get()) + ":";
            for (int f = 0; f < features; ++f) {
                Ptr<IAPFeature> feature;
                Check(datum->GetDatumFeature(f, feature.Out()), "GetDatumFeature");
                text += (f ? ", " : " ") + NameOf(feature.get());
            }
            Line(depth, text);
            m_datums.push_back(Query<IAPDatum4>(datum.get(), IID_IAPDatum4));
        }
        Check(part->GetNumListItems(&count), "GetNumListItems");
        for (int i = 0; i < count; ++i) {
            Ptr<IAPDRF> frame;
            Check(part->GetListItem(i, frame.Out()), "GetListItem");
            Line(depth, "datum reference frame " + Frame(frame.get()));
        }
    }

    // |A|B(M)|C|: the primary, secondary and tertiary datums with their modifiers.
    static std::string Frame(IAPDRF* frame)
    {
        using Count = HRESULT (STDMETHODCALLTYPE IAPDRF::*)(int*);
        using Get = HRESULT (STDMETHODCALLTYPE IAPDRF::*)(int, IAPDatum**, APModifierType*);
        const std::pair<Count, Get> lists[] = {{&IAPDRF::GetNumPrimaryDatums, &IAPDRF::GetPrimaryDatum},
                                               {&IAPDRF::GetNumSecondaryDatums, &IAPDRF::GetSecondaryDatum},
                                               {&IAPDRF::GetNumTertiaryDatums, &IAPDRF::GetTertiaryDatum}};
        std::string text = "|";
        for (const auto& [count, get] : lists) {
            int n = 0;
            Check((frame->*count)(&n), "GetNum...Datums");
            for (int i = 0; i < n; ++i) {
                Ptr<IAPDatum> datum;
                APModifierType modifier{};
                Check((frame->*get)(i, datum.Out(), &modifier), "Get...Datum");
                if (i) text += '-';
                text += NameOf(datum.get());
                text += Modifier(modifier);
            }
            if (n) text += "|";
        }
        return text;
    }

    std::string Dimensions(IAPNode* node, const CLSID& kind)
    {
        double x = 0, y = 0, z = 0, dx = 0, dy = 0, dz = 0, r = 0, h = 0;
        if (IsEqualCLSID(kind, m_classes.plane)) {
            Ptr<IAPPlaneFeature> plane = Query<IAPPlaneFeature>(node, IID_IAPPlaneFeature);
            Check(plane->GetCentroid(&x, &y, &z), "GetCentroid");
            Check(plane->GetNormal(&dx, &dy, &dz), "GetNormal");
            Check(plane->GetExtent(&r, &h), "GetExtent");
            return Format(" (plane): %g x %g", r, h) + " at " + Point(x, y, z) + ", normal " + Point(dx, dy, dz);
        }
        if (IsEqualCLSID(kind, m_classes.pin)) {
            Ptr<IAPPinFeature> pin = Query<IAPPinFeature>(node, IID_IAPPinFeature);
            Check(pin->GetPinFeatureRadius(&r), "GetPinFeatureRadius");
            Check(pin->GetPinFeatureHeight(&h), "GetPinFeatureHeight");
            Check(pin->GetPinFeatureAnchorPoint(&x, &y, &z), "GetPinFeatureAnchorPoint");
            Check(pin->GetPinFeatureDirection(&dx, &dy, &dz), "GetPinFeatureDirection");
            return Format(" (pin): diameter %g, height %g", 2 * r, h) + ", at " + Point(x, y, z) + " along " + Point(dx, dy, dz);
        }
        Ptr<IAPHoleFeature> hole = Query<IAPHoleFeature>(node, IID_IAPHoleFeature);
        Check(hole->GetHoleFeatureRadius(&r), "GetHoleFeatureRadius");
        Check(hole->GetHoleFeatureHeight(&h), "GetHoleFeatureHeight");
        Check(hole->GetHoleFeatureAnchorPoint(&x, &y, &z), "GetHoleFeatureAnchorPoint");
        Check(hole->GetHoleFeatureDirection(&dx, &dy, &dz), "GetHoleFeatureDirection");
        return Format(" (hole): diameter %g, depth %g", 2 * r, h) + ", at " + Point(x, y, z) + " along " + Point(dx, dy, dz);
    }

    void Tolerances(IAPNode* node, int depth)
    {
        Ptr<IAPFeature> feature = Query<IAPFeature>(node, IID_IAPFeature);
        int count = 0;
        Check(feature->GetNumTolerances(&count), "GetNumTolerances");
        for (int i = 0; i < count; ++i) {
            Ptr<IAPTolerance> tolerance;
            Check(feature->GetTolerance(i, tolerance.Out()), "GetTolerance");
            CLSID kind{};
            Check(Query<IAPElement>(tolerance.get(), IID_IAPElement)->GetClassID(&kind), "GetClassID");
            if (IsEqualCLSID(kind, m_classes.sizeTolerance)) {
                Ptr<IAPSizeTolerance> size = Query<IAPSizeTolerance>(tolerance.get(), IID_IAPSizeTolerance);
                double low = 0, high = 0;
                Check(size->GetMinSizeLimit(&low), "GetMinSizeLimit");
                Check(size->GetMaxSizeLimit(&high), "GetMaxSizeLimit");
                Line(depth, Format("size tolerance: %g to %g", low, high));
                continue;
            }
            Ptr<IAPGDTTolerance> gdt = Query<IAPGDTTolerance>(tolerance.get(), IID_IAPGDTTolerance);
            APTolCalloutType type{};
            APTolZoneShapeType shape{};
            APModifierType modifier{};
            double zone = 0;
            Check(gdt->GetGDTType(&type), "GetGDTType");
            Check(gdt->GetZoneShape(&shape), "GetZoneShape");
            Check(gdt->GetZoneSize(&zone), "GetZoneSize");
            Check(gdt->GetZoneModifier(&modifier), "GetZoneModifier");
            std::string text = std::string(Callout(type)) + " tolerance: " + (shape == AP_TOL_CIRCULAR ? "diameter " : "") +
                               Format("%g", zone) + Modifier(modifier);
            Ptr<IAPDRF> frame;
            Check(gdt->GetDRF(frame.Out()), "GetDRF");
            if (frame) text += " to " + Frame(frame.get());
            Line(depth, text);
        }
    }

    // part/feature, for features of other parts.
    static std::string FullName(IAPFeature* feature)
    {
        Ptr<IAPNode> node = Query<IAPNode>(feature, IID_IAPNode);
        Ptr<IAPNode> part;
        int parents = 0;
        Check(node->GetNumParents(&parents), "GetNumParents");
        if (parents > 0) Check(node->GetParent(0, part.Out()), "GetParent");
        return (part ? NameOf(part.get()) + "/" : "") + NameOf(feature);
    }

    static std::string Features(IAPFeaturePair* pair, bool objects)
    {
        int count = 0;
        Check(objects ? pair->GetNumObjectFeatures(&count) : pair->GetNumTargetFeatures(&count), "GetNum...Features");
        std::string text;
        for (int i = 0; i < count; ++i) {
            Ptr<IAPFeature> feature;
            Check(objects ? pair->GetObjectFeature(i, feature.Out()) : pair->GetTargetFeature(i, feature.Out()), "Get...Feature");
            text += (i ? ", " : "") + FullName(feature.get());
        }
        return text;
    }

    void Pairs(IAPNode* node, int depth)
    {
        Ptr<IAPOperation> op = Query<IAPOperation>(node, IID_IAPOperation);
        int count = 0;
        Check(op->GetNumFeaturePairs(&count), "GetNumFeaturePairs");
        for (int i = 0; i < count; ++i) {
            Ptr<IAPFeaturePair> pair;
            Check(op->GetFeaturePair(i, pair.Out()), "GetFeaturePair");
            APPressFitType fit{};
            Check(pair->GetFloat(&fit), "GetFloat");
            const char* how = PressFit(fit);
            Line(depth, "pair: " + Features(pair.get(), true) + " -> " + Features(pair.get(), false) + (how ? std::string(", ") + how : ""));
        }
    }

    IAPDocument* m_doc;
    const Classes& m_classes;
    std::vector<Ptr<IAPDatum4>> m_datums;
};

// ---------------------------------------------------------------------------------------
// Datum symbols

// Draws each datum's feature symbol and writes it as <folder>\datum_<name>.png.
void WriteSymbols(const std::vector<Ptr<IAPDatum4>>& datums, const std::string& folder)
{
    struct ScreenDc {
        HDC dc = GetDC(nullptr);
        ~ScreenDc() { ReleaseDC(nullptr, dc); }
    } screen;
    if (!screen.dc) throw std::runtime_error("no device context for the datum symbols");
    for (const Ptr<IAPDatum4>& datum : datums) {
        int width = 0, height = 0;
        BYTE* bits = nullptr; // 4 bytes a pixel (B, G, R, alpha), bottom row first; ours to free
        Check(datum->DrawDatum(0, reinterpret_cast<ULONG_PTR>(screen.dc), 48.0f, 0, 0, &width, &height,
                               reinterpret_cast<ULONG_PTR>(&bits)),
              "DrawDatum");
        if (!bits) throw std::runtime_error("DrawDatum gave no picture");
        // Top row first, and the transparent background made white.
        std::vector<std::uint8_t> rgb;
        rgb.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
        for (int y = height - 1; y >= 0; --y)
            for (int x = 0; x < width; ++x) {
                const BYTE* p = bits + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
                for (int c = 2; c >= 0; --c) rgb.push_back(static_cast<std::uint8_t>((p[c] * p[3] + 255 * (255 - p[3])) / 255));
            }
        CoTaskMemFree(bits);
        const std::string path = folder + "\\datum_" + NameOf(datum.get()) + ".png";
        if (!png::Write(path.c_str(), width, height, rgb)) throw std::runtime_error("cannot write " + path);
        std::printf("  %s (%d x %d)\n", path.c_str(), width, height);
    }
}

void Run(const std::string& folder)
{
    const Classes classes;
    const std::string path = folder + "\\hinge.pvd";
    {
        Ptr<IAPDocument> doc = CreateInstance<IAPDocument>(classes.document, IID_IAPDocument);
        Builder(doc.get(), classes).Build();
        Check(doc->Save(Text(path.c_str())), "Save");
    }
    std::printf("Saved %s; opened again it holds:\n\n", path.c_str());

    Ptr<IAPDocument> doc = CreateInstance<IAPDocument>(classes.document, IID_IAPDocument);
    Check(doc->OpenDocument(Text(path.c_str())), "OpenDocument");
    Outline outline(doc.get(), classes);
    outline.Print();
    std::printf("\nDatum symbols (IAPDatum4::DrawDatum):\n");
    WriteSymbols(outline.Datums(), folder);
}

// Every object this host made is gone once it let go of them all: the library agrees to unload.
bool AllReleased()
{
    HMODULE library = GetModuleHandleW(L"Plenvort.dll");
    if (!library) return true;
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    auto canUnload = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    return canUnload && canUnload() == S_OK;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : ".";
    CreateDirectoryA(folder.c_str(), nullptr); // it may be there already
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("plenvort_host: COM did not start\n");
        return 1;
    }
    int rc = 0;
    try {
        Run(folder);
    } catch (const std::exception& e) {
        std::printf("plenvort_host: %s\n", e.what());
        rc = 1;
    }
    if (!AllReleased()) {
        std::printf("plenvort_host: Plenvort.dll still has live objects\n");
        rc = 1;
    }
    CoUninitialize();
    return rc;
}
