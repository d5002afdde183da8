// Rows of the FEM assembly, measurement, SPC measurement and custom operation families (see
// com/CAPElementRows.h). Out-pointers are checked here: null answers E_POINTER. The movement,
// show-point and refresh settings of these chains are the shared rows of
// com/CAPElementRowsOperation.h.

// IAPFemAssemblyOperation to IAPFemAssemblyOperation5
#define AP_FEM_KIND AP_TRY(APFemAssemblyOperation)
AP_BUFFER_METHOD(IsFemTranslationalBiasSet, (long* isSet), isSet, AP_FEM_KIND, AP_QUIET,
                 m->IsTranslationalBiasSet(reinterpret_cast<int*>(isSet)))
AP_METHOD(SetFemTranslationalBiasVector, (double x, double y, double z), AP_FEM_KIND, AP_QUIET,
          m->SetTranslationalBiasVector(x, y, z))
AP_BUFFER_METHOD(GetFemTranslationalBiasVector, (double* x, double* y, double* z), (x && y && z), AP_FEM_KIND, AP_QUIET,
                 m->GetTranslationalBiasVector(x, y, z))
AP_BUFFER_METHOD(IsFemRotationalBiasSet, (long* isSet), isSet, AP_FEM_KIND, AP_QUIET,
                 m->IsRotationalBiasSet(reinterpret_cast<int*>(isSet)))
AP_METHOD(SetFemRotationalBiasVector, (double x, double y, double z), AP_FEM_KIND, AP_QUIET,
          m->SetRotationalBiasVector(x, y, z))
AP_BUFFER_METHOD(GetFemRotationalBiasVector, (double* x, double* y, double* z), (x && y && z), AP_FEM_KIND, AP_QUIET,
                 m->GetRotationalBiasVector(x, y, z))
AP_BUFFER_METHOD(SetFemAsmOpNominalTransform, (double dTform[4][3]), dTform, AP_FEM_KIND, AP_QUIET,
                 m->SetAsmOpNominalTransform(&dTform[0][0]))
AP_BUFFER_METHOD(GetFemAsmOpNominalTransform, (double dTform[4][3]), dTform, AP_FEM_KIND, AP_QUIET,
                 m->GetAsmOpNominalTransform(&dTform[0][0]))
AP_BUFFER_METHOD(GetFemType, (APFemType* eFemType), eFemType, AP_FEM_KIND, AP_QUIET, m->GetFemType(eFemType))
AP_METHOD(SetFemType, (APFemType eFemType), AP_FEM_KIND, AP_QUIET, m->SetFemType(eFemType))
AP_METHOD(GetBcNodes, (IAPPointerList* pIAPList), AP_FEM_KIND, AP_QUIET, m->GetBcNodes(pIAPList))
AP_METHOD(SetBcNodes, (IAPPointerList* pIAPList), AP_FEM_KIND, AP_QUIET, m->SetBcNodes(pIAPList))
AP_METHOD(ClearBoundaryConditions, (), AP_FEM_KIND, AP_QUIET, m->ClearBoundaryConditions())
AP_METHOD(RemoveBoundaryCondition, (IAPElement* pBCElement), AP_FEM_KIND, AP_QUIET, m->RemoveBoundaryCondition(pBCElement))
#undef AP_FEM_KIND
