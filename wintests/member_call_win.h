// Calls into a plug-in object exactly as the host does: through the first
// word of the object, a table of four entries, each a member function in the
// 32-bit Windows convention (thiscall: `this` in ECX, the callee pops its
// stack arguments).
#ifndef MDLEXPORT_WINTESTS_MEMBER_CALL_WIN_H
#define MDLEXPORT_WINTESTS_MEMBER_CALL_WIN_H

#include "host_model_lib.h"

#include <cstdint>

// The object's table, as the host reads it.
void* const* TableOf(void* object);

// Entry 0, the scalar deleting destructor: destroys the object, frees its
// memory when bit 0 of `flags` is set, returns the object's address.
void* CallDestroy(void* object, uint32_t flags);
// Entries 1 to 3.
int32_t CallQueryKind(void* object);
const char* CallQueryTitle(void* object);
int32_t CallRun(void* object, ModelHandle model);

// Calls `entry` with `object` in ECX and, when `push_argument` is set, one
// stack word `argument`; stores EAX in `*result` and returns the bytes of
// arguments that the entry left on the stack: 0 when it popped exactly what
// was pushed, 4 when a pushed word was left (a C-convention callee), -4 when
// it popped a word that was not pushed. Written in assembly so that nothing
// the compiler does can hide a mismatch.
extern "C" int32_t CallMemberMeasuringStack(void* entry, void* object, uint32_t argument,
                                            uint32_t push_argument, uint32_t* result);

#endif
