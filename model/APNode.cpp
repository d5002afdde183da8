#include "model/APNode.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APNode, APElement)
IMPLEMENT_DYNAMIC(APGeometryNode, APNode)
IMPLEMENT_DYNAMIC(APAssemblyNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APPartNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APFixtureNode, APPartNode)
IMPLEMENT_DYNAMIC(APTolLibNode, APGeometryNode)

HRESULT APNode::GetParent(int /*index*/, IAPNode** /*parent*/) { return E_FAIL; }
HRESULT APNode::GetPartNodeOfFeature(IAPNode** /*part*/) { return E_FAIL; }
HRESULT APNode::GetPartNode(IAPNode** /*part*/) { return E_FAIL; }
HRESULT APNode::GetParentFeature(IAPNode** /*feature*/) { return E_FAIL; }
HRESULT APNode::GetNumParents(int* /*count*/) { return E_FAIL; }
HRESULT APNode::RemoveParent(IAPNode* /*parent*/) { return E_FAIL; }
HRESULT APNode::AppendParent(IAPNode* /*parent*/) { return E_FAIL; }
HRESULT APNode::InsertChild(int /*insertBefore*/, IAPNode* /*child*/) { return E_FAIL; }
HRESULT APNode::GetNumChildren(int* /*count*/) { return E_FAIL; }
HRESULT APNode::RemoveChildByIndex(int /*index*/) { return E_FAIL; }
HRESULT APNode::RemoveChild(IAPNode* /*child*/) { return E_FAIL; }
HRESULT APNode::GetChild(int /*index*/, IAPNode** /*child*/) { return E_FAIL; }
HRESULT APNode::AppendChild(IAPNode* /*child*/) { return E_FAIL; }
HRESULT APNode::FindChild(IAPNode* /*child*/, int* /*index*/) { return E_FAIL; }
HRESULT APNode::GetNoteSize(int* /*size*/) { return E_FAIL; }
HRESULT APNode::GetNote(CString& /*note*/) { return E_FAIL; }
HRESULT APNode::SetNote(const CString& /*note*/) { return E_FAIL; }
HRESULT APNode::GetNote2Size(int* /*size*/) { return E_FAIL; }
HRESULT APNode::GetNote2(CString& /*note*/) { return E_FAIL; }
HRESULT APNode::SetNote2(const CString& /*note*/) { return E_FAIL; }
HRESULT APNode::Serialize(WmObjectStream* /*stream*/) { return E_FAIL; }
HRESULT APNode::Deserialize(WmObjectStream* /*stream*/) { return E_FAIL; }
HRESULT APNode::FixupLists() { return E_FAIL; }
HRESULT APNode::NotifyDeletion() { return E_FAIL; }
HRESULT APNode::WriteChildren(WmObjectStream& /*stream*/) { return E_FAIL; }
HRESULT APNode::ReadOldProperties(WmObjectStream& /*stream*/) { return E_FAIL; }
HRESULT APNode::LinkChildAt(int /*index*/, IAPNode* /*child*/, bool /*append*/) { return E_FAIL; }
HRESULT APGeometryNode::Serialize(WmObjectStream* /*stream*/) { return E_FAIL; }
HRESULT APGeometryNode::Deserialize(WmObjectStream* /*stream*/) { return E_FAIL; }
HRESULT APAssemblyNode::SetIntPair(int /*a*/, int /*b*/) { return E_FAIL; }
HRESULT APAssemblyNode::GetIntPair(int* /*a*/, int* /*b*/) { return E_FAIL; }
HRESULT APAssemblyNode::SetNodeString(const CString& /*text*/) { return E_FAIL; }
HRESULT APAssemblyNode::GetNodeString(CString& /*text*/) { return E_FAIL; }
HRESULT APAssemblyNode::GetDataMoniker(IORVDataMoniker** /*moniker*/) { return E_FAIL; }
HRESULT APAssemblyNode::SetDataMoniker(IORVDataMoniker* /*moniker*/) { return E_FAIL; }
HRESULT APAssemblyNode::Serialize(WmObjectStream* /*stream*/) { return E_FAIL; }
HRESULT APAssemblyNode::Deserialize(WmObjectStream* /*stream*/) { return E_FAIL; }
HRESULT APAssemblyNode::Clone(IAPElement* /*target*/) { return E_FAIL; }
HRESULT APPartNode::SetMatrix3x4(const double /*m*/[12]) { return E_FAIL; }
HRESULT APPartNode::GetMatrix3x4(double /*m*/[12]) { return E_FAIL; }
HRESULT APPartNode::IsScalarSet(int* /*isSet*/) { return E_FAIL; }
HRESULT APPartNode::IsVectorSet(int* /*isSet*/) { return E_FAIL; }
HRESULT APPartNode::GetScalar(double* /*value*/) { return E_FAIL; }
HRESULT APPartNode::GetVector(double* /*x*/, double* /*y*/, double* /*z*/) { return E_FAIL; }
HRESULT APPartNode::SetScalar(double /*value*/) { return E_FAIL; }
HRESULT APPartNode::SetVector(double /*x*/, double /*y*/, double /*z*/) { return E_FAIL; }
HRESULT APPartNode::RemoveListItemByIndex(int /*index*/) { return E_FAIL; }
HRESULT APPartNode::RemoveListItem(IAPElement* /*frame*/) { return E_FAIL; }
HRESULT APPartNode::GetListItem(int /*index*/, IAPElement** /*frame*/) { return E_FAIL; }
HRESULT APPartNode::GetNumListItems(int* /*count*/) { return E_FAIL; }
HRESULT APPartNode::AppendListItem(IAPElement* /*frame*/) { return E_FAIL; }
HRESULT APPartNode::RemoveListItem2ByIndex(int /*index*/) { return E_FAIL; }
HRESULT APPartNode::RemoveListItem2(IAPElement* /*datum*/) { return E_FAIL; }
HRESULT APPartNode::GetListItem2(int /*index*/, IAPElement** /*datum*/) { return E_FAIL; }
HRESULT APPartNode::GetNumListItems2(int* /*count*/) { return E_FAIL; }
HRESULT APPartNode::AppendListItem2(IAPElement* /*datum*/) { return E_FAIL; }
HRESULT APPartNode::GetNodeString(CString& /*text*/) { return E_FAIL; }
HRESULT APPartNode::SetNodeString(const CString& /*text*/) { return E_FAIL; }
HRESULT APPartNode::GetDataMoniker(IORVDataMoniker** /*moniker*/) { return E_FAIL; }
HRESULT APPartNode::SetDataMoniker(IORVDataMoniker* /*moniker*/) { return E_FAIL; }
HRESULT APPartNode::SetIntValue1(int /*value*/) { return E_FAIL; }
HRESULT APPartNode::GetIntValue1(int* /*value*/) { return E_FAIL; }
HRESULT APPartNode::SetIntValue2(int /*value*/) { return E_FAIL; }
HRESULT APPartNode::GetIntValue2(int* /*value*/) { return E_FAIL; }
HRESULT APPartNode::SetFlag1() { return E_FAIL; }
HRESULT APPartNode::ClearFlag1() { return E_FAIL; }
HRESULT APPartNode::GetFlag1(int* /*isSet*/) { return E_FAIL; }
HRESULT APPartNode::SetFlag2() { return E_FAIL; }
HRESULT APPartNode::GetFlag2(int* /*isSet*/) { return E_FAIL; }
HRESULT APPartNode::SetIntPair(int /*a*/, int /*b*/) { return E_FAIL; }
HRESULT APPartNode::GetIntPair(int* /*a*/, int* /*b*/) { return E_FAIL; }
HRESULT APPartNode::SetIntValue3(int /*value*/) { return E_FAIL; }
HRESULT APPartNode::GetIntValue3(int* /*value*/) { return E_FAIL; }
HRESULT APPartNode::SetFloatMatrix(const float /*m*/[16]) { return E_FAIL; }
HRESULT APPartNode::GetFloatMatrix(float** /*m*/) { return E_FAIL; }
HRESULT APPartNode::BindDocument(IAPDocEventSink* /*sink*/) { return E_FAIL; }
HRESULT APPartNode::FixupLists() { return E_FAIL; }
HRESULT APPartNode::Serialize(WmObjectStream* /*stream*/) { return E_FAIL; }
HRESULT APPartNode::Deserialize(WmObjectStream* /*stream*/) { return E_FAIL; }
HRESULT APPartNode::Clone(IAPElement* /*target*/) { return E_FAIL; }
HRESULT APFixtureNode::GetFixtureValue(int* /*value*/) { return E_FAIL; }
HRESULT APFixtureNode::SetFixtureValue(int /*value*/) { return E_FAIL; }
HRESULT APFixtureNode::Serialize(WmObjectStream* /*stream*/) { return E_FAIL; }
HRESULT APFixtureNode::Deserialize(WmObjectStream* /*stream*/) { return E_FAIL; }
HRESULT APFixtureNode::Clone(IAPElement* /*target*/) { return E_FAIL; }
HRESULT APTolLibNode::Serialize(WmObjectStream* /*stream*/) { return E_FAIL; }
HRESULT APTolLibNode::Deserialize(WmObjectStream* /*stream*/) { return E_FAIL; }
HRESULT APTolLibNode::Clone(IAPElement* /*target*/) { return E_FAIL; }
APNode::APNode() = default;
APNode::~APNode() = default;
IAPNode* APNode::OwnNode() const { return nullptr; }
bool APNode::WouldCycle(IAPNode*, IAPNode*) const { return true; }
APNode& APNode::operator=(const APNode& s) { APElement::operator=(s); return *this; }
APAssemblyNode::~APAssemblyNode() = default;
APAssemblyNode& APAssemblyNode::operator=(const APAssemblyNode& s) { APNode::operator=(s); return *this; }
APPartNode::APPartNode() : m_transform{}, m_matrix3x4{} {}
APPartNode::~APPartNode() = default;
void APPartNode::ReleaseLists() {}
APPartNode& APPartNode::operator=(const APPartNode& s) { APNode::operator=(s); return *this; }
APFixtureNode& APFixtureNode::operator=(const APFixtureNode& s) { APPartNode::operator=(s); return *this; }
