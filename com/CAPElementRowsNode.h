// The node-level interface methods of CAPElement (see com/CAPElementRows.h for the row
// vocabulary). Out-pointers that the model fills are checked here: null answers E_POINTER.

// IAPGroup. Members go in as any interface of a measurement operation and come out as their
// IAPElement.
AP_METHOD(AppendGroupElement, (IAPElement* element), AP_TRY(APGroup), AP_NOTIFY(IAPGroup), m->AppendElement(element))
AP_BUFFER_METHOD(GetGroupNumElements, (int* count), count, AP_TRY(APGroup), AP_QUIET, m->GetNumElements(count))
AP_BUFFER_METHOD(GetGroupElement, (int index, IAPElement** element), element, AP_TRY(APGroup), AP_QUIET, m->GetElementAsElement(index, element))
AP_METHOD(RemoveGroupElementByIndex, (int index), AP_TRY(APGroup), AP_NOTIFY(IAPGroup), m->RemoveElementByIndex(index))
