#include "model/APNode.h"

IMPLEMENT_DYNAMIC(APNode, APElement)
IMPLEMENT_DYNAMIC(APGeometryNode, APNode)
IMPLEMENT_DYNAMIC(APAssemblyNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APPartNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APFixtureNode, APPartNode)
IMPLEMENT_DYNAMIC(APTolLibNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APGroupNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APFeatureGroupNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APSubFeatureGroupNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APNodeInstance, APNode)
IMPLEMENT_DYNAMIC(APGroup, APNode)
