// Rows of the node families and of the element block methods (see com/CAPElementRows.h).

// IAPElement: the element-stream handle is the toolkit object stream, passed through.
AP_METHOD(Serialize, (unsigned char* writeStream), AP_ANY, AP_QUIET,
          m->Serialize(reinterpret_cast<WmObjectStream*>(writeStream)))
AP_METHOD(Deserialize, (unsigned char* readStream), AP_ANY, AP_QUIET,
          m->Deserialize(reinterpret_cast<WmObjectStream*>(readStream)))

// IAPNode
AP_METHOD(AppendChild, (IAPNode* pNode), AP_TRY(APNode), AP_NOTIFY(IAPNode), m->AppendChild(pNode))
AP_METHOD(GetChild, (int index, IAPNode** pNode), AP_TRY(APNode), AP_QUIET, m->GetChild(index, pNode))
AP_METHOD(InsertChild, (int insertBefore, IAPNode* pNode), AP_TRY(APNode), AP_NOTIFY(IAPNode),
          m->InsertChild(insertBefore, pNode))
AP_METHOD(RemoveChildByIndex, (int index), AP_TRY(APNode), AP_NOTIFY(IAPNode), m->RemoveChildByIndex(index))
AP_METHOD(RemoveChild, (IAPNode* pNode), AP_TRY(APNode), AP_NOTIFY(IAPNode), m->RemoveChild(pNode))
AP_METHOD(FindChild, (IAPNode* pNode, int* childIndex), AP_TRY(APNode), AP_QUIET, m->FindChild(pNode, childIndex))
AP_METHOD(GetNumChildren, (int* numChildren), AP_TRY(APNode), AP_QUIET, m->GetNumChildren(numChildren))
AP_METHOD(AppendParent, (IAPNode* pParent), AP_TRY(APNode), AP_QUIET, m->AppendParent(pParent))
AP_METHOD(RemoveParent, (IAPNode* pParent), AP_TRY(APNode), AP_QUIET, m->RemoveParent(pParent))
AP_METHOD(GetNumParents, (int* numParents), AP_TRY(APNode), AP_QUIET, m->GetNumParents(numParents))
AP_METHOD(GetParent, (int index, IAPNode** pParent), AP_TRY(APNode), AP_QUIET, m->GetParent(index, pParent))
AP_STRING_GETTER(GetNote, (unsigned char* note), note, AP_TRY(APNode), GetNote)
AP_METHOD(SetNote, (unsigned char* note), AP_TRY(APNode), AP_NOTIFY(IAPNode), m->SetNote(InString(note)))
AP_METHOD(GetNoteSize, (int* size), AP_TRY(APNode), AP_QUIET, m->GetNoteSize(size))
// IAPNode2
AP_METHOD(GetPartNodeOfFeature, (IAPNode** partNode), AP_TRY(APNode), AP_QUIET, m->GetPartNodeOfFeature(partNode))
AP_METHOD(GetPartNode, (IAPNode** partNode), AP_TRY(APNode), AP_QUIET, m->GetPartNode(partNode))
AP_METHOD(GetParentFeature, (IAPNode** feature), AP_TRY(APNode), AP_QUIET, m->GetParentFeature(feature))
// IAPNode3
AP_STRING_GETTER(GetNote2, (unsigned char* note), note, AP_TRY(APNode), GetNote2)
AP_METHOD(SetNote2, (unsigned char* note), AP_TRY(APNode), AP_QUIET, m->SetNote2(InString(note)))
AP_METHOD(GetNote2Size, (int* size), AP_TRY(APNode), AP_QUIET, m->GetNote2Size(size))

// Out-pointers of the families below are checked here: null answers E_POINTER.

// IAPGroup. Members go in as any interface of a measurement operation and come out as their
// IAPElement.
AP_METHOD(AppendGroupElement, (IAPElement* element), AP_TRY(APGroup), AP_NOTIFY(IAPGroup), m->AppendElement(element))
AP_BUFFER_METHOD(GetGroupNumElements, (int* count), count, AP_TRY(APGroup), AP_QUIET, m->GetNumElements(count))
AP_BUFFER_METHOD(GetGroupElement, (int index, IAPElement** element), element, AP_TRY(APGroup), AP_QUIET, m->GetElementAsElement(index, element))
AP_METHOD(RemoveGroupElementByIndex, (int index), AP_TRY(APGroup), AP_NOTIFY(IAPGroup), m->RemoveElementByIndex(index))

// IAPPartNode (a fixture node passes the part node's kind test)
AP_METHOD(SetPartNodeNodeString, (unsigned char* text), AP_TRY(APPartNode), AP_NOTIFY(IAPPartNode), m->SetNodeString(InString(text)))
AP_STRING_GETTER(GetPartNodeNodeString, (unsigned char* text), text, AP_TRY(APPartNode), GetNodeString)
AP_METHOD(AppendListItem, (IAPDRF* item), AP_TRY(APPartNode), AP_NOTIFY(IAPPartNode), m->AppendListItem(item))
AP_BUFFER_METHOD(GetNumListItems, (int* count), count, AP_TRY(APPartNode), AP_QUIET, m->GetNumListItems(count))
AP_BUFFER_METHOD(GetListItem, (int index, IAPDRF** item), item, AP_TRY(APPartNode), AP_QUIET, m->GetListItem(index, item))
AP_METHOD(RemoveListItem, (IAPDRF* item), AP_TRY(APPartNode), AP_NOTIFY(IAPPartNode), m->RemoveListItem(item))
AP_METHOD(RemoveListItemByIndex, (int index), AP_TRY(APPartNode), AP_NOTIFY(IAPPartNode), m->RemoveListItemByIndex(index))
AP_METHOD(AppendListItem2, (IAPDatum* item), AP_TRY(APPartNode), AP_NOTIFY(IAPPartNode), m->AppendListItem2(item))
AP_BUFFER_METHOD(GetNumListItems2, (int* count), count, AP_TRY(APPartNode), AP_QUIET, m->GetNumListItems2(count))
AP_BUFFER_METHOD(GetListItem2, (int index, IAPDatum** item), item, AP_TRY(APPartNode), AP_QUIET, m->GetListItem2(index, item))
AP_METHOD(RemoveListItem2, (IAPDatum* item), AP_TRY(APPartNode), AP_NOTIFY(IAPPartNode), m->RemoveListItem2(item))
AP_METHOD(RemoveListItem2ByIndex, (int index), AP_TRY(APPartNode), AP_NOTIFY(IAPPartNode), m->RemoveListItem2ByIndex(index))
// The transform is reached by the part node's plain (non-virtual) copy operations.
AP_BUFFER_METHOD(GetMatrix4f, (float* values), values, AP_TRY(APPartNode), AP_QUIET, m->GetFloatMatrix(&values))
AP_BUFFER_METHOD(SetMatrix4f, (float* values), values, AP_TRY(APPartNode), AP_NOTIFY(IAPPartNode), m->SetFloatMatrix(values))
AP_METHOD(SetVector, (double x, double y, double z), AP_TRY(APPartNode), AP_NOTIFY(IAPPartNode), m->SetVector(x, y, z))
AP_BUFFER_METHOD(GetVector, (double* x, double* y, double* z), (x && y && z), AP_TRY(APPartNode), AP_QUIET, m->GetVector(x, y, z))
AP_METHOD(SetScalar, (double value), AP_TRY(APPartNode), AP_NOTIFY(IAPPartNode), m->SetScalar(value))
AP_BUFFER_METHOD(GetScalar, (double* value), value, AP_TRY(APPartNode), AP_QUIET, m->GetScalar(value))
AP_BUFFER_METHOD(IsVectorSet, (int* isSet), isSet, AP_TRY(APPartNode), AP_QUIET, m->IsVectorSet(isSet))
AP_BUFFER_METHOD(IsScalarSet, (int* isSet), isSet, AP_TRY(APPartNode), AP_QUIET, m->IsScalarSet(isSet))

// IAPPartNode2
AP_METHOD(SetFlag1, (), AP_TRY(APPartNode), AP_QUIET, m->SetFlag1())
AP_METHOD(ClearFlag1, (), AP_TRY(APPartNode), AP_QUIET, m->ClearFlag1())
AP_BUFFER_METHOD(GetFlag1, (int* isSet), isSet, AP_TRY(APPartNode), AP_QUIET, m->GetFlag1(isSet))
AP_METHOD(SetFlag2, (), AP_TRY(APPartNode), AP_QUIET, m->SetFlag2())
AP_BUFFER_METHOD(GetFlag2, (int* isSet), isSet, AP_TRY(APPartNode), AP_QUIET, m->GetFlag2(isSet))

// IAPPartNode3
AP_BUFFER_METHOD(GetPartNodeMatrix3x4, (double* values), values, AP_TRY(APPartNode), AP_QUIET, m->GetMatrix3x4(values))
AP_BUFFER_METHOD(SetPartNodeMatrix3x4, (double* values), values, AP_TRY(APPartNode), AP_QUIET, m->SetMatrix3x4(values))
AP_METHOD(SetPartNodeDataMoniker, (IORVDataMoniker* moniker), AP_TRY(APPartNode), AP_QUIET, m->SetDataMoniker(moniker))
AP_BUFFER_METHOD(GetPartNodeDataMoniker, (IORVDataMoniker** moniker), moniker, AP_TRY(APPartNode), AP_QUIET, m->GetDataMoniker(moniker))

// IAPPartNode4
AP_METHOD(SetPartNodeIntValue1, (int value), AP_TRY(APPartNode), AP_QUIET, m->SetIntValue1(value))
AP_BUFFER_METHOD(GetPartNodeIntValue1, (int* value), value, AP_TRY(APPartNode), AP_QUIET, m->GetIntValue1(value))
AP_METHOD(SetPartNodeIntValue2, (int value), AP_TRY(APPartNode), AP_QUIET, m->SetIntValue2(value))
AP_BUFFER_METHOD(GetPartNodeIntValue2, (int* value), value, AP_TRY(APPartNode), AP_QUIET, m->GetIntValue2(value))

// IAPPartNode5 and IAPAssemblyNode share one pair: a part node first, then an assembly node.
AP_METHOD(SetIntPair, (int first, int second), AP_TRY(APPartNode, APAssemblyNode), AP_QUIET, m->SetIntPair(first, second))
AP_BUFFER_METHOD(GetIntPair, (int* first, int* second), (first && second), AP_TRY(APPartNode, APAssemblyNode), AP_QUIET,
                 m->GetIntPair(first, second))

// IAPPartNode6
AP_METHOD(SetPartNodeIntValue3, (int value), AP_TRY(APPartNode), AP_QUIET, m->SetIntValue3(value))
AP_BUFFER_METHOD(GetPartNodeIntValue3, (int* value), value, AP_TRY(APPartNode), AP_QUIET, m->GetIntValue3(value))

// IAPAssemblyNode2 and IAPGroupNode2 share one string: a group node first, then an assembly node.
AP_METHOD(SetGroupNodeNodeString, (unsigned char* text), AP_TRY(APGroupNode, APAssemblyNode), AP_QUIET, m->SetNodeString(InString(text)))
AP_STRING_GETTER(GetGroupNodeNodeString, (unsigned char* text), text, AP_TRY(APGroupNode, APAssemblyNode), GetNodeString)

// IAPAssemblyNode3, IAPAssemblyNode4
AP_METHOD(SetAssemblyNodeDataMoniker, (IORVDataMoniker* moniker), AP_TRY(APAssemblyNode), AP_QUIET, m->SetDataMoniker(moniker))
AP_BUFFER_METHOD(GetAssemblyNodeDataMoniker, (IORVDataMoniker** moniker), moniker, AP_TRY(APAssemblyNode), AP_QUIET,
                 m->GetDataMoniker(moniker))

// IAPFixtureNode
AP_METHOD(SetFixtureValue, (int value), AP_TRY(APFixtureNode), AP_NOTIFY(IAPFixtureNode), m->SetFixtureValue(value))
AP_BUFFER_METHOD(GetFixtureValue, (int* value), value, AP_TRY(APFixtureNode), AP_QUIET, m->GetFixtureValue(value))
