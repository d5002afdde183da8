// Rows of the node family and of the element block methods (see com/CAPElementRows.h).

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
