// Placeholder until the instance's event records are available: no event
// states are collected or handed back.
#include "ZRT_SupportLib.h"
void saveEvents(s_ZRT_DeviceInst*, s_ZRT_DeviceState*) {}
void ZRT_RestoreEvents(s_ZRT_DeviceInst*, s_ZRT_DeviceState*) {}
void* ZRT_saveSimEvent_cross(ZRT_EventDesc*) { return nullptr; }
void ZRT_restoreSimEvent_cross(ZRT_EventDesc*, void*) {}
