// Internal unknowns of the analog operators (ddt, idt, laplace): a system
// state variable that the host numbers and the runtime keeps in the
// instance's list.
#pragma once

#include <cstdint>

#include "ZRT_HostInterface.h"

// What the host is told of the unknowns an operator's output depends on.
// The record lives only for the duration of the host's CreateSystemStateVar
// call: a host that needs it later copies it (the list itself stays valid as
// long as the operator).
struct ZRT_NodalInfo {
    uint32_t kind;  // 1: a list of argument words follows
    int32_t count;
    void** list;    // `count` pointer-size words
};

// The index a system state variable gets when the host has no
// CreateSystemStateVar slot.
constexpr uint32_t kUnnumberedSystemVar = static_cast<uint32_t>(-99999999);

// A new state variable flagged as an analog system variable and linked at
// the head of the instance's list. Its index is the host's answer from
// CreateSystemStateVar(instance name, name, &index, 2, nodal information,
// extra), or kUnnumberedSystemVar without that slot. With `keepName`
// non-zero the variable is named "instance.name". Always a new variable;
// null when it cannot be allocated.
s_ZRT_StateVar* createSystemStateVar(const char* name, s_ZRT_DeviceInst* inst, ZRT_NodalInfo* nodalInfo,
                                     void* extra, int32_t keepName);
