// The registration exports of lib_hbx: one per model module. A host that
// links the library directly may call them by these declarations; a host that
// loads it at run time looks them up by the same names.
#pragma once

#include "ZRT_CCompat.h"

#include "ZRT_HostInterface.h"

ZRT_EXTERN_C_BEGIN
void registerCallbacks_module_alder_a_1(s_ZRT_ModuleDesc* pMD);
void registerCallbacks_module_alder_b_2(s_ZRT_ModuleDesc* pMD);
void registerCallbacks_module_alder_c_3(s_ZRT_ModuleDesc* pMD);
void registerCallbacks_module_birch_a_4(s_ZRT_ModuleDesc* pMD);
void registerCallbacks_module_birch_c_5(s_ZRT_ModuleDesc* pMD);
void registerCallbacks_module_cedar_a_6(s_ZRT_ModuleDesc* pMD);
void registerCallbacks_module_cedar_b_7(s_ZRT_ModuleDesc* pMD);
void registerCallbacks_module_larch_a_8(s_ZRT_ModuleDesc* pMD);
void registerCallbacks_module_cedar_c_9(s_ZRT_ModuleDesc* pMD);
ZRT_EXTERN_C_END
