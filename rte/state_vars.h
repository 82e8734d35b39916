// State variables and branches of an instance: the runtime keeps every state
// variable it creates or finds in the instance's list (newest first) and
// creates each branch once per unnamed mark, ordered node pair and name.
#pragma once

#include <cstdint>

#include "ZRT_HostInterface.h"

// A new zero-filled state variable with the given host index, linked at the
// head of the instance's list when `atHead` is nonzero, else at the tail.
// Null when the record or its list node cannot be allocated (a record off
// the list would never be released, so it is freed again).
s_ZRT_StateVar* createZRT_StateVar(s_ZRT_DeviceInst* inst, uint32_t index, int32_t atHead);

// The newest state variable of the list with this index, else a new one
// linked at the head (null when it cannot be allocated).
s_ZRT_StateVar* ZRT_GetStateVar(s_ZRT_DeviceInst* inst, uint32_t index);

// 1 when both are absent or both are present with equal host indices.
int32_t ZRT_svPosMatch(const s_ZRT_StateVar* a, const s_ZRT_StateVar* b);

// The branch state variable of the list that a request reuses: same unnamed
// mark, same ordered node pair and, for a named request, the same name. The
// type is not compared. Null when there is none.
s_ZRT_StateVar* findDuplicateBranch(const char* name, int32_t unnamed, ZRT_BranchTypeE type,
                                    const s_ZRT_StateVar* pos, const s_ZRT_StateVar* neg, s_ZRT_DeviceInst* inst);

// The state variable of the branch from `pos` to `neg` (null for ground).
// A branch already requested is reused: its use count grows and nothing else
// changes. Otherwise the host's CreateBranch gives the index; a branch on a
// probe node gets an index of its own counted down from 0xFFFFFFFF (the
// highest not held by the instance's list) without asking the host. The
// caller's name must outlive the instance; a null name counts as "".
// Null when the state variable cannot be allocated; a variable answered
// without a branch record (allocation failure) must be skipped.
s_ZRT_StateVar* ZRT_CreateBranchStateVar(const char* name, ZRT_BranchTypeE type, s_ZRT_StateVar* pos,
                                         s_ZRT_StateVar* neg, s_ZRT_DeviceInst* inst, void* hostData);

uint32_t ZRT_KeepStateVarName(const s_ZRT_SimInterface* sim);
const char* ZRT_GetHierName(const s_ZRT_DeviceInst* inst);

// The number of state variables of the instance's list that have a branch record.
int32_t ZRT_DeviceNumOfBranches(const s_ZRT_DeviceInst* inst);

// Flag tests: 1 when the bit is set, 0 when clear or the variable is null.
int32_t ZRT_StateVarIsStructural(const s_ZRT_StateVar* sv);
int32_t ZRT_StateVarIsAnalogUser(const s_ZRT_StateVar* sv);
int32_t ZRT_StateVarIsAnalogSystem(const s_ZRT_StateVar* sv);
int32_t ZRT_StateVarIsBranch(const s_ZRT_StateVar* sv);
int32_t ZRT_StateVarIsIsolated(const s_ZRT_StateVar* sv);
int32_t ZRT_StateVarIsIndepSource(const s_ZRT_StateVar* sv);
int32_t ZRT_StateVarIsPort(const s_ZRT_StateVar* sv);
int32_t ZRT_StateVarIsProbe(const s_ZRT_StateVar* sv);
