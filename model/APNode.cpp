#include "model/APNode.h"

IMPLEMENT_DYNAMIC(APNode, APElement)
IMPLEMENT_DYNAMIC(APGeometryNode, APNode)
IMPLEMENT_DYNAMIC(APAssemblyNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APPartNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APFixtureNode, APPartNode)
IMPLEMENT_DYNAMIC(APTolLibNode, APGeometryNode)
