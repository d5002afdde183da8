// The interface methods of CAPElement, one row each; included twice by the element class
// (declarations, then definitions), so a row is all a method needs.
//
//   AP_METHOD(name, (parameters), kinds, notify, call)
//     kinds   AP_ANY                  no kind test
//             AP_TRY(A, B, ...)       first class that matches chooses, else S_FALSE
//             AP_TRY_OR_FAIL(A, ...)  as AP_TRY, but E_FAIL when none matches
//     notify  AP_NOTIFY(IAPxxx)       after success, the element-changed event with that IID
//             AP_QUIET                no event
//     call    model operation on `m`, the model object as the class that matched
//
//   AP_STRING_GETTER(name, (parameters), buffer, kinds, getter)
//     a null buffer answers E_POINTER; `getter` fills a CString that is copied out with
//     its terminating zero on success. String getters never notify.
//
//   AP_BUFFER_METHOD(name, (parameters), buffer, kinds, notify, call)
//     as AP_METHOD, but a null buffer answers E_POINTER without calling the model.
//
// Setters that take a string pass InString(text): a null text is "".
//
// A method of the IDL without a row leaves CAPElement abstract, and the build stops at the
// check after the definitions in com/CAPElement.cpp, which names the method.

// IAPElement
AP_METHOD(SetName, (unsigned char* name), AP_ANY, AP_NOTIFY(IAPElement), m->SetName(InString(name)))
AP_STRING_GETTER(GetName, (unsigned char* name), name, AP_ANY, GetName)
AP_METHOD(SetDescription, (unsigned char* desc), AP_ANY, AP_NOTIFY(IAPElement), m->SetDescription(InString(desc)))
AP_STRING_GETTER(GetDescription, (unsigned char* desc), desc, AP_ANY, GetDescription)
AP_METHOD(SetCost, (int cost), AP_ANY, AP_NOTIFY(IAPElement), m->SetCost(cost))
AP_METHOD(GetCost, (int* cost), AP_ANY, AP_QUIET, m->GetCost(cost))
AP_METHOD(BindDocument, (IAPDocEventSink* sink), AP_ANY, AP_QUIET, m->BindDocument(sink))
// An element copied onto itself stays as it is (the copies assume two objects).
AP_METHOD(Clone, (IAPElement* target), AP_ANY, AP_QUIET, APElement::FromInterface(target) == m ? S_OK : m->Clone(target))
AP_METHOD(GetDocument, (IAPDocument** doc), AP_ANY, AP_QUIET, m->GetDocument(doc))
AP_METHOD(GetNameSize, (int* size), AP_ANY, AP_QUIET, m->GetNameSize(size))
AP_METHOD(GetDescriptionSize, (int* size), AP_ANY, AP_QUIET, m->GetDescriptionSize(size))
AP_METHOD(AddDependent, (IAPElementSink* sink), AP_ANY, AP_QUIET, m->AddDependent(sink))
AP_METHOD(RemoveDependent, (IAPElementSink* sink), AP_ANY, AP_QUIET, m->RemoveDependent(sink))
AP_METHOD(NotifyDependents, (unsigned short cmd), AP_ANY, AP_QUIET, m->NotifyDependents(cmd))
AP_METHOD(FixupLists, (), AP_ANY, AP_QUIET, m->FixupLists())
AP_METHOD(GetNumDependents, (int* num), AP_ANY, AP_QUIET, m->GetNumDependents(num))
AP_METHOD(GetDependent, (int index, IAPElement** elem), AP_ANY, AP_QUIET, m->GetDependent(index, elem))
AP_METHOD(CleanUpCopyList, (), AP_ANY, AP_QUIET, m->CleanUpCopyList())
AP_METHOD(SetProperty, (IAPPropertyKey* key, IAPProperty* value), AP_ANY, AP_QUIET, m->SetProperty(key, value))
AP_METHOD(GetProperty, (IAPPropertyKey* key, IAPProperty** value), AP_ANY, AP_QUIET, m->GetProperty(key, value))
AP_METHOD(RemoveProperty, (IAPPropertyKey* key), AP_ANY, AP_QUIET, m->RemoveProperty(key))
AP_METHOD(GetNumProperties, (int* num), AP_ANY, AP_QUIET, m->GetNumProperties(num))

// IAPElement2 to IAPElement16 (RevertToPreviousName and SplitMonikerPath are written out in
// CAPElement.cpp). Settings 49 and 50 apply to features only.
// IAPElement2
AP_METHOD(SetVectorSetting1, (double x, double y, double z), AP_ANY, AP_QUIET, m->SetVectorSetting1(x, y, z))
AP_METHOD(GetVectorSetting1, (double* x, double* y, double* z), AP_ANY, AP_QUIET, m->GetVectorSetting1(x, y, z))
AP_METHOD(SetIntSetting2, (int value), AP_ANY, AP_QUIET, m->SetIntSetting2(value))
AP_METHOD(GetIntSetting2, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting2(value))
AP_METHOD(SetIntSetting6, (int value), AP_ANY, AP_QUIET, m->SetIntSetting6(value))
AP_METHOD(GetIntSetting6, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting6(value))
AP_METHOD(SetIntSetting7, (int value), AP_ANY, AP_QUIET, m->SetIntSetting7(value))
AP_METHOD(GetIntSetting7, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting7(value))
AP_METHOD(SetFloatSetting14, (float value), AP_ANY, AP_QUIET, m->SetFloatSetting14(value))
AP_METHOD(GetFloatSetting14, (float* value), AP_ANY, AP_QUIET, m->GetFloatSetting14(value))
AP_METHOD(SetIntSetting15, (int value), AP_ANY, AP_QUIET, m->SetIntSetting15(value))
AP_METHOD(GetIntSetting15, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting15(value))
AP_METHOD(SetIntSetting16, (int value), AP_ANY, AP_QUIET, m->SetIntSetting16(value))
AP_METHOD(GetIntSetting16, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting16(value))
AP_METHOD(SetIntSetting17, (int value), AP_ANY, AP_QUIET, m->SetIntSetting17(value))
AP_METHOD(GetIntSetting17, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting17(value))
AP_METHOD(SetFloatSetting18, (float value), AP_ANY, AP_QUIET, m->SetFloatSetting18(value))
AP_METHOD(GetFloatSetting18, (float* value), AP_ANY, AP_QUIET, m->GetFloatSetting18(value))
AP_METHOD(SetIntSetting19, (int value), AP_ANY, AP_QUIET, m->SetIntSetting19(value))
AP_METHOD(GetIntSetting19, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting19(value))
AP_METHOD(SetIntSetting20, (int value), AP_ANY, AP_QUIET, m->SetIntSetting20(value))
AP_METHOD(GetIntSetting20, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting20(value))
AP_METHOD(SetIntSetting21, (int value), AP_ANY, AP_QUIET, m->SetIntSetting21(value))
AP_METHOD(GetIntSetting21, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting21(value))
AP_METHOD(SetIntArraySetting22, (int count, int* values), AP_ANY, AP_QUIET, m->SetIntArraySetting22(count, values))
AP_METHOD(GetIntArraySetting22, (int* count, int** values), AP_ANY, AP_QUIET, m->GetIntArraySetting22(count, values))
AP_METHOD(SetIntTripleSetting23, (int value1, int value2, int value3), AP_ANY, AP_QUIET, m->SetIntTripleSetting23(value1, value2, value3))
AP_METHOD(GetIntTripleSetting23, (int* value1, int* value2, int* value3), AP_ANY, AP_QUIET, m->GetIntTripleSetting23(value1, value2, value3))
AP_METHOD(SetIntArraySetting24, (int count, int* values), AP_ANY, AP_QUIET, m->SetIntArraySetting24(count, values))
AP_METHOD(GetIntArraySetting24, (int* count, int** values), AP_ANY, AP_QUIET, m->GetIntArraySetting24(count, values))

// IAPElement3
AP_METHOD(SetDoubleSetting25, (double value), AP_ANY, AP_NOTIFY(IAPElement), m->SetDoubleSetting25(value))
AP_METHOD(GetDoubleSetting25, (double* value), AP_ANY, AP_QUIET, m->GetDoubleSetting25(value))
AP_METHOD(SetIntSetting26, (int value), AP_ANY, AP_NOTIFY(IAPElement), m->SetIntSetting26(value))
AP_METHOD(GetIntSetting26, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting26(value))
AP_METHOD(SetVectorSetting27, (double* xyz), AP_ANY, AP_NOTIFY(IAPElement), m->SetVectorSetting27(xyz))
AP_METHOD(GetVectorSetting27, (double* xyz), AP_ANY, AP_QUIET, m->GetVectorSetting27(xyz))

// IAPElement4
AP_METHOD(SetVectorSetting28, (double* xyz), AP_ANY, AP_NOTIFY(IAPElement4), m->SetVectorSetting28(xyz))
AP_METHOD(GetVectorSetting28, (double* xyz), AP_ANY, AP_QUIET, m->GetVectorSetting28(xyz))
AP_METHOD(SetDoubleSetting29, (double value), AP_ANY, AP_NOTIFY(IAPElement), m->SetDoubleSetting29(value))
AP_METHOD(GetDoubleSetting29, (double* value), AP_ANY, AP_QUIET, m->GetDoubleSetting29(value))
AP_METHOD(SetIntSetting30, (int value), AP_ANY, AP_NOTIFY(IAPElement), m->SetIntSetting30(value))
AP_METHOD(GetIntSetting30, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting30(value))
AP_METHOD(SetStringSetting31, (unsigned char* text), AP_ANY, AP_NOTIFY(IAPElement), m->SetStringSetting31(InString(text)))
AP_STRING_GETTER(GetStringSetting31, (unsigned char* text), text, AP_ANY, GetStringSetting31)

// IAPElement5
AP_METHOD(SetIntSetting32, (int value), AP_ANY, AP_NOTIFY(IAPElement), m->SetIntSetting32(value))
AP_METHOD(GetIntSetting32, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting32(value))
AP_METHOD(GetIntSetting33, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting33(value))
AP_METHOD(SetIntSetting33, (int value), AP_ANY, AP_NOTIFY(IAPElement), m->SetIntSetting33(value))
AP_METHOD(GetIntSetting34, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting34(value))
AP_METHOD(SetIntSetting34, (int value), AP_ANY, AP_QUIET, m->SetIntSetting34(value))
AP_METHOD(GetIntSetting35, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting35(value))
AP_METHOD(SetIntSetting35, (int value), AP_ANY, AP_NOTIFY(IAPElement), m->SetIntSetting35(value))
AP_METHOD(SetIntSetting36, (int value), AP_ANY, AP_NOTIFY(IAPElement), m->SetIntSetting36(value))
AP_METHOD(GetIntSetting36, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting36(value))
AP_METHOD(SetIntSetting37, (int value), AP_ANY, AP_NOTIFY(IAPElement), m->SetIntSetting37(value))
AP_METHOD(GetIntSetting37, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting37(value))
AP_METHOD(SetIntSetting38, (int value), AP_ANY, AP_NOTIFY(IAPElement), m->SetIntSetting38(value))
AP_METHOD(GetIntSetting38, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting38(value))
AP_METHOD(SetIntSetting39, (int value), AP_ANY, AP_QUIET, m->SetIntSetting39(value))
AP_METHOD(GetIntSetting39, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting39(value))
AP_METHOD(SetIntSetting40, (int value), AP_ANY, AP_QUIET, m->SetIntSetting40(value))
AP_METHOD(GetIntSetting40, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting40(value))

// IAPElement6
AP_METHOD(SetIntSetting8, (int value), AP_ANY, AP_QUIET, m->SetIntSetting8(value))
AP_METHOD(GetIntSetting8, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting8(value))
AP_METHOD(SetStringSetting9, (unsigned char* text), AP_ANY, AP_QUIET, m->SetStringSetting9(InString(text)))
AP_BUFFER_METHOD(GetStringSetting9, (unsigned char* text), text, AP_ANY, AP_QUIET, m->GetStringSetting9(reinterpret_cast<char*>(text)))
AP_METHOD(SetIntSetting10, (int value), AP_ANY, AP_QUIET, m->SetIntSetting10(value))
AP_METHOD(GetIntSetting10, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting10(value))
AP_METHOD(SetPreviousName, (unsigned char* name), AP_ANY, AP_QUIET, m->SetPreviousName(InString(name)))
AP_STRING_GETTER(GetPreviousName, (unsigned char* name), name, AP_ANY, GetPreviousName)
AP_METHOD(RenameKeepingPrevious, (unsigned char* newName, long* changed), AP_ANY, AP_QUIET,
          m->RenameKeepingPrevious(InString(newName), reinterpret_cast<int*>(changed)))
AP_METHOD(SetObjectSetting13, (IORVDataMoniker* moniker), AP_ANY, AP_QUIET, m->SetObjectSetting13(moniker))
AP_METHOD(GetObjectSetting13, (IORVDataMoniker** moniker), AP_ANY, AP_QUIET, m->GetObjectSetting13(moniker))

// IAPElement7
AP_METHOD(SetIntSetting3, (int value), AP_ANY, AP_QUIET, m->SetIntSetting3(value))
AP_METHOD(GetIntSetting3, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting3(value))
AP_METHOD(SetIntSetting4, (int value), AP_ANY, AP_QUIET, m->SetIntSetting4(value))
AP_METHOD(GetIntSetting4, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting4(value))
AP_METHOD(SetIntSetting5, (int value), AP_ANY, AP_QUIET, m->SetIntSetting5(value))
AP_METHOD(GetIntSetting5, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting5(value))
AP_METHOD(SetIntSetting12, (int value), AP_ANY, AP_QUIET, m->SetIntSetting12(value))
AP_METHOD(GetIntSetting12, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting12(value))

// IAPElement8
AP_METHOD(SetIntSetting41, (int value), AP_ANY, AP_QUIET, m->SetIntSetting41(value))
AP_METHOD(GetIntSetting41, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting41(value))
AP_METHOD(GetIntSetting42, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting42(value))
AP_METHOD(SetIntSetting42, (int value), AP_ANY, AP_QUIET, m->SetIntSetting42(value))
AP_METHOD(GetIntSetting43, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting43(value))
AP_METHOD(SetIntSetting43, (int value), AP_ANY, AP_QUIET, m->SetIntSetting43(value))
AP_METHOD(GetIntSetting46, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting46(value))
AP_METHOD(SetIntSetting46, (int value), AP_ANY, AP_QUIET, m->SetIntSetting46(value))
AP_METHOD(SetStringSetting47, (unsigned char* text), AP_ANY, AP_QUIET, m->SetStringSetting47(InString(text)))
AP_BUFFER_METHOD(GetStringSetting47, (unsigned char* text), text, AP_ANY, AP_QUIET, m->GetStringSetting47(reinterpret_cast<char*>(text)))
AP_METHOD(GetIntSetting48, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting48(value))
AP_METHOD(SetIntSetting48, (int value), AP_ANY, AP_NOTIFY(IAPElement), m->SetIntSetting48(value))
AP_METHOD(GetIntSetting44, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting44(value))
AP_METHOD(SetIntSetting44, (int value), AP_ANY, AP_QUIET, m->SetIntSetting44(value))
AP_METHOD(GetDocUnits, (APDocUnits* units), AP_ANY, AP_QUIET, m->GetDocUnits(units))
AP_METHOD(SetDocUnits, (APDocUnits units), AP_ANY, AP_QUIET, m->SetDocUnits(units))

// IAPElement9
AP_METHOD(GetIntSetting49, (int* value), AP_TRY(APFeature), AP_QUIET, m->GetIntSetting49(value))
AP_METHOD(SetIntSetting49, (int value), AP_TRY(APFeature), AP_QUIET, m->SetIntSetting49(value))
AP_METHOD(GetFloatTripleSetting50, (float* value1, float* value2, float* value3), AP_TRY(APFeature), AP_QUIET, m->GetFloatTripleSetting50(value1, value2, value3))
AP_METHOD(SetFloatTripleSetting50, (float value1, float value2, float value3), AP_TRY(APFeature), AP_QUIET, m->SetFloatTripleSetting50(value1, value2, value3))
AP_METHOD(GetDoubleSetting51, (double* value), AP_ANY, AP_QUIET, m->GetDoubleSetting51(value))
AP_METHOD(SetDoubleSetting51, (double value), AP_ANY, AP_QUIET, m->SetDoubleSetting51(value))

// IAPElement10
AP_METHOD(SetIntArraySetting52, (int count, int* values), AP_ANY, AP_QUIET, m->SetIntArraySetting52(count, values))
AP_METHOD(GetIntArraySetting52, (int* count, int** values), AP_ANY, AP_QUIET, m->GetIntArraySetting52(count, values))
AP_METHOD(SetIntSetting53, (int value), AP_ANY, AP_QUIET, m->SetIntSetting53(value))
AP_METHOD(GetIntSetting53, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting53(value))
AP_METHOD(SetIntSetting54, (int value), AP_ANY, AP_QUIET, m->SetIntSetting54(value))
AP_METHOD(GetIntSetting54, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting54(value))
AP_METHOD(SetIntSetting55, (int value), AP_ANY, AP_QUIET, m->SetIntSetting55(value))
AP_METHOD(GetIntSetting55, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting55(value))
AP_METHOD(SetIntSetting56, (int value), AP_ANY, AP_QUIET, m->SetIntSetting56(value))
AP_METHOD(GetIntSetting56, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting56(value))

// IAPElement11
AP_METHOD(SetIntSetting11, (int value), AP_ANY, AP_QUIET, m->SetIntSetting11(value))
AP_METHOD(GetIntSetting11, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting11(value))

// IAPElement12
AP_METHOD(SetIntSetting58, (int value), AP_ANY, AP_NOTIFY(IAPElement), m->SetIntSetting58(value))
AP_METHOD(GetIntSetting58, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting58(value))
AP_METHOD(SetDoubleSetting57, (double value), AP_ANY, AP_QUIET, m->SetDoubleSetting57(value))
AP_METHOD(GetDoubleSetting57, (double* value), AP_ANY, AP_QUIET, m->GetDoubleSetting57(value))

// IAPElement13
AP_METHOD(SetIntSetting59, (int value), AP_ANY, AP_QUIET, m->SetIntSetting59(value))
AP_METHOD(GetIntSetting59, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting59(value))
AP_METHOD(SetIntSetting60, (int value), AP_ANY, AP_QUIET, m->SetIntSetting60(value))
AP_METHOD(GetIntSetting60, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting60(value))

// IAPElement14
AP_METHOD(SetIntSetting61, (int value), AP_ANY, AP_QUIET, m->SetIntSetting61(value))
AP_METHOD(GetIntSetting61, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting61(value))
AP_METHOD(SetIntSetting62, (int value), AP_ANY, AP_QUIET, m->SetIntSetting62(value))
AP_METHOD(GetIntSetting62, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting62(value))
AP_METHOD(SetIntSetting63, (int value), AP_ANY, AP_QUIET, m->SetIntSetting63(value))
AP_METHOD(GetIntSetting63, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting63(value))
AP_METHOD(SetDoubleSetting64, (double value), AP_ANY, AP_QUIET, m->SetDoubleSetting64(value))
AP_METHOD(GetDoubleSetting64, (double* value), AP_ANY, AP_QUIET, m->GetDoubleSetting64(value))
AP_METHOD(SetIntSetting65, (int value), AP_ANY, AP_QUIET, m->SetIntSetting65(value))
AP_METHOD(GetIntSetting65, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting65(value))

// IAPElement15
AP_METHOD(SetIntSetting66, (int value), AP_ANY, AP_QUIET, m->SetIntSetting66(value))
AP_METHOD(GetIntSetting66, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting66(value))
AP_METHOD(SetIntSetting67, (int value), AP_ANY, AP_QUIET, m->SetIntSetting67(value))
AP_METHOD(GetIntSetting67, (int* value), AP_ANY, AP_QUIET, m->GetIntSetting67(value))

// IAPElement16
AP_METHOD(SetIntSeptupleSetting68, (int value1, int value2, int value3, int value4, int value5, int value6, int value7), AP_ANY, AP_QUIET, m->SetIntSeptupleSetting68(value1, value2, value3, value4, value5, value6, value7))
AP_METHOD(GetIntSeptupleSetting68, (int* value1, int* value2, int* value3, int* value4, int* value5, int* value6, int* value7), AP_ANY, AP_QUIET, m->GetIntSeptupleSetting68(value1, value2, value3, value4, value5, value6, value7))
AP_METHOD(SetIntArraySetting69, (int count, int* values), AP_ANY, AP_QUIET, m->SetIntArraySetting69(count, values))
AP_METHOD(GetIntArraySetting69, (int* count, int** values), AP_ANY, AP_QUIET, m->GetIntArraySetting69(count, values))

// IAPElementSink
AP_METHOD(Notify, (unsigned long cmd, IAPElement* elem), AP_ANY, AP_QUIET, m->Notify(cmd, elem))

// Feature pairs, tolerances, datums and datum reference frames.
#include "com/CAPElementRowsPair.h"

// The node families.
#include "com/CAPElementRowsNode.h"

// The common feature chain.
#include "com/CAPElementRowsFeature.h"

// The feature kinds.
#include "com/CAPElementRowsFeatureKinds.h"

// The operation and condition families.
#include "com/CAPElementRowsOperation.h"
// The FEM assembly, measurement, SPC measurement and custom operation families.
#include "com/CAPElementRowsOperation2.h"
// The measurement and SPC measurement operation families.
#include "com/CAPElementRowsMeasurement.h"
// The custom operation family.
#include "com/CAPElementRowsCustom.h"
