// SPDX-License-Identifier: LGPL-2.1-or-later
//
//  W A R N I N G
//  -------------
// This file is not part of the VelaGlobal API. It may change from version to
// version without notice, or even be removed.
//
#ifndef VLCRASHRUNTIME_P_H
#define VLCRASHRUNTIME_P_H

#include "VelaGlobalExport.h"

#include <csignal>
#include <cstddef>

/*
    The system calls that the crash handler is written against: the Windows
    kernel, debug-help and C runtime functions. On Windows the names below are
    the system's own. Elsewhere the same names stand for functions with the
    same roles built on POSIX signals, so that the handler code reads the same
    on every system:

    - SetUnhandledExceptionFilter: a real fault (SIGSEGV, SIGBUS, SIGILL or
      SIGFPE raised by the kernel, si_code > 0) on any thread reaches the
      filter as an exception record. The filter runs on an alternate signal
      stack, so that a stack overflow is caught too: every thread started
      through pthread_create once the filter is set gets one (std::thread and
      QThread included), as does each thread that installs a handler.
      Afterwards the process ends by the fault's own signal with its default
      action.
    - signal: a signal raised by software (raise, kill, abort: si_code <= 0)
      reaches the handler registered here. SIGFPE, SIGILL and SIGSEGV
      handlers are kept per thread, SIGABRT, SIGINT and SIGTERM per process;
      like the Windows runtime, a handler is reset to SIG_DFL before it runs.
    - set_terminate reaches std::terminate; a real pure virtual call reaches
      the pure-call handler whatever the order in which the C++ runtime and
      this library were linked; set_unexpected and the invalid-parameter
      handler are reached through unexpected() and _invalid_parameter() below.
    - MiniDumpWriteDump writes the dump with Breakpad's Linux client, from a
      child that ptraces every thread: system information, every thread's
      registers and the used part of its stack, the ELF modules with their
      build ids, the exception, and the Linux streams (/proc maps, status,
      command line, auxv, cpuinfo); without exception information, the
      exception stream says the dump was asked for. Private read-write memory,
      when the dump type asks for it, follows: resident pages of the main heap
      first, then the other private writable regions, up to a cap. Handle
      data, unloaded modules and thread times have no Linux stream and are
      left out; the maps stream stands for the memory information. The
      callback is not asked: Breakpad never writes module data sections, and
      the thread and module lists are complete. Last comes one stream of
      our own, LogTailStream: the newest lines of the run's open log (up to
      LogTailBytes, from a line start), so that the lines that led to the
      crash outlive the next run, which deletes the log.

    No hang: the fault path arms a watchdog when it starts; if the filter has
    not finished within FaultWatchdogSeconds, the process ends by the fault's
    signal all the same. A fault inside a runtime handler reaches the filter
    like any other; a fault inside the filter itself ends the process at once.
    The layer, the dump writer and the handlers on the crash path allocate
    nothing.
*/

#ifdef Q_OS_WIN

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <dbghelp.h>
#include <eh.h>
#include <stdlib.h>

#if !defined(_MSC_VER)
// Entry points of Microsoft's C runtime that MinGW's headers do not declare;
// declared as Microsoft's own headers declare them.
extern "C" {
int __cdecl _purecall();
void __cdecl _invalid_parameter(const wchar_t *expression, const wchar_t *function,
                                const wchar_t *file, unsigned int line, uintptr_t reserved);
}
#endif

namespace VLCrashRuntime {
using ::BOOL;
using ::DWORD;
using ::EXCEPTION_POINTERS;
using ::HANDLE;
using ::LONG;
using ::PMINIDUMP_CALLBACK_INPUT;
using ::PMINIDUMP_CALLBACK_OUTPUT;
using ::PVOID;

using ::CloseHandle;
using ::CreateFileW;
using ::GetCurrentProcess;
using ::GetCurrentProcessId;
using ::GetCurrentThreadId;
using ::MiniDumpWriteDump;
using ::SetUnhandledExceptionFilter;

using ::_set_abort_behavior;
using ::_set_invalid_parameter_handler;
using ::_set_purecall_handler;
using ::set_terminate;
using ::set_unexpected;
using ::signal;

using ::_invalid_parameter;
using ::_purecall;
using ::unexpected;

constexpr unsigned int CALL_REPORTFAULT = _CALL_REPORTFAULT;
} // namespace VLCrashRuntime

#else

#include <cstddef>
#include <cstdint>

#include <ucontext.h>

namespace VLCrashRuntime {

using BOOL = int;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using ULONG64 = std::uint64_t;
using LONG = long;
using HANDLE = void *;
using PVOID = void *;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(-1);

constexpr LONG EXCEPTION_EXECUTE_HANDLER = 1;
constexpr LONG EXCEPTION_CONTINUE_SEARCH = 0;
constexpr LONG EXCEPTION_CONTINUE_EXECUTION = -1;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

constexpr unsigned int CALL_REPORTFAULT = 0x2;
constexpr unsigned int WRITE_ABORT_MSG = 0x1;

// What the filter is told about a fault: the signal, its si_code and the
// faulting address, and the interrupted thread's registers.
struct EXCEPTION_RECORD
{
    DWORD ExceptionCode;  // the signal number
    DWORD ExceptionFlags; // si_code
    EXCEPTION_RECORD *ExceptionRecord;
    PVOID ExceptionAddress; // si_addr
    DWORD NumberParameters;
    ULONG64 ExceptionInformation[15];
};
using CONTEXT = ucontext_t;
struct EXCEPTION_POINTERS
{
    EXCEPTION_RECORD *ExceptionRecord;
    CONTEXT *ContextRecord;
};
using LPTOP_LEVEL_EXCEPTION_FILTER = LONG (*)(EXCEPTION_POINTERS *);

enum MINIDUMP_TYPE : DWORD {
    MiniDumpNormal = 0x0,
    MiniDumpWithDataSegs = 0x1,
    MiniDumpWithHandleData = 0x4,
    MiniDumpWithUnloadedModules = 0x20,
    MiniDumpWithPrivateReadWriteMemory = 0x200,
    MiniDumpWithFullMemoryInfo = 0x800,
    MiniDumpWithThreadInfo = 0x1000,
};

struct MINIDUMP_EXCEPTION_INFORMATION
{
    DWORD ThreadId;
    EXCEPTION_POINTERS *ExceptionPointers;
    BOOL ClientPointers;
};

enum MINIDUMP_CALLBACK_TYPE : ULONG {
    ModuleCallback = 0,
    ThreadCallback = 1,
    ThreadExCallback = 2,
    IncludeThreadCallback = 3,
    IncludeModuleCallback = 4,
    MemoryCallback = 5,
};

enum MODULE_WRITE_FLAGS : ULONG {
    ModuleWriteModule = 0x1,
    ModuleWriteDataSeg = 0x2,
    ModuleWriteMiscRecord = 0x4,
    ModuleWriteCvRecord = 0x8,
};

enum THREAD_WRITE_FLAGS : ULONG {
    ThreadWriteThread = 0x1,
    ThreadWriteStack = 0x2,
    ThreadWriteContext = 0x4,
};

// The writer's question: which thread or module it is about to write.
struct MINIDUMP_CALLBACK_INPUT
{
    ULONG ProcessId;
    HANDLE ProcessHandle;
    ULONG CallbackType;
    ULONG ThreadId;      // thread callbacks
    ULONG64 BaseOfImage; // module callbacks
    ULONG SizeOfImage;
    const char *FullPath; // module callbacks, the mapped file
};

// The callback's answer: what to write of it, or a memory range to add.
struct MINIDUMP_CALLBACK_OUTPUT
{
    ULONG ModuleWriteFlags;
    ULONG ThreadWriteFlags;
    ULONG64 MemoryBase;
    ULONG MemorySize;
};

using PMINIDUMP_CALLBACK_INPUT = MINIDUMP_CALLBACK_INPUT *;
using PMINIDUMP_CALLBACK_OUTPUT = MINIDUMP_CALLBACK_OUTPUT *;
using MINIDUMP_CALLBACK_ROUTINE = BOOL (*)(PVOID, PMINIDUMP_CALLBACK_INPUT,
                                           PMINIDUMP_CALLBACK_OUTPUT);
struct MINIDUMP_CALLBACK_INFORMATION
{
    MINIDUMP_CALLBACK_ROUTINE CallbackRoutine;
    PVOID CallbackParam;
};

using _purecall_handler = void (*)();
using _invalid_parameter_handler = void (*)(const wchar_t *expression, const wchar_t *function,
                                            const wchar_t *file, unsigned int line,
                                            std::uintptr_t reserved);
using terminate_function = void (*)();
using unexpected_function = void (*)();
using signal_handler = void (*)(int);

//! How long the fault path may run before the process is ended anyway.
constexpr unsigned int FaultWatchdogSeconds = 10;

// Kernel.
VELAGLOBAL_EXPORT LPTOP_LEVEL_EXCEPTION_FILTER
SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter);
VELAGLOBAL_EXPORT HANDLE CreateFileW(const wchar_t *fileName, DWORD desiredAccess, DWORD shareMode,
                                     void *securityAttributes, DWORD creationDisposition,
                                     DWORD flagsAndAttributes, HANDLE templateFile);
VELAGLOBAL_EXPORT BOOL CloseHandle(HANDLE handle);
VELAGLOBAL_EXPORT HANDLE GetCurrentProcess();
VELAGLOBAL_EXPORT DWORD GetCurrentProcessId();
VELAGLOBAL_EXPORT DWORD GetCurrentThreadId();

// Debug help.
VELAGLOBAL_EXPORT BOOL MiniDumpWriteDump(HANDLE process, DWORD processId, HANDLE file,
                                         MINIDUMP_TYPE dumpType,
                                         const MINIDUMP_EXCEPTION_INFORMATION *exceptionParam,
                                         const void *userStreamParam,
                                         const MINIDUMP_CALLBACK_INFORMATION *callbackParam);

//! Makes what the dump writer needs while it is safe to allocate; the filter
//! installation calls it.
void PrepareMinidumpWriter();

//! The stream of a dump that holds the tail of the crashed run's log: a type
//! of the user range ("VGLT"), which readers that do not know it pass over.
constexpr DWORD LogTailStream = 0x56474C54u;
//! The most of the log that the stream holds.
constexpr DWORD LogTailBytes = 256u * 1024u;

// C runtime.
VELAGLOBAL_EXPORT signal_handler signal(int signalNumber, signal_handler handler);
VELAGLOBAL_EXPORT terminate_function set_terminate(terminate_function handler);
VELAGLOBAL_EXPORT unexpected_function set_unexpected(unexpected_function handler);
VELAGLOBAL_EXPORT _purecall_handler _set_purecall_handler(_purecall_handler handler);
VELAGLOBAL_EXPORT _invalid_parameter_handler
_set_invalid_parameter_handler(_invalid_parameter_handler handler);
VELAGLOBAL_EXPORT unsigned int _set_abort_behavior(unsigned int flags, unsigned int mask);

// The runtime's own entry points for the events that C++ on this system
// does not raise by itself.
[[noreturn]] VELAGLOBAL_EXPORT void unexpected();
[[noreturn]] VELAGLOBAL_EXPORT void _purecall();
VELAGLOBAL_EXPORT void _invalid_parameter(const wchar_t *expression, const wchar_t *function,
                                          const wchar_t *file, unsigned int line,
                                          std::uintptr_t reserved);

} // namespace VLCrashRuntime

#endif // Q_OS_WIN

namespace VLCrashRuntime {
//! Writes a null-terminated wide text as UTF-8 into a buffer of `capacity`
//! bytes, cut short where it does not fit; answers the length written
//! (without the terminator). Allocates nothing.
std::size_t Utf8FromWide(const wchar_t *text, char *buffer, std::size_t capacity);

struct CivilDate
{
    long year;
    long month; // 1 to 12
    long day;   // 1 to 31
};
//! The proleptic Gregorian date of a count of days since 1970-01-01, for
//! dates from the year 0 on, without the system's local time functions,
//! which take a lock.
VELAGLOBAL_EXPORT CivilDate CivilDateFromDays(long long days);
} // namespace VLCrashRuntime

#endif // VLCRASHRUNTIME_P_H
