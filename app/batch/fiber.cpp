#include "app/batch/fiber.h"

#include <utility>

#if defined(__x86_64__) && defined(__linux__)
#define GRAVLAG_FIBERS 1
#include <sys/mman.h>
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#define GRAVLAG_ASAN_FIBERS 1
#endif

namespace gravlag {

#if GRAVLAG_FIBERS

extern "C" {
// Saves the callee-saved registers on the running stack, stores its pointer to *save, and
// continues on the stack `to` where the same call left it (or where a new stack was laid out).
void gravlag_switch_stack(void** save, void* to);
// The first return address of a new stack: calls rbx(r12) and never returns. The unwinder
// stops here (no caller).
void gravlag_fiber_entry();
}

asm(R"(
    .text
    .globl gravlag_switch_stack
    .hidden gravlag_switch_stack
    .type gravlag_switch_stack, @function
gravlag_switch_stack:
    .cfi_startproc
    pushq %rbp
    pushq %rbx
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    movq %rsp, (%rdi)
    movq %rsi, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rbx
    popq %rbp
    ret
    .cfi_endproc
    .size gravlag_switch_stack, .-gravlag_switch_stack

    .globl gravlag_fiber_entry
    .hidden gravlag_fiber_entry
    .type gravlag_fiber_entry, @function
gravlag_fiber_entry:
    .cfi_startproc
    .cfi_undefined rip
    movq %r12, %rdi
    call *%rbx
    ud2
    .cfi_endproc
    .size gravlag_fiber_entry, .-gravlag_fiber_entry
)");

namespace {
thread_local Fiber* running = nullptr;
} // namespace

Fiber::Fiber(std::function<void()> body, std::size_t stackBytes) : body_(std::move(body))
{
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t size = (stackBytes + page - 1) / page * page;
    void* map = mmap(nullptr, size + page, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (map == MAP_FAILED)
        return;
    mprotect(map, page, PROT_NONE); // an overflow faults instead of writing over memory
    stack_ = map;
    mapped_ = size + page;
    layOut();
}

bool Fiber::restart(std::function<void()>& body)
{
    if (!stack_ || !finished_)
        return false;
    body_ = std::move(body);
    finished_ = false;
    thrown_ = nullptr;
    layOut();
    return true;
}

void Fiber::layOut()
{
#if GRAVLAG_ASAN_FIBERS
    // The mapping may lie where an earlier fiber's stack lay, or be this fiber's own after
    // an earlier body, whose frames AddressSanitizer still marks: it starts as new memory.
    __asan_unpoison_memory_region(stack_, mapped_);
#endif
    auto* top = reinterpret_cast<void**>(static_cast<char*>(stack_) + mapped_);
    // As gravlag_switch_stack leaves a stack: r15 r14 r13 r12 rbx rbp, then the return
    // address; after its ret the stack pointer is `top`, 16-byte aligned as a call expects.
    void** sp = top - 7;
    sp[0] = sp[1] = sp[2] = nullptr;
    sp[3] = this;                                          // r12: the argument
    sp[4] = reinterpret_cast<void*>(&Fiber::start);        // rbx: the function
    sp[5] = nullptr;                                       // rbp
    sp[6] = reinterpret_cast<void*>(&gravlag_fiber_entry); // return address
    sp_ = sp;
}

Fiber::~Fiber()
{
    if (!stack_)
        return;
#if GRAVLAG_ASAN_FIBERS
    // The frames left on the stack are gone with it, for whatever is mapped here next.
    __asan_unpoison_memory_region(stack_, mapped_);
#endif
    munmap(stack_, mapped_);
}

void Fiber::start(Fiber* self)
{
#if GRAVLAG_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(nullptr, &self->callerBottom_, &self->callerSize_);
#endif
    try {
        self->body_();
    } catch (...) {
        self->thrown_ = std::current_exception();
    }
    self->finished_ = true;
    running = nullptr;
    void* discard = nullptr;
#if GRAVLAG_ASAN_FIBERS
    __sanitizer_start_switch_fiber(nullptr, self->callerBottom_, self->callerSize_);
#endif
    gravlag_switch_stack(&discard, self->callerSp_);
    __builtin_unreachable();
}

void Fiber::resume()
{
    if (!stack_ || finished_)
        return;
    Fiber* outer = running;
    running = this;
#if GRAVLAG_ASAN_FIBERS
    void* fake = nullptr;
    const auto guard = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    __sanitizer_start_switch_fiber(&fake, static_cast<char*>(stack_) + guard, mapped_ - guard);
#endif
    gravlag_switch_stack(&callerSp_, sp_);
#if GRAVLAG_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(fake, nullptr, nullptr);
#endif
    running = outer;
    if (finished_ && thrown_)
        std::rethrow_exception(std::exchange(thrown_, nullptr));
}

void Fiber::yield()
{
    Fiber* self = running;
    if (!self)
        return;
    running = nullptr;
#if GRAVLAG_ASAN_FIBERS
    __sanitizer_start_switch_fiber(&self->fakeStack_, self->callerBottom_, self->callerSize_);
#endif
    gravlag_switch_stack(&self->sp_, self->callerSp_);
#if GRAVLAG_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(self->fakeStack_, &self->callerBottom_, &self->callerSize_);
#endif
    running = self;
}

#else

Fiber::Fiber(std::function<void()> body, std::size_t) : body_(std::move(body)) {}
Fiber::~Fiber() = default;
bool Fiber::restart(std::function<void()>&) { return false; }
void Fiber::layOut() {}
void Fiber::start(Fiber*) { __builtin_trap(); }
void Fiber::resume() {}
void Fiber::yield() {}

#endif

} // namespace gravlag
