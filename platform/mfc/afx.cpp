#include "platform/mfc/afx.h"

const CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), nullptr};

AFX_MODULE_STATE* AfxGetStaticModuleState()
{
    static AFX_MODULE_STATE state;
    return &state;
}

int AfxMessageBox(const char* text, UINT type)
{
    return MessageBoxA(nullptr, text ? text : "", "Plenvort", type);
}
