// SPDX-License-Identifier: LGPL-2.1-or-later
//
// MiniDumpWriteDump for Linux: the minidump format of Windows as Breakpad
// writes it for Linux processes, so that lldb and the Breakpad tools read it.
// It runs inside a fault handler: every buffer is static, the file and
// /proc are reached through plain system calls, and memory of the process is
// copied by write(2) straight from its address, so an unreadable page fails
// the call (and is written as zeros) instead of faulting again.
#include "private/VLCrashRuntime_p.h"

#ifndef Q_OS_WIN

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace VLCrashRuntime {

namespace {

// --- The file format ------------------------------------------------------

constexpr std::uint32_t signature = 0x504D444D; // "MDMP"
constexpr std::uint32_t formatVersion = 0xA793;

enum StreamType : std::uint32_t {
    UnusedStream = 0,
    ThreadListStream = 3,
    ModuleListStream = 4,
    MemoryListStream = 5,
    ExceptionStream = 6,
    SystemInfoStream = 7,
    MiscInfoStream = 15,
    LinuxCpuInfoStream = 0x47670003,
    LinuxProcStatusStream = 0x47670004,
    LinuxCmdLineStream = 0x47670006,
    LinuxAuxvStream = 0x47670008,
    LinuxMapsStream = 0x47670009,
};

#pragma pack(push, 1)
struct Location
{
    std::uint32_t dataSize;
    std::uint32_t rva;
};
struct MemoryDescriptor
{
    std::uint64_t startOfMemoryRange;
    Location memory;
};
struct Header
{
    std::uint32_t signature;
    std::uint32_t version;
    std::uint32_t numberOfStreams;
    std::uint32_t streamDirectoryRva;
    std::uint32_t checkSum;
    std::uint32_t timeDateStamp;
    std::uint64_t flags;
};
struct DirectoryEntry
{
    std::uint32_t streamType;
    Location location;
};
struct Thread
{
    std::uint32_t threadId;
    std::uint32_t suspendCount;
    std::uint32_t priorityClass;
    std::uint32_t priority;
    std::uint64_t teb;
    MemoryDescriptor stack;
    Location threadContext;
};
struct Module
{
    std::uint64_t baseOfImage;
    std::uint32_t sizeOfImage;
    std::uint32_t checkSum;
    std::uint32_t timeDateStamp;
    std::uint32_t moduleNameRva;
    std::uint32_t versionInfo[13];
    Location cvRecord;
    Location miscRecord;
    std::uint64_t reserved0;
    std::uint64_t reserved1;
};
struct ExceptionStreamData
{
    std::uint32_t threadId;
    std::uint32_t alignment;
    std::uint32_t exceptionCode;
    std::uint32_t exceptionFlags;
    std::uint64_t exceptionRecord;
    std::uint64_t exceptionAddress;
    std::uint32_t numberParameters;
    std::uint32_t unusedAlignment;
    std::uint64_t exceptionInformation[15];
    Location threadContext;
};
struct SystemInfo
{
    std::uint16_t processorArchitecture;
    std::uint16_t processorLevel;
    std::uint16_t processorRevision;
    std::uint8_t numberOfProcessors;
    std::uint8_t productType;
    std::uint32_t majorVersion;
    std::uint32_t minorVersion;
    std::uint32_t buildNumber;
    std::uint32_t platformId;
    std::uint32_t csdVersionRva;
    std::uint16_t suiteMask;
    std::uint16_t reserved2;
    std::uint32_t vendorId[3];
    std::uint32_t versionInformation;
    std::uint32_t featureInformation;
    std::uint32_t amdExtendedCpuFeatures;
};
struct MiscInfo
{
    std::uint32_t sizeOfInfo;
    std::uint32_t flags1;
    std::uint32_t processId;
    std::uint32_t processCreateTime;
    std::uint32_t processUserTime;
    std::uint32_t processKernelTime;
};
// CONTEXT_AMD64.
struct Context
{
    std::uint64_t homes[6];
    std::uint32_t contextFlags;
    std::uint32_t mxCsr;
    std::uint16_t segCs, segDs, segEs, segFs, segGs, segSs;
    std::uint32_t eflags;
    std::uint64_t debugRegisters[6];
    std::uint64_t rax, rcx, rdx, rbx, rsp, rbp, rsi, rdi;
    std::uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
    std::uint64_t rip;
    std::uint8_t floatSave[512];
    std::uint8_t vectorRegisters[26 * 16];
    std::uint64_t vectorControl;
    std::uint64_t debugControl;
    std::uint64_t lastBranchToRip, lastBranchFromRip, lastExceptionToRip, lastExceptionFromRip;
};
#pragma pack(pop)

static_assert(sizeof(Header) == 32, "minidump header");
static_assert(sizeof(Thread) == 48, "thread entry");
static_assert(sizeof(Module) == 108, "module entry");
static_assert(sizeof(ExceptionStreamData) == 168, "exception stream");
static_assert(sizeof(SystemInfo) == 56, "system information");
static_assert(sizeof(Context) == 1232, "AMD64 context");

constexpr std::uint16_t architectureAmd64 = 9;
constexpr std::uint32_t platformLinux = 0x8201;
constexpr std::uint32_t contextAmd64 = 0x00100000;
constexpr std::uint32_t contextControl = 0x1, contextInteger = 0x2, contextFloatingPoint = 0x8;
constexpr std::uint32_t miscProcessId = 0x1;
constexpr std::uint32_t cvSignatureElf = 0x4270454C; // "BpEL"

// --- Limits: everything the writer keeps is allocated here ------------------

constexpr int maxStreams = 12;
constexpr int maxMappings = 8192;
constexpr int maxModules = 1024;
constexpr int maxRanges = 4096;
constexpr std::size_t maxPathLength = 512;
constexpr std::uint64_t maxStackBytes = 256 * 1024;
// Private memory of a big process is left out beyond this, so that a dump
// stays small enough to send.
constexpr std::uint64_t maxPrivateRegionBytes = 32 * 1024 * 1024;
constexpr std::uint64_t maxPrivateBytes = 128 * 1024 * 1024;
constexpr std::uint64_t stackRedZone = 128;

struct Mapping
{
    std::uint64_t start;
    std::uint64_t end;
    std::uint64_t offset;
    std::uint64_t inode;
    bool readable;
    bool writable;
    bool executable;
    bool shared;
    int module; // index into modules, -1 for none
};

struct ModuleInfo
{
    std::uint64_t base;
    std::uint64_t end;
    std::uint64_t inode;
    bool executable;
    char path[maxPathLength];
};

struct WriterState
{
    int fd;
    std::uint64_t position;
    bool failed;

    Mapping mappings[maxMappings];
    int mappingCount;
    ModuleInfo modules[maxModules];
    int moduleCount;

    MemoryDescriptor ranges[maxRanges];
    int rangeCount;
    std::uint64_t privateBytes;

    DirectoryEntry directory[maxStreams];
    int streamCount;

    alignas(dirent64) char readBuffer[65536]; // holds directory entries too
    char lineBuffer[maxPathLength + 256];
    Context context;
    ucontext_t ownContext;
};

WriterState s_state;
// Dumps are written one at a time; a second caller gets FALSE.
std::atomic_flag s_writing = ATOMIC_FLAG_INIT;
const std::uint8_t s_zeros[4096] = {};

// --- Output ---------------------------------------------------------------

bool writeAt(const void *data, std::size_t length, std::uint64_t offset)
{
    const char *bytes = static_cast<const char *>(data);
    while (length > 0) {
        const ssize_t written = pwrite(s_state.fd, bytes, length, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        offset += static_cast<std::uint64_t>(written);
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

void pad(std::uint64_t length)
{
    while (length > 0 && !s_state.failed) {
        const std::size_t chunk = length < sizeof(s_zeros) ? length : sizeof(s_zeros);
        if (!writeAt(s_zeros, chunk, s_state.position))
            s_state.failed = true;
        s_state.position += chunk;
        length -= chunk;
    }
}

void alignTo8()
{
    pad((8 - (s_state.position & 7)) & 7);
}

// Appends bytes of our own memory; returns where they went.
Location append(const void *data, std::size_t length)
{
    alignTo8();
    const Location location = {static_cast<std::uint32_t>(length),
                               static_cast<std::uint32_t>(s_state.position)};
    if (!writeAt(data, length, s_state.position))
        s_state.failed = true;
    s_state.position += length;
    return location;
}

// Appends a piece of the process's memory page by page; a page that cannot be
// read is written as zeros.
Location appendMemory(std::uint64_t start, std::uint64_t length)
{
    alignTo8();
    const Location location = {static_cast<std::uint32_t>(length),
                               static_cast<std::uint32_t>(s_state.position)};
    std::uint64_t address = start;
    const std::uint64_t end = start + length;
    while (address < end && !s_state.failed) {
        const std::uint64_t pageEnd = (address | 4095) + 1;
        const std::uint64_t chunk = (pageEnd < end ? pageEnd : end) - address;
        if (!writeAt(reinterpret_cast<const void *>(address), chunk, s_state.position)) {
            if (!writeAt(s_zeros, chunk, s_state.position))
                s_state.failed = true;
        }
        s_state.position += chunk;
        address += chunk;
    }
    return location;
}

// Hands a file of /proc to the visitor piece by piece, through the read
// buffer.
template<typename Visit>
void readProcFile(const char *path, Visit visit)
{
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return;
    for (;;) {
        const ssize_t got = read(file, s_state.readBuffer, sizeof(s_state.readBuffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        visit(s_state.readBuffer, static_cast<std::size_t>(got));
    }
    close(file);
}

// A file of /proc, copied as it is.
Location appendProcFile(const char *path)
{
    alignTo8();
    Location location = {0, static_cast<std::uint32_t>(s_state.position)};
    readProcFile(path, [&location](const char *data, std::size_t length) {
        if (!writeAt(data, length, s_state.position))
            s_state.failed = true;
        s_state.position += length;
        location.dataSize += static_cast<std::uint32_t>(length);
    });
    return location;
}

// A MINIDUMP_STRING: byte length, UTF-16 text, a terminating zero.
std::uint32_t appendString(const char *utf8)
{
    static std::uint16_t text[maxPathLength + 2];
    std::uint32_t units = 0;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(utf8);
         *c && units < maxPathLength; ++c) {
        // The file names are UTF-8; anything else passes byte by byte.
        std::uint32_t code = *c;
        int more = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : 0;
        if (more)
            code &= 0x3F >> more;
        for (; more > 0 && (c[1] & 0xC0) == 0x80; --more)
            code = (code << 6) | (*++c & 0x3F);
        if (code >= 0x10000 && units + 1 < maxPathLength) {
            code -= 0x10000;
            text[units++] = static_cast<std::uint16_t>(0xD800 | (code >> 10));
            code = 0xDC00 | (code & 0x3FF);
        }
        text[units++] = static_cast<std::uint16_t>(code);
    }
    text[units] = 0;
    const std::uint32_t length = units * 2;
    alignTo8();
    const std::uint32_t rva = static_cast<std::uint32_t>(s_state.position);
    append(&length, sizeof(length));
    if (!writeAt(text, length + 2, s_state.position))
        s_state.failed = true;
    s_state.position += length + 2;
    return rva;
}

// A list stream: a 32-bit count and the entries right behind it.
Location appendList(std::uint32_t count, const void *entries, std::size_t entrySize)
{
    Location location = append(&count, sizeof(count));
    if (!writeAt(entries, count * entrySize, s_state.position))
        s_state.failed = true;
    s_state.position += count * entrySize;
    location.dataSize += static_cast<std::uint32_t>(count * entrySize);
    return location;
}

void addStream(std::uint32_t type, Location location)
{
    if (s_state.streamCount < maxStreams)
        s_state.directory[s_state.streamCount++] = {type, location};
}

// --- The process's mappings and modules --------------------------------------

std::uint64_t parseHex(const char *&c)
{
    std::uint64_t value = 0;
    for (;; ++c) {
        const char d = *c;
        if (d >= '0' && d <= '9')
            value = value * 16 + static_cast<std::uint64_t>(d - '0');
        else if (d >= 'a' && d <= 'f')
            value = value * 16 + static_cast<std::uint64_t>(d - 'a' + 10);
        else
            return value;
    }
}

std::uint64_t parseDecimal(const char *&c)
{
    std::uint64_t value = 0;
    for (; *c >= '0' && *c <= '9'; ++c)
        value = value * 10 + static_cast<std::uint64_t>(*c - '0');
    return value;
}

void skipSpaces(const char *&c)
{
    while (*c == ' ')
        ++c;
}

// One line of /proc/self/maps: "start-end perms offset dev inode path".
void addMapping(const char *line)
{
    if (s_state.mappingCount >= maxMappings)
        return;
    const char *c = line;
    Mapping mapping = {};
    mapping.start = parseHex(c);
    if (*c++ != '-')
        return;
    mapping.end = parseHex(c);
    skipSpaces(c);
    if (std::strlen(c) < 4)
        return;
    mapping.readable = c[0] == 'r';
    mapping.writable = c[1] == 'w';
    mapping.executable = c[2] == 'x';
    mapping.shared = c[3] == 's';
    c += 4;
    skipSpaces(c);
    mapping.offset = parseHex(c);
    skipSpaces(c);
    while (*c && *c != ' ') // device
        ++c;
    skipSpaces(c);
    mapping.inode = parseDecimal(c);
    skipSpaces(c);
    mapping.module = -1;

    // Mappings of one file that follow each other make one module.
    if (*c == '/' && mapping.inode != 0) {
        const int last = s_state.moduleCount - 1;
        if (last >= 0 && s_state.modules[last].inode == mapping.inode
            && std::strcmp(s_state.modules[last].path, c) == 0
            && s_state.modules[last].end <= mapping.start) {
            mapping.module = last;
        } else if (mapping.offset == 0 && s_state.moduleCount < maxModules) {
            mapping.module = s_state.moduleCount++;
            ModuleInfo &module = s_state.modules[mapping.module];
            module.base = mapping.start;
            module.inode = mapping.inode;
            module.executable = false;
            std::strncpy(module.path, c, maxPathLength - 1);
            module.path[maxPathLength - 1] = '\0';
        }
        if (mapping.module >= 0) {
            ModuleInfo &module = s_state.modules[mapping.module];
            module.end = mapping.end;
            module.executable = module.executable || mapping.executable;
        }
    }
    s_state.mappings[s_state.mappingCount++] = mapping;
}

void readMappings()
{
    s_state.mappingCount = 0;
    s_state.moduleCount = 0;
    std::size_t lineLength = 0;
    readProcFile("/proc/self/maps", [&lineLength](const char *data, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) {
            if (data[i] == '\n') {
                s_state.lineBuffer[lineLength] = '\0';
                addMapping(s_state.lineBuffer);
                lineLength = 0;
            } else if (lineLength + 1 < sizeof(s_state.lineBuffer)) {
                s_state.lineBuffer[lineLength++] = data[i];
            }
        }
    });
}

const Mapping *mappingAt(std::uint64_t address)
{
    for (int i = 0; i < s_state.mappingCount; ++i) {
        const Mapping &mapping = s_state.mappings[i];
        if (address >= mapping.start && address < mapping.end)
            return &mapping;
    }
    return nullptr;
}

// Whether [address, address + length) may be read without faulting.
bool isReadable(std::uint64_t address, std::uint64_t length)
{
    while (length > 0) {
        const Mapping *mapping = mappingAt(address);
        if (!mapping || !mapping->readable)
            return false;
        const std::uint64_t inside = mapping->end - address;
        if (inside >= length)
            return true;
        address += inside;
        length -= inside;
    }
    return true;
}

// The GNU build id of a loaded ELF module, read from its program headers.
std::size_t buildId(const ModuleInfo &module, std::uint8_t *id, std::size_t capacity)
{
    if (!isReadable(module.base, sizeof(Elf64_Ehdr)))
        return 0;
    const auto *header = reinterpret_cast<const Elf64_Ehdr *>(module.base);
    if (std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0
        || header->e_ident[EI_CLASS] != ELFCLASS64 || header->e_phentsize != sizeof(Elf64_Phdr))
        return 0;
    const std::uint64_t headersAt = module.base + header->e_phoff;
    if (!isReadable(headersAt, std::uint64_t(header->e_phnum) * sizeof(Elf64_Phdr)))
        return 0;
    const auto *programHeaders = reinterpret_cast<const Elf64_Phdr *>(headersAt);

    std::uint64_t bias = 0;
    if (header->e_type == ET_DYN) {
        for (int i = 0; i < header->e_phnum; ++i) {
            if (programHeaders[i].p_type == PT_LOAD) {
                bias = module.base - (programHeaders[i].p_vaddr & ~std::uint64_t(4095));
                break;
            }
        }
    }
    for (int i = 0; i < header->e_phnum; ++i) {
        const Elf64_Phdr &segment = programHeaders[i];
        if (segment.p_type != PT_NOTE)
            continue;
        std::uint64_t note = bias + segment.p_vaddr;
        const std::uint64_t end = note + segment.p_memsz;
        if (!isReadable(note, segment.p_memsz))
            continue;
        while (note + sizeof(Elf64_Nhdr) <= end) {
            const auto *noteHeader = reinterpret_cast<const Elf64_Nhdr *>(note);
            const std::uint64_t name = note + sizeof(Elf64_Nhdr);
            const std::uint64_t desc = name + ((noteHeader->n_namesz + 3) & ~3u);
            const std::uint64_t next = desc + ((noteHeader->n_descsz + 3) & ~3u);
            if (next > end)
                break;
            if (noteHeader->n_type == NT_GNU_BUILD_ID && noteHeader->n_namesz == 4
                && std::memcmp(reinterpret_cast<const void *>(name), "GNU", 4) == 0) {
                const std::size_t size =
                    noteHeader->n_descsz < capacity ? noteHeader->n_descsz : capacity;
                std::memcpy(id, reinterpret_cast<const void *>(desc), size);
                return size;
            }
            note = next;
        }
    }
    return 0;
}

void addRange(std::uint64_t start, std::uint64_t length)
{
    if (length == 0 || s_state.rangeCount >= maxRanges)
        return;
    s_state.ranges[s_state.rangeCount++] = {start, appendMemory(start, length)};
}

bool overlapsSavedRange(std::uint64_t start, std::uint64_t end)
{
    for (int i = 0; i < s_state.rangeCount; ++i) {
        const MemoryDescriptor &range = s_state.ranges[i];
        const std::uint64_t rangeEnd = range.startOfMemoryRange + range.memory.dataSize;
        if (start < rangeEnd && range.startOfMemoryRange < end)
            return true;
    }
    return false;
}

// --- Threads --------------------------------------------------------------

bool fillContext(const ucontext_t *source, Context &target)
{
    std::memset(&target, 0, sizeof(target));
#if defined(__x86_64__)
    const greg_t *registers = source->uc_mcontext.gregs;
    target.contextFlags = contextAmd64 | contextControl | contextInteger | contextFloatingPoint;
    target.rax = static_cast<std::uint64_t>(registers[REG_RAX]);
    target.rcx = static_cast<std::uint64_t>(registers[REG_RCX]);
    target.rdx = static_cast<std::uint64_t>(registers[REG_RDX]);
    target.rbx = static_cast<std::uint64_t>(registers[REG_RBX]);
    target.rsp = static_cast<std::uint64_t>(registers[REG_RSP]);
    target.rbp = static_cast<std::uint64_t>(registers[REG_RBP]);
    target.rsi = static_cast<std::uint64_t>(registers[REG_RSI]);
    target.rdi = static_cast<std::uint64_t>(registers[REG_RDI]);
    target.r8 = static_cast<std::uint64_t>(registers[REG_R8]);
    target.r9 = static_cast<std::uint64_t>(registers[REG_R9]);
    target.r10 = static_cast<std::uint64_t>(registers[REG_R10]);
    target.r11 = static_cast<std::uint64_t>(registers[REG_R11]);
    target.r12 = static_cast<std::uint64_t>(registers[REG_R12]);
    target.r13 = static_cast<std::uint64_t>(registers[REG_R13]);
    target.r14 = static_cast<std::uint64_t>(registers[REG_R14]);
    target.r15 = static_cast<std::uint64_t>(registers[REG_R15]);
    target.rip = static_cast<std::uint64_t>(registers[REG_RIP]);
    target.eflags = static_cast<std::uint32_t>(registers[REG_EFL]);
    const auto segments = static_cast<std::uint64_t>(registers[REG_CSGSFS]);
    target.segCs = static_cast<std::uint16_t>(segments);
    target.segGs = static_cast<std::uint16_t>(segments >> 16);
    target.segFs = static_cast<std::uint16_t>(segments >> 32);
    if (source->uc_mcontext.fpregs) {
        static_assert(sizeof(*source->uc_mcontext.fpregs) == sizeof(target.floatSave),
                      "FXSAVE area");
        std::memcpy(target.floatSave, source->uc_mcontext.fpregs, sizeof(target.floatSave));
        target.mxCsr = source->uc_mcontext.fpregs->mxcsr;
    }
    return true;
#else
    (void)source;
    return false;
#endif
}

std::uint64_t stackPointerOf(const ucontext_t *context)
{
#if defined(__x86_64__)
    return static_cast<std::uint64_t>(context->uc_mcontext.gregs[REG_RSP]);
#else
    (void)context;
    return 0;
#endif
}

// The stack of a thread from its stack pointer up, as far as it is mapped.
void stackRange(std::uint64_t stackPointer, std::uint64_t &start, std::uint64_t &length)
{
    start = stackPointer > stackRedZone ? stackPointer - stackRedZone : 0;
    length = 0;
    const Mapping *mapping = mappingAt(stackPointer);
    if (!mapping) {
        // An overflowed stack pointer lies just below its mapping.
        for (int i = 0; i < s_state.mappingCount && !mapping; ++i) {
            const Mapping &candidate = s_state.mappings[i];
            if (candidate.start > stackPointer && candidate.start - stackPointer <= 65536)
                mapping = &candidate;
        }
    }
    if (!mapping)
        return;
    if (start < mapping->start)
        start = mapping->start;
    const std::uint64_t end =
        mapping->end - start > maxStackBytes ? start + maxStackBytes : mapping->end;
    length = end - start;
}

struct ThreadInput
{
    DWORD threadId;
    const ucontext_t *context;
};

// The registers of the process's other threads: each is sent a signal whose
// handler leaves a copy of its interrupted registers here and then waits,
// its stack untouched above the registers' stack pointer, until the dump
// is written. A thread that blocks the signal, or does not answer in time,
// is left out.
constexpr int maxThreads = 256;
constexpr long captureWaitNs = 200 * 1000 * 1000;
constexpr long captureHoldNs = 10L * 1000 * 1000 * 1000;

struct CapturedThread
{
    pid_t threadId;
    std::atomic<bool> ready;
    ucontext_t context;
    struct _libc_fpstate floatState;
};

CapturedThread s_threads[maxThreads];
int s_threadCount = 0;
std::atomic<bool> s_releaseThreads{false};

int captureSignal()
{
    return SIGRTMIN + 5;
}

void pause(long nanoseconds)
{
    timespec delay = {0, nanoseconds};
    nanosleep(&delay, nullptr);
}

void holdForCapture(int, siginfo_t *, void *context)
{
    const pid_t self = static_cast<pid_t>(GetCurrentThreadId());
    for (int i = 0; i < s_threadCount; ++i) {
        CapturedThread &thread = s_threads[i];
        if (thread.threadId != self)
            continue;
        const auto *interrupted = static_cast<const ucontext_t *>(context);
        // The registers only: the kernel's frame is smaller than ucontext_t.
        thread.context.uc_mcontext = interrupted->uc_mcontext;
        if (interrupted->uc_mcontext.fpregs) {
            std::memcpy(&thread.floatState, interrupted->uc_mcontext.fpregs,
                        sizeof(thread.floatState));
            thread.context.uc_mcontext.fpregs = &thread.floatState;
        } else {
            thread.context.uc_mcontext.fpregs = nullptr;
        }
        thread.ready.store(true);
        for (long waited = 0; !s_releaseThreads.load() && waited < captureHoldNs;
             waited += 1000 * 1000)
            pause(1000 * 1000);
        return;
    }
}

// Every thread of /proc/self/task but the ones named, stopped in the capture
// handler.
void captureOtherThreads(pid_t skip1, pid_t skip2)
{
    s_threadCount = 0;
    s_releaseThreads.store(false);
    const int tasks = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (tasks < 0)
        return;
    for (;;) {
        const long got =
            syscall(SYS_getdents64, tasks, s_state.readBuffer, sizeof(s_state.readBuffer));
        if (got <= 0)
            break;
        for (long at = 0; at < got;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(s_state.readBuffer + at);
            at += entry->d_reclen;
            const char *name = entry->d_name;
            if (*name < '0' || *name > '9' || s_threadCount >= maxThreads)
                continue;
            const auto threadId = static_cast<pid_t>(parseDecimal(name));
            if (threadId == skip1 || threadId == skip2)
                continue;
            CapturedThread &thread = s_threads[s_threadCount++];
            thread.threadId = threadId;
            thread.ready.store(false);
        }
    }
    close(tasks);

    struct sigaction action = {};
    action.sa_sigaction = holdForCapture;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(captureSignal(), &action, nullptr);
    for (int i = 0; i < s_threadCount; ++i)
        syscall(SYS_tgkill, getpid(), s_threads[i].threadId, captureSignal());
    for (int i = 0; i < s_threadCount; ++i) {
        for (long waited = 0; !s_threads[i].ready.load() && waited < captureWaitNs;
             waited += 1000 * 1000)
            pause(1000 * 1000);
    }
}

BOOL ask(const MINIDUMP_CALLBACK_INFORMATION *callback, MINIDUMP_CALLBACK_INPUT &input,
         MINIDUMP_CALLBACK_OUTPUT &output)
{
    if (!callback || !callback->CallbackRoutine)
        return TRUE;
    return callback->CallbackRoutine(callback->CallbackParam, &input, &output);
}

// One thread of the list, with what the callback lets in; false when it is
// left out.
bool describeThread(const ThreadInput &thread, const MINIDUMP_CALLBACK_INFORMATION *callback,
                    Thread &entry)
{
    MINIDUMP_CALLBACK_INPUT input = {};
    input.ProcessId = GetCurrentProcessId();
    input.ProcessHandle = GetCurrentProcess();
    input.ThreadId = thread.threadId;
    MINIDUMP_CALLBACK_OUTPUT output = {};
    output.ThreadWriteFlags = ThreadWriteThread | ThreadWriteStack | ThreadWriteContext;
    input.CallbackType = IncludeThreadCallback;
    if (!ask(callback, input, output))
        return false;
    input.CallbackType = ThreadCallback;
    if (!ask(callback, input, output) || !(output.ThreadWriteFlags & ThreadWriteThread))
        return false;

    entry = {};
    entry.threadId = thread.threadId;
    if ((output.ThreadWriteFlags & ThreadWriteContext)
        && fillContext(thread.context, s_state.context))
        entry.threadContext = append(&s_state.context, sizeof(s_state.context));
    if (output.ThreadWriteFlags & ThreadWriteStack) {
        std::uint64_t start = 0;
        std::uint64_t length = 0;
        stackRange(stackPointerOf(thread.context), start, length);
        if (length > 0 && !overlapsSavedRange(start, start + length)) {
            addRange(start, length);
            entry.stack = s_state.ranges[s_state.rangeCount - 1];
        }
    }
    return true;
}

// The failing thread first, then the others that could be stopped.
Location writeThreadList(const ThreadInput &failing, const MINIDUMP_CALLBACK_INFORMATION *callback,
                         Location &failingContext)
{
    static Thread entries[maxThreads + 1];
    std::uint32_t count = 0;
    failingContext = {0, 0};
    if (describeThread(failing, callback, entries[count]))
        failingContext = entries[count++].threadContext;
    for (int i = 0; i < s_threadCount; ++i) {
        const CapturedThread &thread = s_threads[i];
        if (thread.ready.load()
            && describeThread({static_cast<DWORD>(thread.threadId), &thread.context}, callback,
                              entries[count]))
            ++count;
    }
    return appendList(count, entries, sizeof(Thread));
}

// --- Modules --------------------------------------------------------------

Location writeModuleList(MINIDUMP_TYPE dumpType, const MINIDUMP_CALLBACK_INFORMATION *callback)
{
    static Module entries[maxModules];
    std::uint32_t count = 0;
    for (int i = 0; i < s_state.moduleCount; ++i) {
        const ModuleInfo &module = s_state.modules[i];
        // Only code counts as a module; data files mapped by the process do not.
        if (!module.executable || !isReadable(module.base, SELFMAG)
            || std::memcmp(reinterpret_cast<const void *>(module.base), ELFMAG, SELFMAG) != 0)
            continue;

        MINIDUMP_CALLBACK_INPUT input = {};
        input.ProcessId = GetCurrentProcessId();
        input.ProcessHandle = GetCurrentProcess();
        input.BaseOfImage = module.base;
        input.SizeOfImage = static_cast<ULONG>(module.end - module.base);
        input.FullPath = module.path;
        MINIDUMP_CALLBACK_OUTPUT output = {};
        output.ModuleWriteFlags = ModuleWriteModule | ModuleWriteCvRecord | ModuleWriteMiscRecord;
        if (dumpType & MiniDumpWithDataSegs)
            output.ModuleWriteFlags |= ModuleWriteDataSeg;
        input.CallbackType = IncludeModuleCallback;
        if (!ask(callback, input, output))
            continue;
        input.CallbackType = ModuleCallback;
        if (!ask(callback, input, output) || !(output.ModuleWriteFlags & ModuleWriteModule))
            continue;

        Module &entry = entries[count++];
        entry = {};
        entry.baseOfImage = module.base;
        entry.sizeOfImage = input.SizeOfImage;
        entry.moduleNameRva = appendString(module.path);
        if (output.ModuleWriteFlags & ModuleWriteCvRecord) {
            std::uint8_t record[4 + 64];
            std::memcpy(record, &cvSignatureElf, 4);
            const std::size_t idLength = buildId(module, record + 4, sizeof(record) - 4);
            if (idLength > 0)
                entry.cvRecord = append(record, 4 + idLength);
        }
        if (output.ModuleWriteFlags & ModuleWriteDataSeg) {
            // The module's writable segments.
            for (int m = 0; m < s_state.mappingCount; ++m) {
                const Mapping &mapping = s_state.mappings[m];
                if (mapping.module == i && mapping.writable && mapping.readable
                    && !overlapsSavedRange(mapping.start, mapping.end))
                    addRange(mapping.start, mapping.end - mapping.start);
            }
        }
    }
    return appendList(count, entries, sizeof(Module));
}

// --- Memory ---------------------------------------------------------------

void addPrivateMemory()
{
    for (int i = 0; i < s_state.mappingCount; ++i) {
        const Mapping &mapping = s_state.mappings[i];
        const std::uint64_t size = mapping.end - mapping.start;
        if (!mapping.readable || !mapping.writable || mapping.shared || mapping.module >= 0
            || mapping.inode != 0 || size > maxPrivateRegionBytes
            || s_state.privateBytes + size > maxPrivateBytes
            || overlapsSavedRange(mapping.start, mapping.end))
            continue;
        s_state.privateBytes += size;
        addRange(mapping.start, size);
    }
}

void addCallbackMemory(const MINIDUMP_CALLBACK_INFORMATION *callback)
{
    if (!callback || !callback->CallbackRoutine)
        return;
    MINIDUMP_CALLBACK_INPUT input = {};
    input.ProcessId = GetCurrentProcessId();
    input.ProcessHandle = GetCurrentProcess();
    input.CallbackType = MemoryCallback;
    for (int asked = 0; asked < maxRanges; ++asked) {
        MINIDUMP_CALLBACK_OUTPUT output = {};
        if (!ask(callback, input, output) || output.MemorySize == 0)
            return;
        if (isReadable(output.MemoryBase, output.MemorySize)
            && !overlapsSavedRange(output.MemoryBase, output.MemoryBase + output.MemorySize))
            addRange(output.MemoryBase, output.MemorySize);
    }
}

Location writeMemoryList()
{
    return appendList(static_cast<std::uint32_t>(s_state.rangeCount), s_state.ranges,
                      sizeof(MemoryDescriptor));
}

// --- System ---------------------------------------------------------------

std::uint32_t nextNumber(const char *&c)
{
    while (*c && (*c < '0' || *c > '9'))
        ++c;
    return static_cast<std::uint32_t>(parseDecimal(c));
}

Location writeSystemInfo()
{
    SystemInfo info = {};
    info.processorArchitecture = architectureAmd64;
    info.platformId = platformLinux;
    const long processors = sysconf(_SC_NPROCESSORS_CONF);
    info.numberOfProcessors = static_cast<std::uint8_t>(processors > 255 ? 255 : processors);
#if defined(__x86_64__)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(0, &eax, &ebx, &ecx, &edx)) {
        info.vendorId[0] = ebx;
        info.vendorId[1] = edx;
        info.vendorId[2] = ecx;
    }
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        info.versionInformation = eax;
        info.featureInformation = edx;
        const unsigned int family = (eax >> 8) & 0xF;
        const unsigned int model = (eax >> 4) & 0xF;
        info.processorLevel =
            static_cast<std::uint16_t>(family == 0xF ? family + ((eax >> 20) & 0xFF) : family);
        info.processorRevision = static_cast<std::uint16_t>(
            ((family == 0x6 || family == 0xF ? model | (((eax >> 16) & 0xF) << 4) : model) << 8)
            | (eax & 0xF));
    }
#endif
    static struct utsname names;
    static char description[sizeof(names) + 4];
    if (uname(&names) == 0) {
        const char *release = names.release;
        info.majorVersion = nextNumber(release);
        info.minorVersion = nextNumber(release);
        info.buildNumber = nextNumber(release);
        // "Linux 6.1.0-18-amd64 #1 SMP ... x86_64", as Breakpad writes it.
        std::size_t length = 0;
        for (const char *part : {names.sysname, names.release, names.version, names.machine}) {
            for (const char *c = part; *c && length + 2 < sizeof(description); ++c)
                description[length++] = *c;
            description[length++] = ' ';
        }
        description[length ? length - 1 : 0] = '\0';
        info.csdVersionRva = appendString(description);
    }
    return append(&info, sizeof(info));
}

Location writeMiscInfo()
{
    MiscInfo info = {};
    info.sizeOfInfo = sizeof(info);
    info.flags1 = miscProcessId;
    info.processId = GetCurrentProcessId();
    return append(&info, sizeof(info));
}

Location writeException(const MINIDUMP_EXCEPTION_INFORMATION &exception, Location context)
{
    const EXCEPTION_RECORD *record = exception.ExceptionPointers->ExceptionRecord;
    ExceptionStreamData data = {};
    data.threadId = exception.ThreadId;
    if (record) {
        data.exceptionCode = record->ExceptionCode;
        data.exceptionFlags = record->ExceptionFlags;
        data.exceptionAddress = reinterpret_cast<std::uint64_t>(record->ExceptionAddress);
        data.numberParameters = record->NumberParameters > 15 ? 15 : record->NumberParameters;
        std::memcpy(data.exceptionInformation, record->ExceptionInformation,
                    sizeof(data.exceptionInformation));
    }
    data.threadContext = context;
    return append(&data, sizeof(data));
}

} // namespace

BOOL MiniDumpWriteDump(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE dumpType,
                       const MINIDUMP_EXCEPTION_INFORMATION *exceptionParam, const void *,
                       const MINIDUMP_CALLBACK_INFORMATION *callbackParam)
{
#if !defined(__x86_64__)
    // Only the AMD64 register layout is written; other processors get no dump.
    (void)file;
    (void)dumpType;
    (void)exceptionParam;
    (void)callbackParam;
    return FALSE;
#else
    if (!file || file == INVALID_HANDLE_VALUE || s_writing.test_and_set())
        return FALSE;

    s_state.fd = static_cast<int>(reinterpret_cast<std::intptr_t>(file));
    s_state.failed = false;
    s_state.rangeCount = 0;
    s_state.privateBytes = 0;
    s_state.streamCount = 0;

    // The faulting thread's registers, or the caller's own when there is no
    // exception.
    ThreadInput thread = {GetCurrentThreadId(), &s_state.ownContext};
    const bool haveException = exceptionParam && exceptionParam->ExceptionPointers;
    if (haveException) {
        thread.threadId = exceptionParam->ThreadId;
        thread.context = exceptionParam->ExceptionPointers->ContextRecord;
    } else {
        getcontext(&s_state.ownContext);
    }

    captureOtherThreads(static_cast<pid_t>(thread.threadId),
                        static_cast<pid_t>(GetCurrentThreadId()));
    readMappings();
    s_state.position = sizeof(Header) + maxStreams * sizeof(DirectoryEntry);

    addStream(SystemInfoStream, writeSystemInfo());
    addStream(MiscInfoStream, writeMiscInfo());
    Location contextLocation = {0, 0};
    addStream(ThreadListStream, writeThreadList(thread, callbackParam, contextLocation));
    if (haveException)
        addStream(ExceptionStream, writeException(*exceptionParam, contextLocation));
    addStream(ModuleListStream, writeModuleList(dumpType, callbackParam));
    if (dumpType & MiniDumpWithPrivateReadWriteMemory)
        addPrivateMemory();
    addCallbackMemory(callbackParam);
    addStream(MemoryListStream, writeMemoryList());
    addStream(LinuxCpuInfoStream, appendProcFile("/proc/cpuinfo"));
    addStream(LinuxProcStatusStream, appendProcFile("/proc/self/status"));
    addStream(LinuxCmdLineStream, appendProcFile("/proc/self/cmdline"));
    addStream(LinuxAuxvStream, appendProcFile("/proc/self/auxv"));
    addStream(LinuxMapsStream, appendProcFile("/proc/self/maps"));

    // Unused directory entries stay zero: type 0, size 0.
    const Header header = {signature,
                           formatVersion,
                           maxStreams,
                           sizeof(Header),
                           0,
                           static_cast<std::uint32_t>(time(nullptr)),
                           static_cast<std::uint64_t>(dumpType)};
    if (!writeAt(&header, sizeof(header), 0))
        s_state.failed = true;
    for (int i = s_state.streamCount; i < maxStreams; ++i)
        s_state.directory[i] = {UnusedStream, {0, 0}};
    if (!writeAt(s_state.directory, sizeof(s_state.directory), sizeof(header)))
        s_state.failed = true;

    const bool written = !s_state.failed && s_state.position <= 0xFFFFFFFFu;
    s_releaseThreads.store(true);
    s_writing.clear();
    return written ? TRUE : FALSE;
#endif
}

} // namespace VLCrashRuntime

#endif // Q_OS_WIN
