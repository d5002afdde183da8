#pragma once
// The library's creatable classes, in registration order.
#include "platform/atl/atlbase.h"

// The object map (ends with an entry whose CLSID is null); installed as the module's
// automatic object map at start-up.
_ATL_OBJMAP_ENTRY* PlenvortObjectMap();
