// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/VLCrashRuntime_p.h"

#include <cstdint>

namespace VLCrashRuntime {

std::size_t Utf8FromWide(const wchar_t *text, char *buffer, std::size_t capacity)
{
    std::size_t length = 0;
    for (const wchar_t *c = text; c && *c; ++c) {
        auto code = static_cast<std::uint32_t>(*c);
        // A UTF-16 pair where wchar_t is 16 bits wide.
        if (code >= 0xD800 && code < 0xDC00 && c[1] >= 0xDC00 && c[1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(c[1]) - 0xDC00);
            ++c;
        }
        const std::size_t bytes = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
        if (length + bytes >= capacity)
            break;
        static const unsigned char lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
        for (std::size_t i = bytes - 1; i > 0; --i, code >>= 6)
            buffer[length + i] = static_cast<char>(0x80 | (code & 0x3F));
        buffer[length] = static_cast<char>(bytes == 1 ? code : lead[bytes] | code);
        length += bytes;
    }
    if (capacity)
        buffer[length] = '\0';
    return length;
}

CivilDate CivilDateFromDays(long long days)
{
    // Counted from 0000-03-01, in eras of 400 years.
    days += 719468;
    const long long era = days / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    const long day = static_cast<long>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const long month = static_cast<long>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    return {static_cast<long>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0)), month, day};
}

} // namespace VLCrashRuntime

#ifndef Q_OS_WIN

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <mutex>

#include <new>

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <unwind.h>

// Everything below that runs inside a signal handler uses system calls and
// lock-free reads only. The handlers read their own slots from static
// thread-local storage (initial-exec: no allocation on first use).
#define VL_SIGNAL_SAFE_TLS thread_local __attribute__((tls_model("initial-exec")))

namespace VLCrashRuntime {

namespace {

constexpr int faultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};

// The handler code logs, lists folders and starts a process: it needs far
// more room than SIGSTKSZ.
constexpr std::size_t altStackSize = 256 * 1024;

std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> s_filter{nullptr};

// The runtime keeps these per process...
std::atomic<signal_handler> s_abortHandler{SIG_DFL};
std::atomic<signal_handler> s_intHandler{SIG_DFL};
std::atomic<signal_handler> s_termHandler{SIG_DFL};
std::atomic<_purecall_handler> s_purecallHandler{nullptr};
std::atomic<_invalid_parameter_handler> s_invalidParameterHandler{nullptr};
std::atomic<unsigned int> s_abortBehavior{WRITE_ABORT_MSG | CALL_REPORTFAULT};

// ...and these per thread.
VL_SIGNAL_SAFE_TLS signal_handler t_fpeHandler = SIG_DFL;
VL_SIGNAL_SAFE_TLS signal_handler t_illHandler = SIG_DFL;
VL_SIGNAL_SAFE_TLS signal_handler t_segvHandler = SIG_DFL;
VL_SIGNAL_SAFE_TLS terminate_function t_terminateHandler = nullptr;
VL_SIGNAL_SAFE_TLS unexpected_function t_unexpectedHandler = nullptr;

// Set while this thread runs the filter.
VL_SIGNAL_SAFE_TLS bool t_inFilter = false;

std::terminate_handler s_previousTerminate = nullptr;
std::once_flag s_terminateHooked;

std::atomic<bool> s_watchdogArmed{false};
std::atomic<int> s_watchdogSignal{SIGSEGV};

bool isFaultSignal(int signalNumber)
{
    for (int fault : faultSignals) {
        if (fault == signalNumber)
            return true;
    }
    return false;
}

long currentThreadId()
{
    return syscall(SYS_gettid);
}

// The slot that signal() fills for a signal, or null for one the runtime
// does not know.
template<typename Visit>
bool withHandlerSlot(int signalNumber, Visit visit)
{
    switch (signalNumber) {
    case SIGABRT:
        visit(s_abortHandler);
        return true;
    case SIGINT:
        visit(s_intHandler);
        return true;
    case SIGTERM:
        visit(s_termHandler);
        return true;
    case SIGFPE:
        visit(t_fpeHandler);
        return true;
    case SIGILL:
        visit(t_illHandler);
        return true;
    case SIGSEGV:
        visit(t_segvHandler);
        return true;
    default:
        return false;
    }
}

signal_handler exchangeHandler(std::atomic<signal_handler> &slot, signal_handler handler)
{
    return slot.exchange(handler);
}

signal_handler exchangeHandler(signal_handler &slot, signal_handler handler)
{
    const signal_handler previous = slot;
    slot = handler;
    return previous;
}

// Ends the process by a signal's default action, from wherever we are.
[[noreturn]] void endBySignal(int signalNumber)
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);

    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signalNumber);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    syscall(SYS_tgkill, getpid(), currentThreadId(), signalNumber);
    // Only reached if the signal could not end the process.
    _exit(128 + signalNumber);
}

void watchdogExpired(int)
{
    endBySignal(s_watchdogSignal.load());
}

// The first fault starts the clock; a later one on another thread does not
// push it back.
void armWatchdog(int signalNumber)
{
    if (s_watchdogArmed.exchange(true))
        return;
    s_watchdogSignal.store(signalNumber);
    struct sigaction action = {};
    action.sa_handler = watchdogExpired;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
    alarm(FaultWatchdogSeconds);
}

void handleFault(int signalNumber, siginfo_t *info, ucontext_t *context)
{
    // A fault inside the filter is not reported again.
    if (t_inFilter)
        endBySignal(signalNumber);
    armWatchdog(signalNumber);

    EXCEPTION_RECORD record = {};
    record.ExceptionCode = static_cast<DWORD>(signalNumber);
    record.ExceptionFlags = static_cast<DWORD>(info->si_code);
    record.ExceptionAddress = info->si_addr;
    EXCEPTION_POINTERS pointers = {&record, context};

    LONG answer = EXCEPTION_CONTINUE_SEARCH;
    if (const LPTOP_LEVEL_EXCEPTION_FILTER filter = s_filter.load()) {
        t_inFilter = true;
        answer = filter(&pointers);
        t_inFilter = false;
    }
    if (answer == EXCEPTION_CONTINUE_EXECUTION)
        return;
    endBySignal(signalNumber);
}

// A signal raised by software goes to what signal() registered, which is
// reset to the default first, as the Windows runtime does.
void runRegisteredHandler(int signalNumber)
{
    signal_handler handler = SIG_DFL;
    withHandlerSlot(signalNumber,
                    [&handler](auto &slot) { handler = exchangeHandler(slot, SIG_DFL); });
    if (handler == SIG_IGN)
        return;
    if (handler == SIG_DFL)
        endBySignal(signalNumber);
    handler(signalNumber);
}

void dispatchSignal(int signalNumber, siginfo_t *info, void *context)
{
    const int savedErrno = errno;
    if (isFaultSignal(signalNumber) && info && info->si_code > 0)
        handleFault(signalNumber, info, static_cast<ucontext_t *>(context));
    else if (signalNumber == SIGBUS)
        endBySignal(signalNumber); // no runtime handler exists for it
    else
        runRegisteredHandler(signalNumber);
    errno = savedErrno;
}

// The calling thread gets a signal stack of its own, so that a stack
// overflow still finds room to run the handler. It goes with the thread.
struct AltStack
{
    void *memory = nullptr;

    void Ensure()
    {
        if (memory)
            return;
        stack_t current = {};
        if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)
            && current.ss_size >= altStackSize)
            return; // somebody else's, and big enough
        memory = mmap(nullptr, altStackSize, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (memory == MAP_FAILED) {
            memory = nullptr;
            return;
        }
        stack_t stack = {};
        stack.ss_sp = memory;
        stack.ss_size = altStackSize;
        sigaltstack(&stack, nullptr);
    }

    ~AltStack()
    {
        if (!memory)
            return;
        stack_t disable = {};
        disable.ss_flags = SS_DISABLE;
        sigaltstack(&disable, nullptr);
        munmap(memory, altStackSize);
    }
};

thread_local AltStack t_altStack;

void routeSignal(int signalNumber)
{
    t_altStack.Ensure();
    struct sigaction action = {};
    action.sa_sigaction = dispatchSignal;
    // A fault inside a handler (one that holds the crash lock, say) still
    // reaches the filter, and is reported with its dump.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

// The C++ runtime's own pure-call entry, where it is the one that the
// process's virtual tables name: it calls std::terminate.
struct CodeRange
{
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
};
CodeRange s_runtimePureCall;

CodeRange runtimePureCall()
{
    CodeRange range;
    void *runtime = dlopen("libstdc++.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!runtime)
        return range;
    Dl_info info;
    ElfW(Sym) *symbol = nullptr;
    void *entry = dlsym(runtime, "__cxa_pure_virtual");
    if (entry && dladdr1(entry, &info, reinterpret_cast<void **>(&symbol), RTLD_DL_SYMENT)
        && symbol) {
        range.start = reinterpret_cast<std::uintptr_t>(entry);
        // A call at its very end returns just past it.
        range.end = range.start + symbol->st_size + 1;
    }
    dlclose(runtime);
    return range;
}

struct CallerSearch
{
    int frames = 0;
    bool found = false;
};

_Unwind_Reason_Code visitFrame(_Unwind_Context *context, void *data)
{
    auto *search = static_cast<CallerSearch *>(data);
    const std::uintptr_t address = _Unwind_GetIP(context);
    if (address >= s_runtimePureCall.start && address < s_runtimePureCall.end) {
        search->found = true;
        return _URC_END_OF_STACK;
    }
    return ++search->frames < 8 ? _URC_NO_REASON : _URC_END_OF_STACK;
}

// Whether std::terminate was called by the C++ runtime's pure-call entry.
bool calledByPureCall()
{
    if (!s_runtimePureCall.start)
        return false;
    CallerSearch search;
    _Unwind_Backtrace(visitFrame, &search);
    return search.found;
}

void terminateThroughThreadHandler()
{
    if (calledByPureCall())
        _purecall();
    if (const terminate_function handler = t_terminateHandler)
        handler();
    else if (s_previousTerminate)
        s_previousTerminate();
    std::abort();
}

void hookTerminate()
{
    std::call_once(s_terminateHooked, [] {
        s_runtimePureCall = runtimePureCall();
        s_previousTerminate = std::set_terminate(terminateThroughThreadHandler);
    });
}

// A thread started through pthread_create gets its signal stack before it
// runs its own code.
struct ThreadStart
{
    void *(*routine)(void *);
    void *argument;
};

void *startWithSignalStack(void *data)
{
    const ThreadStart start = *static_cast<ThreadStart *>(data);
    delete static_cast<ThreadStart *>(data);
    t_altStack.Ensure();
    return start.routine(start.argument);
}

} // namespace

LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter)
{
    PrepareMinidumpWriter();
    const LPTOP_LEVEL_EXCEPTION_FILTER previous = s_filter.exchange(filter);
    for (int fault : faultSignals)
        routeSignal(fault);
    return previous;
}

HANDLE CreateFileW(const wchar_t *fileName, DWORD desiredAccess, DWORD, void *,
                   DWORD creationDisposition, DWORD, HANDLE)
{
    // UTF-8 into a fixed buffer: no allocation on the crash path.
    char path[4096];
    const std::size_t length = Utf8FromWide(fileName, path, sizeof(path));
    if (length + 4 >= sizeof(path))
        return INVALID_HANDLE_VALUE; // too long to name

    // The one file the library makes this way is a dump: new, replacing any
    // old one of its name, read and written. Anything else is refused, as
    // the Windows call refuses what a volume cannot do.
    if (desiredAccess != (GENERIC_READ | GENERIC_WRITE) || creationDisposition != CREATE_ALWAYS) {
        errno = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    // A dump holds the process's memory: its owner alone reads it.
    int fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd == 0) {
        // Descriptor 0 would read as a null handle.
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        close(fd);
        fd = moved;
    }
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

BOOL CloseHandle(HANDLE handle)
{
    return close(static_cast<int>(reinterpret_cast<std::intptr_t>(handle))) == 0 ? TRUE : FALSE;
}

HANDLE GetCurrentProcess()
{
    // The pseudo handle, as on Windows.
    return reinterpret_cast<HANDLE>(-1);
}

DWORD GetCurrentProcessId()
{
    return static_cast<DWORD>(getpid());
}

DWORD GetCurrentThreadId()
{
    return static_cast<DWORD>(currentThreadId());
}

signal_handler signal(int signalNumber, signal_handler handler)
{
    signal_handler previous = SIG_ERR;
    if (!withHandlerSlot(signalNumber,
                         [&](auto &slot) { previous = exchangeHandler(slot, handler); })) {
        errno = EINVAL;
        return SIG_ERR;
    }
    routeSignal(signalNumber);
    return previous;
}

terminate_function set_terminate(terminate_function handler)
{
    hookTerminate();
    const terminate_function previous = t_terminateHandler;
    t_terminateHandler = handler;
    return previous;
}

unexpected_function set_unexpected(unexpected_function handler)
{
    const unexpected_function previous = t_unexpectedHandler;
    t_unexpectedHandler = handler;
    return previous;
}

_purecall_handler _set_purecall_handler(_purecall_handler handler)
{
    hookTerminate();
    return s_purecallHandler.exchange(handler);
}

_invalid_parameter_handler _set_invalid_parameter_handler(_invalid_parameter_handler handler)
{
    return s_invalidParameterHandler.exchange(handler);
}

unsigned int _set_abort_behavior(unsigned int flags, unsigned int mask)
{
    unsigned int previous = s_abortBehavior.load();
    while (!s_abortBehavior.compare_exchange_weak(previous, (previous & ~mask) | (flags & mask))) {
    }
    return previous;
}

void unexpected()
{
    if (const unexpected_function handler = t_unexpectedHandler)
        handler();
    std::terminate();
}

void _purecall()
{
    if (const _purecall_handler handler = s_purecallHandler.load())
        handler();
    std::abort();
}

void _invalid_parameter(const wchar_t *expression, const wchar_t *function, const wchar_t *file,
                        unsigned int line, std::uintptr_t reserved)
{
    if (const _invalid_parameter_handler handler = s_invalidParameterHandler.load()) {
        // The failing call then returns its error to its caller.
        handler(expression, function, file, line, reserved);
        return;
    }
    // Without a handler the runtime ends the process at once.
    endBySignal(SIGABRT);
}

} // namespace VLCrashRuntime

// The C++ runtime's pure-call entry: a real pure virtual call reaches the
// handler of _set_purecall_handler, as it does on Windows. Without one it
// takes the C++ runtime's own course.
extern "C" VELAGLOBAL_EXPORT void __cxa_pure_virtual()
{
    if (VLCrashRuntime::s_purecallHandler.load())
        VLCrashRuntime::_purecall();
    using PureCall = void (*)();
    if (const auto next = reinterpret_cast<PureCall>(dlsym(RTLD_NEXT, "__cxa_pure_virtual")))
        next();
    std::terminate();
}

// Every thread started once the filter is set gets a signal stack, so that
// a stack overflow on it reaches the filter too.
extern "C" VELAGLOBAL_EXPORT int pthread_create(pthread_t *thread, const pthread_attr_t *attributes,
                                                void *(*routine)(void *), void *argument)
{
    using Create = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    static const auto next = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    if (!next)
        return EAGAIN;
    auto *start = VLCrashRuntime::s_filter.load() ? new (std::nothrow)
                          VLCrashRuntime::ThreadStart{routine, argument}
                                                  : nullptr;
    if (!start)
        return next(thread, attributes, routine, argument);
    const int result = next(thread, attributes, VLCrashRuntime::startWithSignalStack, start);
    if (result != 0)
        delete start;
    return result;
}

#endif // Q_OS_WIN
