#pragma once
// The module object (CORVComModule, the global _Module) and the application object are
// declared in com/module.h and defined in com/module.cpp; the registry scripts' resource ids
// are in com/RegistryIds.h.
#include "com/module.h"
