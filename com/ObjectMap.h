#pragma once
// The library's creatable classes, in registration order.
#include "platform/atl/atlbase.h"

// The object map (ends with an entry whose CLSID is null); installed as the module's
// automatic object map at start-up.
_ATL_OBJMAP_ENTRY* PlenvortObjectMap();

// A creatable class whose implementation is not in the library yet: it has its identity and
// its registry script, and its factory answers E_NOTIMPL.
template <const CLSID* pclsid, UINT registryId>
class CAPPendingClass : public CComCoClass<CAPPendingClass<pclsid, registryId>, pclsid> {
public:
    DECLARE_REGISTRY_RESOURCEID(registryId)
    typedef CComFailCreator<E_NOTIMPL> _CreatorClass;
};
