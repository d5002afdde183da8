#pragma once
// Toolkit vectors of geometry values: points of 3 and 4 doubles and 4x4 float matrices.
// New slots start as zero points and as identity matrices.
#include "platform/toolkit/WmVec.h"

struct WmPoint3d {
    double x, y, z;
};

struct WmPoint4d {
    double x, y, z, w;
};

struct WmMatrix4f {
    float m[16];
};

template <>
struct WmVecSlotInit<WmMatrix4f> {
    static void fill(WmMatrix4f* slots, int n)
    {
        for (int i = 0; i < n; ++i)
            for (int k = 0; k < 16; ++k) slots[i].m[k] = (k % 5 == 0) ? 1.0f : 0.0f;
    }
};

using WmVecTag = WmVecBASE<int>;
using WmVecPoint3d = WmVecBASE<WmPoint3d>;
using WmVecPoint4d = WmVecBASE<WmPoint4d>;
using WmVecMatrix4f = WmVecBASE<WmMatrix4f>;
