// Measurement and SPC measurement operations: defaults, design limits, raw data,
// contributors and their details, reference elements with their references and watches,
// kind tests and notifications, copies, blocks of every version and the document file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "server/module.h"
#include "operations/APMeasurementOperation.h"
#include "document_support.h"
#include "link_support.h"

using namespace link_test;

namespace {

using MeasurementOps = ObjectsTest;
using Meas = IAPMeasurementOperation9;

Meas* NewMeasurement() { return New<Meas>(CLSID_APMeasurementOperation, IID_IAPMeasurementOperation9); }
IAPSPCMeasurementOp* NewSpc() { return New<IAPSPCMeasurementOp>(CLSID_APSPCMeasurementOp, IID_IAPSPCMeasurementOp); }

std::vector<IUnknown*> References(Meas* m)
{
    std::vector<IUnknown*> out;
    const int n = Got(m, &Meas::GetNumReferenceElements);
    for (int i = 0; i < n; ++i) {
        IAPElement* e = nullptr;
        EXPECT_EQ(m->GetMeasurementOperationReferenceElement(i, &e), S_OK);
        out.push_back(e);
        Release(e);
    }
    return out;
}

struct Contributor {
    std::string name;
    double value;
    int code;
};

Contributor ContributorAt(Meas* m, int index, bool alternate = false)
{
    char name[2100] = "unset";
    Contributor c{"", 0.0, -1};
    const HRESULT hr = alternate
                           ? m->GetMeasurementOperationAltContribData2(index, reinterpret_cast<unsigned char*>(name),
                                                                       &c.value, &c.code)
                           : m->GetContribData2(index, reinterpret_cast<unsigned char*>(name), &c.value, &c.code);
    EXPECT_EQ(hr, S_OK) << index;
    c.name = name;
    return c;
}

void WriteVector(WmObjectStream& s, double x, double y, double z) { s.write(x), s.write(y), s.write(z); }

// `from` cloned into `to` (any interfaces of the two elements).
HRESULT CloneInto(IUnknown* from, IUnknown* to)
{
    IAPElement* source = Elem(from);
    IAPElement* target = Elem(to);
    const HRESULT hr = source->Clone(target);
    source->Release();
    target->Release();
    return hr;
}

HRESULT AppendReference(Meas* m, IUnknown* p)
{
    IAPElement* e = Elem(p);
    const HRESULT hr = m->AppendReferenceElement(e);
    e->Release();
    return hr;
}

// The whole element block as the element writes it.
std::vector<unsigned char> SavedBlock(IUnknown* p)
{
    IAPElement* e = Elem(p);
    auto bytes = BlockOf([&](Writer& w) { EXPECT_EQ(e->Serialize(w.Handle()), S_OK); });
    e->Release();
    return bytes;
}

} // namespace

TEST_F(MeasurementOps, DefaultsThroughTheInterfaces)
{
    Meas* m = NewMeasurement();
    EXPECT_EQ(Got(m, &Meas::GetMeasurementMode), 16);
    EXPECT_EQ(Got(m, &Meas::GetOption1), 1);
    EXPECT_EQ(Got(m, &Meas::GetOption2), 0);
    EXPECT_EQ(Got(m, &Meas::GetOption3), 0);
    EXPECT_EQ(Got(m, &Meas::GetOption4), -1);
    EXPECT_EQ(Got(m, &Meas::GetProcessStdDev), -1.0);
    EXPECT_EQ(Got(m, &Meas::GetHLMVariance), -9999.0);
    EXPECT_EQ(Got(m, &Meas::GetExtraValue1), -9999.0);
    EXPECT_EQ(Got(m, &Meas::GetExtraValue2), 0.0);
    EXPECT_EQ(Got(m, &Meas::GetExtraValue3), 0.0);
    EXPECT_EQ(Got(m, &Meas::GetMeasurementOperationExtraValue4), 0.0);
    EXPECT_EQ(Got(m, &Meas::GetMeasurementOperationExtraValue5), 0.0);
    EXPECT_EQ(Got(m, &Meas::GetSimulatedNominal), 0.0);
    EXPECT_EQ(Got(m, &Meas::IsLowDesignLimitSet), 0);
    EXPECT_EQ(Got(m, &Meas::IsHighDesignLimitSet), 0);
    EXPECT_EQ(Got(m, &Meas::GetDesignLimitsFlag), 0);
    EXPECT_EQ(Got(m, &Meas::GetIsRelative), 0);
    EXPECT_EQ(Got(m, &Meas::GetResultsStoredFlag), 0);
    EXPECT_EQ(Got(m, &Meas::GetNumData), 0);
    EXPECT_EQ(Got(m, &Meas::GetNumContribData), 0);
    EXPECT_EQ(Got(m, &Meas::GetMeasurementOperationNumAltContribData), 0);
    EXPECT_EQ(Got(m, &Meas::GetNumReferenceElements), 0);
    double x = 1, y = 1, z = 1;
    EXPECT_EQ(m->GetMeasurementVector(&x, &y, &z), S_OK);
    EXPECT_EQ(x + y + z, 0.0);
    EXPECT_EQ(m->GetMeasurementVector(&x, nullptr, &z), E_POINTER);
    int option5 = -1;
    EXPECT_EQ(Model<APMeasurementOperation>(m)->GetOption5(&option5), S_OK);
    EXPECT_EQ(option5, 0);
    IAPOperation4* op = Query<IAPOperation4>(m, IID_IAPOperation4);
    EXPECT_EQ(Got(op, &IAPOperation4::GetConditionMode), 2);
    op->Release();

    IAPSPCMeasurementOp* spc = NewSpc();
    EXPECT_EQ(Got(spc, &IAPSPCMeasurementOp::GetSPCMeasurementType), AP_SPC_COORD);
    char name[16] = "x";
    EXPECT_EQ(spc->GetXMLFileName(reinterpret_cast<unsigned char*>(name)), S_OK);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(spc->GetNameInXMLFile(reinterpret_cast<unsigned char*>(name)), S_OK);
    EXPECT_STREQ(name, "");
    int count = -1;
    double p[3] = {7, 7, 7}, q[3] = {7, 7, 7};
    EXPECT_EQ(spc->GetAnchorPts(&count, p, q), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(p[0], 7.0) << "no point is in use";
    op = Query<IAPOperation4>(spc, IID_IAPOperation4);
    EXPECT_EQ(Got(op, &IAPOperation4::GetConditionMode), 2);
    op->Release();
    spc->Release();
    m->Release();
}

TEST_F(MeasurementOps, DesignLimitsAndRawData)
{
    Meas* m = NewMeasurement();
    EXPECT_EQ(m->SetHighDesignLimit(2.5), S_OK);
    EXPECT_EQ(Got(m, &Meas::IsHighDesignLimitSet), 0) << "a limit setter leaves its flag";
    EXPECT_EQ(Got(m, &Meas::GetHighDesignLimit), 2.5);
    EXPECT_EQ(m->SetLowDesignLimit(-1.5), S_OK);
    EXPECT_EQ(m->SetDesignLimitsFlag(1), S_OK);
    EXPECT_EQ(Got(m, &Meas::IsLowDesignLimitSet), 1);
    EXPECT_EQ(Got(m, &Meas::IsHighDesignLimitSet), 1);
    EXPECT_EQ(Got(m, &Meas::GetDesignLimitsFlag), 1);
    EXPECT_EQ(Got(m, &Meas::GetLowDesignLimit), -1.5);

    EXPECT_EQ(m->SetNumData(5), S_OK);
    EXPECT_EQ(Got(m, &Meas::GetNumData), 5);
    EXPECT_EQ(Got(m, &Meas::GetResultsStoredFlag), 1);
    double v = 1.0;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(m->GetRawDataByIndex(i, &v), S_OK);
        EXPECT_EQ(v, 0.0);
    }
    // Past the end and before the start alike.
    for (int bad : {5, -1, 0x7fffffff}) {
        v = 1.0;
        EXPECT_EQ(m->GetRawDataByIndex(bad, &v), E_FAIL) << bad;
        EXPECT_EQ(v, -800000.0) << bad;
        EXPECT_EQ(m->SetRawDataByIndex(bad, 3.0), E_FAIL) << bad;
    }
    m->SetResultsStoredFlag(0);
    EXPECT_EQ(m->SetRawDataByIndex(4, 3.25), S_OK);
    EXPECT_EQ(Got(m, &Meas::GetResultsStoredFlag), 1) << "a stored value marks the results stored";
    EXPECT_EQ(m->GetRawDataByIndex(4, &v), S_OK);
    EXPECT_EQ(v, 3.25);
    EXPECT_EQ(m->SetNumData(0), S_OK);
    EXPECT_EQ(Got(m, &Meas::GetResultsStoredFlag), 0);
    EXPECT_EQ(Got(m, &Meas::GetNumData), 0);
    EXPECT_EQ(m->GetRawDataByIndex(0, &v), E_FAIL);
    EXPECT_EQ(m->SetNumData(-3), S_OK);
    EXPECT_EQ(Got(m, &Meas::GetNumData), 0);
    m->Release();
}

TEST_F(MeasurementOps, ContributorsTheirDetailsAndRemoval)
{
    Meas* m = NewMeasurement();
    EXPECT_EQ(m->AppendContribData2(Text("a"), 1.5, 11), S_OK);
    EXPECT_EQ(m->AppendContribData2(Text("b"), 2.5, 22), S_OK);
    EXPECT_EQ(Got(m, &Meas::GetNumContribData), 2);

    // Details of contributor 0 at stride 2 land at 2, 4, 6 and 8 and read back in order.
    EXPECT_EQ(m->SetMeasurementOperationContribDataDetails(Text("a"), 10, 20, 30, 40, 0, 2), S_OK);
    double d[4] = {};
    EXPECT_EQ(m->GetMeasurementOperationContribDataDetails(0, &d[0], &d[1], &d[2], &d[3]), S_OK);
    EXPECT_EQ(d[0], 10.0);
    EXPECT_EQ(d[1], 20.0);
    EXPECT_EQ(d[2], 30.0);
    EXPECT_EQ(d[3], 40.0);
    EXPECT_EQ(m->GetMeasurementOperationContribDataDetails(1, &d[0], &d[1], &d[2], &d[3]), E_FAIL)
        << "the values do not reach its last detail";
    EXPECT_EQ(m->GetMeasurementOperationContribDataDetails(2, &d[0], &d[1], &d[2], &d[3]), E_FAIL);
    EXPECT_EQ(m->GetMeasurementOperationContribDataDetails(-1, &d[0], &d[1], &d[2], &d[3]), E_FAIL);

    // Another name, or an index outside the names: nothing changes. A negative target fails.
    EXPECT_EQ(m->SetMeasurementOperationContribDataDetails(Text("b"), 1, 1, 1, 1, 0, 2), S_OK);
    EXPECT_EQ(m->SetMeasurementOperationContribDataDetails(Text("a"), 1, 1, 1, 1, 7, 2), S_OK);
    EXPECT_EQ(m->SetMeasurementOperationContribDataDetails(Text("a"), 1, 1, 1, 1, -1, 2), S_OK);
    EXPECT_EQ(m->SetMeasurementOperationContribDataDetails(Text("a"), 1, 1, 1, 1, 0, -1), E_FAIL);
    EXPECT_EQ(m->SetMeasurementOperationContribDataDetails(Text("a"), 1, 1, 1, 1, 0, 0x40000000), E_FAIL);
    EXPECT_EQ(m->GetMeasurementOperationContribDataDetails(0, &d[0], &d[1], &d[2], &d[3]), S_OK);
    EXPECT_EQ(d[0], 10.0);
    EXPECT_EQ(d[3], 40.0);

    Contributor c = ContributorAt(m, 1);
    EXPECT_EQ(c.name, "b");
    EXPECT_EQ(c.value, 2.5);
    EXPECT_EQ(c.code, 22);
    // Values past the names (the details) answer with an empty name and code 0.
    c = ContributorAt(m, 4);
    EXPECT_EQ(c.name, "");
    EXPECT_EQ(c.value, 20.0);
    EXPECT_EQ(c.code, 0);
    char name[8];
    double value = 0;
    EXPECT_EQ(m->GetContribData(9, reinterpret_cast<unsigned char*>(name), &value), E_FAIL);
    EXPECT_EQ(m->ClearMeasurementOperationContribValues(), S_OK);
    EXPECT_EQ(ContributorAt(m, 8).value, 40.0) << "values stay while there are names";

    // Removal takes value, name and code; later entries move down.
    EXPECT_EQ(m->RemoveContribDataByIndex(-1), E_FAIL);
    EXPECT_EQ(m->RemoveContribDataByIndex(9), E_FAIL);
    EXPECT_EQ(m->RemoveContribDataByIndex(0), S_OK);
    EXPECT_EQ(Got(m, &Meas::GetNumContribData), 1);
    c = ContributorAt(m, 0);
    EXPECT_EQ(c.name, "b");
    EXPECT_EQ(c.code, 22);
    EXPECT_EQ(m->RemoveContribDataByIndex(0), S_OK);
    EXPECT_EQ(Got(m, &Meas::GetNumContribData), 0);
    EXPECT_EQ(m->ClearMeasurementOperationContribValues(), S_OK);
    EXPECT_EQ(m->GetContribData(0, reinterpret_cast<unsigned char*>(name), &value), E_FAIL);
    EXPECT_EQ(m->ExtendMeasurementOperationContribValues(2), S_OK);
    EXPECT_EQ(ContributorAt(m, 9).value, 0.0) << "five zeros per count";
    EXPECT_EQ(m->ExtendMeasurementOperationContribValues(-1), E_FAIL);
    m->ClearMeasurementOperationContribValues();

    // A name is kept to 2055 characters; a plain append has no code.
    const std::string longName(3000, 'n');
    double v = 7.0;
    EXPECT_EQ(m->AppendContribData(Text(longName.c_str()), &v), S_OK);
    c = ContributorAt(m, 0);
    EXPECT_EQ(c.name, std::string(2055, 'n'));
    EXPECT_EQ(c.code, 0);

    // The alternate list counts its values.
    EXPECT_EQ(m->AppendMeasurementOperationAltContribData2(Text("alt"), 3.0, 5), S_OK);
    EXPECT_EQ(m->AppendMeasurementOperationAltContribData(Text("alt2"), &v), S_OK);
    EXPECT_EQ(Got(m, &Meas::GetMeasurementOperationNumAltContribData), 2);
    c = ContributorAt(m, 1, true);
    EXPECT_EQ(c.name, "alt2");
    EXPECT_EQ(c.value, 7.0);
    EXPECT_EQ(c.code, 0);
    EXPECT_EQ(m->RemoveMeasurementOperationAltContribDataByIndex(0), S_OK);
    EXPECT_EQ(ContributorAt(m, 0, true).name, "alt2");
    EXPECT_EQ(Got(m, &Meas::GetNumContribData), 1) << "the lists are apart";
    m->Release();
}

TEST_F(MeasurementOps, ReferenceElementsAreDistinctCountedAndWatched)
{
    Meas* m = NewMeasurement();
    IAPElement* a = New<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    IAPElement* b = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    IAPElement* c = New<IAPElement>(CLSID_APHoleFeature, IID_IAPElement);
    const ULONG aRefs = RefCount(a), bRefs = RefCount(b), cRefs = RefCount(c);

    // Appended twice, through two interfaces: one entry, one reference, one watch.
    EXPECT_EQ(m->AppendReferenceElement(a), S_OK);
    IAPNode* aNode = Query<IAPNode>(a, IID_IAPNode);
    EXPECT_EQ(m->AppendReferenceElement(reinterpret_cast<IAPElement*>(aNode)), S_OK);
    aNode->Release();
    EXPECT_EQ(m->AppendReferenceElement(nullptr), S_OK);
    EXPECT_EQ(References(m).size(), 1u);
    EXPECT_EQ(RefCount(a), aRefs + 1);
    EXPECT_EQ(Dependents(a), 1);

    EXPECT_EQ(m->AppendReferenceElement(b), S_OK);
    EXPECT_EQ(m->AppendReferenceElement(c), S_OK);
    EXPECT_EQ(References(m).size(), 3u);
    IAPElement* out = nullptr;
    EXPECT_EQ(m->GetMeasurementOperationReferenceElement(3, &out), E_FAIL);
    EXPECT_EQ(m->GetMeasurementOperationReferenceElement(-1, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);

    // A bad index changes nothing; a good one lets go of the element.
    EXPECT_EQ(m->RemoveReferenceElementByIndex(3), E_FAIL);
    EXPECT_EQ(m->RemoveReferenceElementByIndex(-1), E_FAIL);
    EXPECT_EQ(Dependents(c), 1);
    EXPECT_EQ(m->RemoveReferenceElementByIndex(2), S_OK);
    EXPECT_EQ(RefCount(c), cRefs);
    EXPECT_EQ(Dependents(c), 0);
    EXPECT_EQ(m->RemoveReferenceElement(c), S_OK) << "not listed";
    EXPECT_EQ(m->RemoveReferenceElement(a), S_OK);
    EXPECT_EQ(RefCount(a), aRefs);
    EXPECT_EQ(Dependents(a), 0);
    auto refs = References(m);
    ASSERT_EQ(refs.size(), 1u);
    EXPECT_TRUE(Same(refs[0], b));

    // One of three destroyed: the whole list goes.
    m->AppendReferenceElement(a);
    m->AppendReferenceElement(c);
    EXPECT_EQ(c->NotifyDependents(3), S_OK);
    EXPECT_TRUE(References(m).empty());
    for (IUnknown* p : {static_cast<IUnknown*>(a), static_cast<IUnknown*>(b), static_cast<IUnknown*>(c)})
        EXPECT_EQ(Dependents(p), 0);
    EXPECT_EQ(RefCount(a), aRefs);
    EXPECT_EQ(RefCount(b), bRefs);
    EXPECT_EQ(RefCount(c), cRefs);
    // Another element's end is not a reference element's.
    m->AppendReferenceElement(a);
    EXPECT_EQ(b->NotifyDependents(3), S_OK);
    EXPECT_EQ(References(m).size(), 1u);

    m->Release();
    EXPECT_EQ(RefCount(a), aRefs) << "the operation lets go as it ends";
    EXPECT_EQ(Dependents(a), 0);
    a->Release();
    b->Release();
    c->Release();
}

TEST_F(MeasurementOps, SpcAnswersFalseToTheWholeMeasurementChain)
{
    IAPSPCMeasurementOp* spcOp = NewSpc();
    Meas* m = Query<Meas>(spcOp, IID_IAPMeasurementOperation9);
    ASSERT_NE(m, nullptr) << "the SPC coclass hands out the measurement chain";
    int i = 0;
    double d = 0;
    long l = 0;
    unsigned char buf[16] = {};
    IAPElement* e = nullptr;
    IAPElement* self = Elem(m);
    const std::function<HRESULT()> calls[] = {
        [&] { return m->SetMeasurementMode(1); }, [&] { return m->GetMeasurementMode(&i); },
        [&] { return m->SetMeasurementVector(1, 0, 0); }, [&] { return m->GetMeasurementVector(&d, &d, &d); },
        [&] { return m->SetLowDesignLimit(1); }, [&] { return m->GetLowDesignLimit(&d); },
        [&] { return m->SetHighDesignLimit(1); }, [&] { return m->GetHighDesignLimit(&d); },
        [&] { return m->IsLowDesignLimitSet(&l); }, [&] { return m->IsHighDesignLimitSet(&l); },
        [&] { return m->SetIsRelative(1); }, [&] { return m->GetIsRelative(&l); },
        [&] { return m->GetResultsStoredFlag(&l); }, [&] { return m->SetResultsStoredFlag(1); },
        [&] { return m->SetNumData(2); }, [&] { return m->GetNumData(&i); },
        [&] { return m->SetRawDataByIndex(0, 1); }, [&] { return m->GetRawDataByIndex(0, &d); },
        [&] { return m->AppendContribData(buf, &d); }, [&] { return m->GetNumContribData(&i); },
        [&] { return m->GetContribData(0, buf, &d); }, [&] { return m->RemoveContribDataByIndex(0); },
        [&] { return m->AppendContribData2(buf, 1, 1); }, [&] { return m->GetContribData2(0, buf, &d, &i); },
        [&] { return m->SetSimulatedNominal(1); }, [&] { return m->GetSimulatedNominal(&d); },
        [&] { return m->GetProcessStdDev(&d); }, [&] { return m->SetProcessStdDev(1); },
        [&] { return m->GetHLMVariance(&d); }, [&] { return m->SetHLMVariance(1); },
        [&] { return m->GetExtraValue1(&d); }, [&] { return m->SetExtraValue1(1); },
        [&] { return m->AppendMeasurementOperationAltContribData(buf, &d); },
        [&] { return m->GetMeasurementOperationNumAltContribData(&i); },
        [&] { return m->GetMeasurementOperationAltContribData(0, buf, &d); },
        [&] { return m->RemoveMeasurementOperationAltContribDataByIndex(0); },
        [&] { return m->AppendMeasurementOperationAltContribData2(buf, 1, 1); },
        [&] { return m->GetMeasurementOperationAltContribData2(0, buf, &d, &i); },
        [&] { return m->GetExtraValue3(&d); }, [&] { return m->GetExtraValue2(&d); },
        [&] { return m->SetExtraValue2(1); }, [&] { return m->SetExtraValue3(1); },
        [&] { return m->SetDesignLimitsFlag(1); }, [&] { return m->GetDesignLimitsFlag(&l); },
        [&] { return m->GetOption1(&i); }, [&] { return m->SetOption1(1); },
        [&] { return m->GetOption2(&i); }, [&] { return m->SetOption2(1); },
        [&] { return m->GetMeasurementOperationExtraValue4(&d); },
        [&] { return m->SetMeasurementOperationExtraValue4(1); },
        [&] { return m->GetMeasurementOperationExtraValue5(&d); },
        [&] { return m->SetMeasurementOperationExtraValue5(1); }, [&] { return m->SetOption4(1); },
        [&] { return m->GetOption4(&i); }, [&] { return m->GetOption3(&i); }, [&] { return m->SetOption3(1); },
        [&] { return m->AppendReferenceElement(self); }, [&] { return m->GetNumReferenceElements(&i); },
        [&] { return m->GetMeasurementOperationReferenceElement(0, &e); },
        [&] { return m->RemoveReferenceElement(self); }, [&] { return m->RemoveReferenceElementByIndex(0); },
        [&] { return m->SetMeasurementOperationContribDataDetails(buf, 1, 2, 3, 4, 0, 1); },
        [&] { return m->GetMeasurementOperationContribDataDetails(0, &d, &d, &d, &d); },
        [&] { return m->ExtendMeasurementOperationContribValues(1); },
        [&] { return m->ClearMeasurementOperationContribValues(); },
    };
    int n = 0;
    for (const auto& call : calls) EXPECT_EQ(call(), S_FALSE) << "call " << n++;
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(Dependents(self), 0);
    self->Release();

    // And the other way round: a measurement operation is no SPC one.
    Meas* meas = NewMeasurement();
    IAPSPCMeasurementOp* notSpc = Query<IAPSPCMeasurementOp>(meas, IID_IAPSPCMeasurementOp);
    EXPECT_EQ(notSpc, nullptr) << "the measurement coclass hands out no SPC interface";
    CAPElement* o = ObjectOf(Model<APElement>(meas)->GetComObject());
    EXPECT_EQ(o->SetSPCMeasurementType(AP_SPC_VALUE), S_FALSE);
    EXPECT_EQ(o->GetXMLFileName(buf), S_FALSE);
    meas->Release();
    m->Release();
    spcOp->Release();
}

TEST_F(MeasurementOps, NineSettersNotifyAsTheFirstVersionAndNoOtherMethodDoes)
{
    IAPElement* pin = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    double v = 1.0;
    struct Row {
        const char* name;
        std::function<HRESULT(Meas*)> call;
        bool notifies;
    } rows[] = {
        {"SetMeasurementMode", [](Meas* m) { return m->SetMeasurementMode(3); }, true},
        {"SetMeasurementVector", [](Meas* m) { return m->SetMeasurementVector(0, 1, 0); }, true},
        {"SetLowDesignLimit", [](Meas* m) { return m->SetLowDesignLimit(1); }, true},
        {"SetHighDesignLimit", [](Meas* m) { return m->SetHighDesignLimit(2); }, true},
        {"SetIsRelative", [](Meas* m) { return m->SetIsRelative(1); }, true},
        {"SetDesignLimitsFlag", [](Meas* m) { return m->SetDesignLimitsFlag(1); }, true},
        {"AppendReferenceElement", [&](Meas* m) { return m->AppendReferenceElement(pin); }, true},
        {"RemoveReferenceElement",
         [&](Meas* m) {
             Model<APMeasurementOperation>(m)->AppendReferenceElement(pin);
             return m->RemoveReferenceElement(pin);
         },
         true},
        {"RemoveReferenceElementByIndex",
         [&](Meas* m) {
             Model<APMeasurementOperation>(m)->AppendReferenceElement(pin);
             return m->RemoveReferenceElementByIndex(0);
         },
         true},
        {"SetResultsStoredFlag", [](Meas* m) { return m->SetResultsStoredFlag(1); }, false},
        {"SetNumData", [](Meas* m) { return m->SetNumData(3); }, false},
        {"AppendContribData", [&](Meas* m) { return m->AppendContribData(Text("c"), &v); }, false},
        {"AppendContribData2", [](Meas* m) { return m->AppendContribData2(Text("c"), 1, 2); }, false},
        {"SetProcessStdDev", [](Meas* m) { return m->SetProcessStdDev(1); }, false},
        {"SetHLMVariance", [](Meas* m) { return m->SetHLMVariance(1); }, false},
        {"SetExtraValue1", [](Meas* m) { return m->SetExtraValue1(1); }, false},
        {"SetOption1", [](Meas* m) { return m->SetOption1(2); }, false},
        {"SetOption4", [](Meas* m) { return m->SetOption4(2); }, false},
        {"ExtendMeasurementOperationContribValues",
         [](Meas* m) { return m->ExtendMeasurementOperationContribValues(1); }, false},
    };
    for (const Row& r : rows) {
        FakeDoc doc;
        Meas* m = NewMeasurement();
        doc.Bind(m);
        EXPECT_EQ(r.call(m), S_OK) << r.name;
        const auto heard = doc.Take();
        if (r.notifies) {
            ASSERT_EQ(heard.size(), 1u) << r.name;
            EXPECT_EQ(heard[0], IID_IAPMeasurementOperation) << r.name;
        } else {
            EXPECT_TRUE(heard.empty()) << r.name;
        }
        Elem(m)->BindDocument(nullptr), m->Release(); // the query's reference
        m->Release();
    }

    // No method of the SPC interface notifies.
    FakeDoc doc;
    IAPSPCMeasurementOp* spc = NewSpc();
    doc.Bind(spc);
    double p[3] = {1, 2, 3};
    EXPECT_EQ(spc->SetSPCMeasurementType(AP_SPC_VALUE), S_OK);
    EXPECT_EQ(spc->SetXMLFileName(Text("file.xml")), S_OK);
    EXPECT_EQ(spc->SetNameInXMLFile(Text("m1")), S_OK);
    EXPECT_EQ(spc->SetAnchorPts(2, p, p), S_OK);
    EXPECT_TRUE(doc.Take().empty());
    Elem(spc)->BindDocument(nullptr), spc->Release();
    spc->Release();
    EXPECT_EQ(Dependents(pin), 0);
    pin->Release();
}

TEST_F(MeasurementOps, SpcStringsAndAnchorPoints)
{
    IAPSPCMeasurementOp* spc = NewSpc();
    EXPECT_EQ(spc->SetXMLFileName(Text("C:\\spc\\data.xml")), S_OK);
    EXPECT_EQ(spc->SetNameInXMLFile(Text("bore")), S_OK);
    EXPECT_EQ(spc->SetSPCMeasurementType(AP_SPC_VALUE), S_OK);
    char name[32] = {};
    EXPECT_EQ(spc->GetXMLFileName(reinterpret_cast<unsigned char*>(name)), S_OK);
    EXPECT_STREQ(name, "C:\\spc\\data.xml");
    EXPECT_EQ(spc->GetNameInXMLFile(reinterpret_cast<unsigned char*>(name)), S_OK);
    EXPECT_STREQ(name, "bore");
    EXPECT_EQ(spc->GetXMLFileName(nullptr), E_POINTER);
    EXPECT_EQ(Got(spc, &IAPSPCMeasurementOp::GetSPCMeasurementType), AP_SPC_VALUE);

    double p[3] = {1, 2, 3}, q[3] = {4, 5, 6};
    EXPECT_EQ(spc->SetAnchorPts(2, p, q), S_OK);
    double r[3] = {4, 5, 6};
    double s[3] = {9, 9, 9};
    EXPECT_EQ(spc->SetAnchorPts(1, r, s), S_OK) << "only the first point is taken";
    int count = 0;
    double outP[3] = {}, outQ[3] = {-1, -1, -1};
    EXPECT_EQ(spc->GetAnchorPts(&count, outP, outQ), S_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(outP[0], 4.0);
    EXPECT_EQ(outQ[0], -1.0) << "the caller's second point stays";
    EXPECT_EQ(spc->SetAnchorPts(2, p, nullptr), E_FAIL);
    EXPECT_EQ(spc->GetAnchorPts(nullptr, outP, outQ), E_POINTER);
    // Count 2 again: the second point kept its value meanwhile.
    EXPECT_EQ(spc->SetAnchorPts(2, p, q), S_OK);
    EXPECT_EQ(spc->SetAnchorPts(0, nullptr, nullptr), S_OK);
    EXPECT_EQ(spc->GetAnchorPts(&count, nullptr, nullptr), S_OK);
    EXPECT_EQ(count, 0);
    spc->Release();
}

TEST_F(MeasurementOps, ClonesCopyTheirSelection)
{
    Meas* m = NewMeasurement();
    Meas* copy = NewMeasurement();
    IAPElement* pin = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    IAPSPCMeasurementOp* spc = NewSpc();
    m->SetLowDesignLimit(1);
    m->SetHighDesignLimit(3);
    m->SetDesignLimitsFlag(1);
    m->SetIsRelative(1);
    m->SetMeasurementMode(7);
    m->SetMeasurementVector(0, 0, 1);
    m->SetOption1(11), m->SetOption2(12), m->SetOption3(13), m->SetOption4(14);
    Model<APMeasurementOperation>(m)->SetOption5(15);
    m->SetNumData(3);
    m->SetProcessStdDev(0.5);
    m->SetExtraValue1(1);
    m->AppendContribData2(Text("a"), 1, 1);
    m->AppendReferenceElement(pin);
    Elem(m)->SetName(Text("meas")), m->Release();

    EXPECT_EQ(CloneInto(m, copy), S_OK);
    EXPECT_EQ(CloneInto(m, spc), E_FAIL);
    EXPECT_EQ(Got(copy, &Meas::GetLowDesignLimit), 1.0);
    EXPECT_EQ(Got(copy, &Meas::GetHighDesignLimit), 3.0);
    EXPECT_EQ(Got(copy, &Meas::GetDesignLimitsFlag), 1);
    EXPECT_EQ(Got(copy, &Meas::GetIsRelative), 1);
    EXPECT_EQ(Got(copy, &Meas::GetMeasurementMode), 7);
    double x = 0, y = 0, z = 0;
    copy->GetMeasurementVector(&x, &y, &z);
    EXPECT_EQ(z, 1.0);
    EXPECT_EQ(Got(copy, &Meas::GetOption1) + Got(copy, &Meas::GetOption2) + Got(copy, &Meas::GetOption3) +
                  Got(copy, &Meas::GetOption4),
              11 + 12 + 13 + 14);
    int option5 = 0;
    Model<APMeasurementOperation>(copy)->GetOption5(&option5);
    EXPECT_EQ(option5, 15);
    EXPECT_EQ(doc_test::NameOf(copy), "meas");
    // Results, values and references stay behind.
    EXPECT_EQ(Got(copy, &Meas::GetNumData), 0);
    EXPECT_EQ(Got(copy, &Meas::GetResultsStoredFlag), 0);
    EXPECT_EQ(Got(copy, &Meas::GetProcessStdDev), -1.0);
    EXPECT_EQ(Got(copy, &Meas::GetExtraValue1), -9999.0);
    EXPECT_EQ(Got(copy, &Meas::GetNumContribData), 0);
    EXPECT_EQ(Got(copy, &Meas::GetNumReferenceElements), 0);
    EXPECT_EQ(Dependents(pin), 1);

    // An SPC copy takes the operation part only: the target keeps its own file name.
    IAPSPCMeasurementOp* from = NewSpc();
    IAPSPCMeasurementOp* to = NewSpc();
    from->SetXMLFileName(Text("from.xml"));
    to->SetXMLFileName(Text("to.xml"));
    IAPOperation4* fromOp = Query<IAPOperation4>(from, IID_IAPOperation4);
    fromOp->SetOperationTime(2.5);
    fromOp->Release();
    EXPECT_EQ(CloneInto(from, to), S_OK);
    EXPECT_EQ(CloneInto(from, copy), E_FAIL);
    char name[16] = {};
    to->GetXMLFileName(reinterpret_cast<unsigned char*>(name));
    EXPECT_STREQ(name, "to.xml");
    IAPOperation4* toOp = Query<IAPOperation4>(to, IID_IAPOperation4);
    EXPECT_EQ(Got(toOp, &IAPOperation4::GetOperationTime), 2.5);
    toOp->Release();
    for (IUnknown* p : std::initializer_list<IUnknown*>{from, to, m, copy, spc, pin}) p->Release();
}

TEST_F(MeasurementOps, BlockVersionsAndTheirReadRules)
{
    struct Row {
        int version, mode;
        double vector[3];
        int option1, option2;
        int expectedMode, expectedOption2;
    } rows[] = {
        {1, 0, {0, 0, 1}, 1, 0, 20, 0},    // a mode outside 1..22 follows the axis
        {7, 30, {1, 0, 0}, 1, 0, 18, 0},  //
        {9, -2, {0, 1, 0}, 1, 3, 19, 3},  //
        {9, 0, {0, 1, 1}, 1, 3, 0, 3},    // not an axis: kept
        {11, 6, {1, 0, 0}, 4, 9, 6, 4},   // before 12, mode 6 takes option 2 from option 1
        {12, 6, {1, 0, 0}, 4, 9, 6, 9},   //
        {8, 6, {0, 0, 0}, 5, 0, 6, 5},    //
        {13, 22, {0, 0, 1}, 2, 8, 22, 8}, //
    };
    for (const Row& r : rows) {
        auto bytes = NodeBlock(CLSID_APMeasurementOperation, [&](Writer& w) {
            WmObjectStream& s = w.out;
            Mode2Header(s);
            s.write(r.version);
            WriteVector(s, r.vector[0], r.vector[1], r.vector[2]);
            s.write(1), s.write(-2.0); // low limit set
            s.write(0);                // high not set
            s.write(r.mode);
            s.write(1); // relative
            if (r.version >= 2) s.write(0);
            if (r.version >= 8) s.write(r.option1);
            if (r.version >= 9) s.write(r.option2);
            if (r.version >= 11) s.write(33);
            if (r.version >= 12) s.write(0), s.write(44);
            if (r.version >= 13) s.write(55);
        });
        IAPElement* e = ReadBack(CLSID_APMeasurementOperation, bytes);
        ASSERT_NE(e, nullptr) << r.version;
        Meas* m = Query<Meas>(e, IID_IAPMeasurementOperation9);
        EXPECT_EQ(Got(m, &Meas::GetMeasurementMode), r.expectedMode) << r.version << " " << r.mode;
        EXPECT_EQ(Got(m, &Meas::GetOption1), r.version >= 8 ? r.option1 : 1) << r.version;
        EXPECT_EQ(Got(m, &Meas::GetOption2), r.expectedOption2) << r.version;
        EXPECT_EQ(Got(m, &Meas::GetOption4), r.version >= 11 ? 33 : -1) << r.version;
        EXPECT_EQ(Got(m, &Meas::GetOption3), r.version >= 12 ? 44 : 0) << r.version;
        int option5 = 0;
        Model<APMeasurementOperation>(m)->GetOption5(&option5);
        EXPECT_EQ(option5, r.version >= 13 ? 55 : 0) << r.version;
        EXPECT_EQ(Got(m, &Meas::IsLowDesignLimitSet), 1);
        EXPECT_EQ(Got(m, &Meas::GetLowDesignLimit), -2.0);
        EXPECT_EQ(Got(m, &Meas::IsHighDesignLimitSet), 0);
        EXPECT_EQ(Got(m, &Meas::GetIsRelative), 1);
        m->Release();
        e->Release();
    }
}

TEST_F(MeasurementOps, LoadedReferencesWaitForTheFixUp)
{
    // A version 12 block naming elements 7 and 9 and none.
    auto block = NodeBlock(CLSID_APMeasurementOperation, [](Writer& w) {
        WmObjectStream& s = w.out;
        Mode2Header(s);
        s.write(12);
        WriteVector(s, 0, 0, 1);
        s.write(0), s.write(0), s.write(20), s.write(0), s.write(0);
        s.write(1), s.write(0), s.write(-1);
        s.write(3), s.write(7), s.write(-200000), s.write(9);
        s.write(0);
    });
    IAPElement* pin = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    const ULONG pinRefs = RefCount(pin);
    {
        // Element 7 registers after this record (a later record); 9 never does.
        IAPElement* e = New<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement);
        Reader r(block);
        ASSERT_EQ(e->Deserialize(r.Handle()), S_OK);
        Meas* m = Query<Meas>(e, IID_IAPMeasurementOperation9);
        EXPECT_EQ(Got(m, &Meas::GetNumReferenceElements), 0) << "nothing is taken before the fix-up";
        ASSERT_TRUE(r.in.registerPtr(pin, 7));
        EXPECT_EQ(RefCount(pin), pinRefs);
        EXPECT_EQ(e->FixupLists(), S_OK);
        auto refs = References(m);
        ASSERT_EQ(refs.size(), 3u);
        EXPECT_TRUE(Same(refs[0], pin));
        EXPECT_EQ(refs[1], nullptr);
        EXPECT_EQ(refs[2], nullptr);
        EXPECT_EQ(RefCount(pin), pinRefs + 1);
        EXPECT_EQ(Dependents(pin), 1);
        // Nulls are written as none and removed without a watch to end.
        auto saved = SavedBlock(m);
        const int none = -200000;
        EXPECT_NE(std::search(saved.begin(), saved.end(), reinterpret_cast<const unsigned char*>(&none),
                              reinterpret_cast<const unsigned char*>(&none) + 4),
                  saved.end());
        EXPECT_EQ(m->RemoveReferenceElementByIndex(1), S_OK);
        EXPECT_EQ(Got(m, &Meas::GetNumReferenceElements), 2);
        m->Release();
        e->Release();
        EXPECT_EQ(RefCount(pin), pinRefs);
        EXPECT_EQ(Dependents(pin), 0);
    }
    // Nothing resolves: the list is emptied after the fix-up.
    IAPElement* e = ReadBack(CLSID_APMeasurementOperation, block);
    ASSERT_NE(e, nullptr);
    Meas* m = Query<Meas>(e, IID_IAPMeasurementOperation9);
    EXPECT_EQ(Got(m, &Meas::GetNumReferenceElements), 0);
    m->Release();
    e->Release();
    pin->Release();
}

TEST_F(MeasurementOps, ResultsSectionsByVersion)
{
    // A section as version `version` has it, with two raw values.
    auto block = [](int version, int stored, int count) {
        return NodeBlock(CLSID_APMeasurementOperation, [=](Writer& w) {
            WmObjectStream& s = w.out;
            Mode2Header(s);
            s.write(version);
            WriteVector(s, 1, 0, 0);
            s.write(0), s.write(0), s.write(5), s.write(0);
            s.write(stored);
            if (stored) s.write(count);
            if (stored && count >= 1) {
                for (int i = 0; i < count; ++i) s.write(0.5 + i);
                if (version >= 3) {
                    s.write(1), s.write(WmString("c1"));
                    s.write(2), s.write(7.0), s.write(8.0);
                }
                if (version >= 4) s.write(1), s.write(42);
                if (version >= 5) s.write(3.5);
                if (version >= 6) s.write(0.25), s.write(0.125);
                if (version >= 7) {
                    s.write(6.0);
                    s.write(1), s.write(WmString("alt"));
                    s.write(1), s.write(9.0);
                    s.write(0);
                    s.write(1.5);
                }
                if (version >= 10) s.write(2.0), s.write(4.0), s.write(5.0);
            }
            if (version >= 8) s.write(1);
            if (version >= 9) s.write(0);
            if (version >= 11) s.write(-1);
            if (version >= 12) s.write(0), s.write(0);
            if (version >= 13) s.write(0);
        });
    };
    for (int version : {2, 3, 4, 5, 6, 7, 10, 13}) {
        IAPElement* e = ReadBack(CLSID_APMeasurementOperation, block(version, 1, 2));
        ASSERT_NE(e, nullptr) << version;
        Meas* m = Query<Meas>(e, IID_IAPMeasurementOperation9);
        EXPECT_EQ(Got(m, &Meas::GetResultsStoredFlag), 1);
        EXPECT_EQ(Got(m, &Meas::GetNumData), 2);
        double raw = 0;
        m->GetRawDataByIndex(1, &raw);
        EXPECT_EQ(raw, 1.5);
        EXPECT_EQ(Got(m, &Meas::GetNumContribData), version >= 3 ? 1 : 0) << version;
        if (version >= 3) {
            Contributor c = ContributorAt(m, 0);
            EXPECT_EQ(c.name, "c1");
            EXPECT_EQ(c.value, 7.0);
            EXPECT_EQ(c.code, version >= 4 ? 42 : 0) << version;
        }
        EXPECT_EQ(Got(m, &Meas::GetSimulatedNominal), version >= 5 ? 3.5 : 0.0) << version;
        EXPECT_EQ(Got(m, &Meas::GetProcessStdDev), version >= 6 ? 0.25 : -1.0) << version;
        EXPECT_EQ(Got(m, &Meas::GetHLMVariance), version >= 6 ? 0.125 : -9999.0) << version;
        EXPECT_EQ(Got(m, &Meas::GetExtraValue3), version >= 7 ? 6.0 : 0.0) << version;
        EXPECT_EQ(Got(m, &Meas::GetExtraValue1), version >= 7 ? 1.5 : -9999.0) << version;
        EXPECT_EQ(Got(m, &Meas::GetMeasurementOperationNumAltContribData), version >= 7 ? 1 : 0) << version;
        EXPECT_EQ(Got(m, &Meas::GetExtraValue2), version >= 10 ? 2.0 : 0.0) << version;
        EXPECT_EQ(Got(m, &Meas::GetMeasurementOperationExtraValue5), version >= 10 ? 5.0 : 0.0) << version;
        m->Release();
        e->Release();
    }
    // Results stored with count 0 (or below): nothing follows and the flag reads as 0.
    for (int count : {0, -4}) {
        IAPElement* e = ReadBack(CLSID_APMeasurementOperation, block(13, 1, count));
        ASSERT_NE(e, nullptr) << count;
        Meas* m = Query<Meas>(e, IID_IAPMeasurementOperation9);
        EXPECT_EQ(Got(m, &Meas::GetResultsStoredFlag), 0);
        EXPECT_EQ(Got(m, &Meas::GetNumData), 0);
        EXPECT_EQ(Got(m, &Meas::GetOption1), 1);
        m->Release();
        e->Release();
    }
    // Counts the stream cannot hold fail the read before anything is allocated.
    auto bad = [&](const std::function<void(WmObjectStream&)>& section) {
        return NodeBlock(CLSID_APMeasurementOperation, [&](Writer& w) {
            WmObjectStream& s = w.out;
            Mode2Header(s);
            s.write(13);
            WriteVector(s, 1, 0, 0);
            s.write(0), s.write(0), s.write(5), s.write(0);
            section(s);
        });
    };
    const std::function<void(WmObjectStream&)> damaged[] = {
        [](WmObjectStream& s) { s.write(1), s.write(0x7fffffff); },
        [](WmObjectStream& s) { s.write(1), s.write(1), s.write(0.0), s.write(0x7ffffff0); },
        [](WmObjectStream& s) { s.write(1), s.write(1), s.write(0.0), s.write(0), s.write(0x20000000); },
        [](WmObjectStream& s) { s.write(1), s.write(1), s.write(0.0), s.write(0), s.write(-1); },
        [](WmObjectStream& s) { s.write(0), s.write(1), s.write(0), s.write(-1), s.write(0x7fffffff); },
        [](WmObjectStream& s) { s.write(0), s.write(1), s.write(0), s.write(-1), s.write(-5); },
    };
    int i = 0;
    for (const auto& section : damaged) EXPECT_EQ(ReadBack(CLSID_APMeasurementOperation, bad(section)), nullptr) << i++;
}

TEST_F(MeasurementOps, SavedBlocksReadBackWhole)
{
    // Everything the block carries, through a save and a read, and written again alike.
    Meas* m = NewMeasurement();
    m->SetMeasurementVector(0.5, 0.25, 2);
    m->SetLowDesignLimit(-1), m->SetHighDesignLimit(1), m->SetDesignLimitsFlag(1);
    m->SetMeasurementMode(9), m->SetIsRelative(1);
    m->SetNumData(3), m->SetRawDataByIndex(2, 9.5);
    m->AppendContribData2(Text("first"), 1.25, 3);
    m->AppendContribData2(Text("second"), 2.25, 4);
    m->SetMeasurementOperationContribDataDetails(Text("second"), 1, 2, 3, 4, 1, 2);
    m->SetSimulatedNominal(10), m->SetProcessStdDev(0.5), m->SetHLMVariance(0.75);
    m->SetExtraValue1(11), m->SetExtraValue2(12), m->SetExtraValue3(13);
    m->SetMeasurementOperationExtraValue4(14), m->SetMeasurementOperationExtraValue5(15);
    m->AppendMeasurementOperationAltContribData2(Text("alt"), 5.5, 6);
    m->SetOption1(1), m->SetOption2(2), m->SetOption3(3), m->SetOption4(4);
    Model<APMeasurementOperation>(m)->SetOption5(5);
    const auto saved = SavedBlock(m);
    IAPElement* e = ReadBack(CLSID_APMeasurementOperation, saved);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(SavedBlock(e), saved);
    Meas* back = Query<Meas>(e, IID_IAPMeasurementOperation9);
    double d[4] = {};
    EXPECT_EQ(back->GetMeasurementOperationContribDataDetails(1, &d[0], &d[1], &d[2], &d[3]), S_OK);
    EXPECT_EQ(d[3], 4.0);
    EXPECT_EQ(ContributorAt(back, 1).name, "second");
    EXPECT_EQ(ContributorAt(back, 0, true).code, 6);
    back->Release();
    e->Release();

    // Results stored with no data: the flag is written, and reads back as 0.
    m->SetNumData(0);
    m->SetResultsStoredFlag(1);
    e = ReadBack(CLSID_APMeasurementOperation, SavedBlock(m));
    ASSERT_NE(e, nullptr);
    back = Query<Meas>(e, IID_IAPMeasurementOperation9);
    EXPECT_EQ(Got(back, &Meas::GetResultsStoredFlag), 0);
    EXPECT_EQ(Got(back, &Meas::GetNumContribData), 0) << "contributors travel with the data only";
    back->Release();
    e->Release();

    // The SPC block: both anchor points travel even with count 0; names keep 2055 characters.
    IAPSPCMeasurementOp* spc = NewSpc();
    double p[3] = {1, 2, 3}, q[3] = {4, 5, 6};
    spc->SetAnchorPts(2, p, q);
    spc->SetAnchorPts(0, nullptr, nullptr);
    spc->SetSPCMeasurementType(AP_SPC_VALUE);
    const std::string longName(2100, 'f');
    spc->SetXMLFileName(Text(longName.c_str()));
    spc->SetNameInXMLFile(Text("inner"));
    const auto spcSaved = SavedBlock(spc);
    e = ReadBack(CLSID_APSPCMeasurementOp, spcSaved);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(SavedBlock(e), spcSaved);
    IAPSPCMeasurementOp* spcBack = Query<IAPSPCMeasurementOp>(e, IID_IAPSPCMeasurementOp);
    std::vector<char> name(2200, 'x');
    spcBack->GetXMLFileName(reinterpret_cast<unsigned char*>(name.data()));
    EXPECT_EQ(std::string(name.data()), std::string(2055, 'f'));
    EXPECT_EQ(Got(spcBack, &IAPSPCMeasurementOp::GetSPCMeasurementType), AP_SPC_VALUE);
    spcBack->Release();
    e->Release();
    // A block cut short fails.
    std::vector<unsigned char> cut(spcSaved.begin(), spcSaved.end() - 4);
    EXPECT_EQ(ReadBack(CLSID_APSPCMeasurementOp, cut), nullptr);
    spc->Release();
    m->Release();
}

class MeasurementFile : public doc_test::FileTest {
protected:
    void TearDown() override
    {
        doc_test::FileTest::TearDown();
        if (m_live == 0) {
            EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
        }
    }
};

TEST_F(MeasurementFile, RoundTripKeepsReferencesToLaterRecordsAndSpcPoints)
{
    using doc_test::NewNode;
    const std::string path = File("meas");
    std::vector<unsigned char> spcBlock;
    {
        IAPDocument6* doc = doc_test::NewDocument();
        IAPNode* top = NewNode(doc, CLSID_APAssemblyNode, "top");
        IAPNode* meas = NewNode(doc, CLSID_APMeasurementOperation, "meas");
        IAPNode* spcNode = NewNode(doc, CLSID_APSPCMeasurementOp, "spc");
        IAPNode* later = NewNode(doc, CLSID_APPartNode, "later");
        ASSERT_EQ(doc->AddChild(top, meas), S_OK);
        ASSERT_EQ(doc->AddChild(top, spcNode), S_OK);
        ASSERT_EQ(doc->AddChild(top, later), S_OK);
        Meas* m = Query<Meas>(meas, IID_IAPMeasurementOperation9);
        EXPECT_EQ(AppendReference(m, later), S_OK);
        EXPECT_EQ(AppendReference(m, top), S_OK);
        m->SetNumData(2), m->SetRawDataByIndex(0, 4.5);
        m->AppendContribData2(Text("pin"), 0.75, 1);
        m->SetMeasurementMode(20);
        IAPSPCMeasurementOp* spc = Query<IAPSPCMeasurementOp>(spcNode, IID_IAPSPCMeasurementOp);
        double p[3] = {1, 2, 3}, q[3] = {4, 5, 6};
        spc->SetAnchorPts(2, p, q);
        spc->SetAnchorPts(0, nullptr, nullptr);
        spc->SetXMLFileName(Text("spc.xml"));
        spcBlock = SavedBlock(spc);
        ASSERT_EQ(doc->SetProcessName(Text("meas")), S_OK);
        ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
        // The operation refers to its own parent: the references go before the document.
        m->RemoveReferenceElementByIndex(1);
        m->RemoveReferenceElementByIndex(0);
        for (IUnknown* p : std::initializer_list<IUnknown*>{m, spc, top, meas, spcNode, later}) p->Release();
        doc->Release();
    }
    IAPDocument6* doc = doc_test::NewDocument();
    ASSERT_EQ(doc->OpenDocument(Text(path.c_str())), S_OK);
    IAPNode* top = doc_test::RootAt(doc, 0);
    ASSERT_NE(top, nullptr);
    IAPNode *meas = nullptr, *spcNode = nullptr, *later = nullptr;
    ASSERT_EQ(top->GetChild(0, &meas), S_OK);
    ASSERT_EQ(top->GetChild(1, &spcNode), S_OK);
    ASSERT_EQ(top->GetChild(2, &later), S_OK);
    Meas* m = Query<Meas>(meas, IID_IAPMeasurementOperation9);
    auto refs = References(m);
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_TRUE(Same(refs[0], later)) << "a reference to a later record is kept";
    EXPECT_TRUE(Same(refs[1], top));
    EXPECT_EQ(Dependents(later), 1);
    EXPECT_EQ(Got(m, &Meas::GetMeasurementMode), 20);
    EXPECT_EQ(Got(m, &Meas::GetNumData), 2);
    EXPECT_EQ(ContributorAt(m, 0).name, "pin");
    // The SPC operation hands out the measurement chain and is passed over by the relinking.
    IAPSPCMeasurementOp* spc = Query<IAPSPCMeasurementOp>(spcNode, IID_IAPSPCMeasurementOp);
    EXPECT_EQ(SavedBlock(spc), spcBlock) << "both anchor points come back with count 0";
    m->RemoveReferenceElementByIndex(1);
    m->RemoveReferenceElementByIndex(0);
    EXPECT_EQ(Dependents(later), 0);
    for (IUnknown* p : std::initializer_list<IUnknown*>{m, spc, top, meas, spcNode, later}) p->Release();
    doc->Release();
}
