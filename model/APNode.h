#pragma once
// The node tree: nodes with children and parents, and the assembly, part and fixture nodes.
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
