#pragma once
// The node tree: nodes with children and parents, the geometry nodes and the groups.
#include "model/APElement.h"

class APNode : public APElement {
    DECLARE_DYNAMIC(APNode)

public:
    APNode() = default;
    // Each class copies its own selection of fields; none is defined yet.
    HRESULT Clone(IAPElement*) override { return E_FAIL; }
};

class APGeometryNode : public APNode {
    DECLARE_DYNAMIC(APGeometryNode)

public:
    APGeometryNode() = default;
};

class APAssemblyNode : public APGeometryNode {
    DECLARE_DYNAMIC(APAssemblyNode)

public:
    APAssemblyNode() = default;
};

class APPartNode : public APGeometryNode {
    DECLARE_DYNAMIC(APPartNode)

public:
    APPartNode() = default;
};

class APFixtureNode : public APPartNode {
    DECLARE_DYNAMIC(APFixtureNode)

public:
    APFixtureNode() = default;
};

class APTolLibNode : public APGeometryNode {
    DECLARE_DYNAMIC(APTolLibNode)

public:
    APTolLibNode() = default;
};

class APGroupNode : public APGeometryNode {
    DECLARE_DYNAMIC(APGroupNode)

public:
    APGroupNode() = default;
};

class APFeatureGroupNode : public APGeometryNode {
    DECLARE_DYNAMIC(APFeatureGroupNode)

public:
    APFeatureGroupNode() = default;
};

class APSubFeatureGroupNode : public APGeometryNode {
    DECLARE_DYNAMIC(APSubFeatureGroupNode)

public:
    APSubFeatureGroupNode() = default;
};

class APNodeInstance : public APNode {
    DECLARE_DYNAMIC(APNodeInstance)

public:
    APNodeInstance() = default;
};

class APGroup : public APNode {
    DECLARE_DYNAMIC(APGroup)

public:
    APGroup() = default;
};
