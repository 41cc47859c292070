#include "member_call_win.h"

namespace
{

// GCC applies the attribute as documented but warns that it is meant for
// class methods; these are the host's view of class methods.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
using DestroyEntry = void*(__attribute__((thiscall)) *)(void* self, uint32_t flags);
using QueryKindEntry = int32_t(__attribute__((thiscall)) *)(void* self);
using QueryTitleEntry = const char*(__attribute__((thiscall)) *)(void* self);
using RunEntry = int32_t(__attribute__((thiscall)) *)(void* self, ModelHandle model);
#pragma GCC diagnostic pop

template <typename Entry> Entry EntryOf(void* object, int index)
{
    return reinterpret_cast<Entry>(TableOf(object)[index]);
}

} // namespace

void* const* TableOf(void* object)
{
    return *static_cast<void* const* const*>(object);
}

void* CallDestroy(void* object, uint32_t flags)
{
    return EntryOf<DestroyEntry>(object, 0)(object, flags);
}

int32_t CallQueryKind(void* object)
{
    return EntryOf<QueryKindEntry>(object, 1)(object);
}

const char* CallQueryTitle(void* object)
{
    return EntryOf<QueryTitleEntry>(object, 2)(object);
}

int32_t CallRun(void* object, ModelHandle model)
{
    return EntryOf<RunEntry>(object, 3)(object, model);
}

// cdecl: entry at 8(%ebp), object 12, argument 16, push_argument 20, result 24.
// EBX, ESI, EDI and EBP are saved around the call as the convention requires
// of every callee; ESI holds the stack pointer from before the push.
asm(R"(
    .text
    .globl _CallMemberMeasuringStack
    .def _CallMemberMeasuringStack; .scl 2; .type 32; .endef
_CallMemberMeasuringStack:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl %esp, %esi
    cmpl $0, 20(%ebp)
    je 1f
    pushl 16(%ebp)
1:
    movl 12(%ebp), %ecx
    call *8(%ebp)
    movl %esi, %edi
    subl %esp, %edi
    movl %esi, %esp
    movl 24(%ebp), %edx
    movl %eax, (%edx)
    movl %edi, %eax
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
