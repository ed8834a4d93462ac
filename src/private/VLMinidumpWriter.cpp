// SPDX-License-Identifier: LGPL-2.1-or-later
//
// MiniDumpWriteDump for Linux, written by Breakpad's Linux client: a cloned
// child ptraces every thread of the process (whether or not the thread can
// take a signal), writes the used part of each stack, the modules with their
// build ids, the exception and the Linux streams, and allocates nothing in
// the failing process.
//
// The private read-write memory that the dump type asks for (the heap) is
// then appended by this file: copied by write(2) straight from its address,
// so an unmapped page fails the call instead of faulting again, resident
// pages only, the main heap first, up to a cap that keeps the whole handler
// within its time bound. The dump's memory list is written anew after it and
// its directory entry pointed there.
//
// Last, the newest lines of the run's log are copied from the log's open
// descriptor into a stream of our own, and the dump's directory is written
// anew at the end with that stream added: the next run deletes the log.
#include "private/VLCrashRuntime_p.h"
#include "private/VLLogFile_p.h"

#ifndef Q_OS_WIN

#include "client/linux/handler/exception_handler.h"
#include "client/linux/handler/minidump_descriptor.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace VLCrashRuntime {

namespace {

// Enough for the heap of an editor with a large document; more would keep a
// 1 GB process past the fault path's time bound.
constexpr std::uint64_t privateMemoryCap = 256ull << 20;
// One slice of a region asked about at a time; a byte of residency per page.
constexpr std::size_t residencySlice = 64 * 1024;
// The scratch room of the appender: the maps text, the old and new memory
// lists. Mapped when needed, never freed (the process is ending).
constexpr std::size_t mapsRoom = 4u << 20;
constexpr std::size_t maxDescriptors = 1u << 16;

constexpr std::uint32_t memoryListStream = 5;
// Breakpad writes fewer; a dump with more is not one of its.
constexpr std::uint32_t maxStreams = 64;

struct [[gnu::packed]] Header
{
    std::uint32_t signature;
    std::uint32_t version;
    std::uint32_t streamCount;
    std::uint32_t directoryRva;
};

struct [[gnu::packed]] DirectoryEntry
{
    std::uint32_t type;
    std::uint32_t size;
    std::uint32_t rva;
};

struct [[gnu::packed]] MemoryDescriptor
{
    std::uint64_t start;
    std::uint32_t size;
    std::uint32_t rva;
};

google_breakpad::ExceptionHandler *s_breakpad = nullptr;
std::atomic_flag s_writing = ATOMIC_FLAG_INIT;

// The appender's scratch room.
struct Scratch
{
    char *maps;
    std::size_t mapsSize;
    MemoryDescriptor *descriptors;
    std::uint32_t count;
    std::uint32_t oldCount;
    std::uint64_t fileEnd;
    std::uint64_t written;
    // The room itself, which the system may have merged with a neighbouring
    // region.
    std::uint64_t roomStart;
    std::uint64_t roomEnd;
};

// A positioned read or write (pread, pwrite) of the whole range; the
// number of bytes done, which falls short only where the call fails.
template<typename Bytes, typename Call>
std::size_t transfer(Call call, int fd, Bytes *data, std::size_t length, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t moved =
            call(fd, data + done, length - done, static_cast<off_t>(offset + done));
        if (moved <= 0)
            break;
        done += static_cast<std::size_t>(moved);
    }
    return done;
}

bool readFully(int fd, void *data, std::size_t length, std::uint64_t offset)
{
    return transfer(pread, fd, static_cast<char *>(data), length, offset) == length;
}

bool writeFully(int fd, const void *data, std::size_t length, std::uint64_t offset)
{
    return transfer(pwrite, fd, static_cast<const char *>(data), length, offset) == length;
}

void readMaps(Scratch &scratch)
{
    scratch.mapsSize = 0;
    const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ssize_t got = 0;
    while (scratch.mapsSize + 1 < mapsRoom
           && (got = read(fd, scratch.maps + scratch.mapsSize, mapsRoom - 1 - scratch.mapsSize))
                  > 0)
        scratch.mapsSize += static_cast<std::size_t>(got);
    scratch.maps[scratch.mapsSize] = '\0';
    close(fd);
}

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

// A private, writable mapping of no file: "start-end rw?p 00000000 00:00 0",
// unnamed or the main heap.
struct Region
{
    std::uint64_t start;
    std::uint64_t end;
    bool isMainHeap;
};

bool parseRegion(const char *line, Region &region)
{
    const char *c = line;
    region.start = parseHex(c);
    if (*c++ != '-')
        return false;
    region.end = parseHex(c);
    if (*c++ != ' ' || c[0] != 'r' || c[1] != 'w' || c[3] != 'p')
        return false;
    c += 4;
    // offset, device, inode
    int field = 0;
    while (*c && *c != '\n' && field < 3) {
        while (*c == ' ')
            ++c;
        const char *value = c;
        while (*c && *c != ' ' && *c != '\n')
            ++c;
        if (field == 2 && !(c - value == 1 && *value == '0'))
            return false; // a file's
        ++field;
    }
    while (*c == ' ')
        ++c;
    region.isMainHeap = std::strncmp(c, "[heap]", 6) == 0;
    return region.isMainHeap || *c == '\n' || *c == '\0';
}

// Whether [start, end) and [otherStart, otherEnd) share a byte.
bool meets(std::uint64_t start, std::uint64_t end, std::uint64_t otherStart, std::uint64_t otherEnd)
{
    return start < otherEnd && otherStart < end;
}

// The ranges Breakpad wrote that meet one region: a page is checked against
// these alone, not against every thread's stack.
struct NearbyRanges
{
    std::uint32_t index[maxDescriptors / 2];
    std::uint32_t count;
};

void findNearbyRanges(const Scratch &scratch, std::uint64_t start, std::uint64_t end,
                      NearbyRanges &nearby)
{
    nearby.count = 0;
    for (std::uint32_t i = 0; i < scratch.oldCount; ++i) {
        const MemoryDescriptor &range = scratch.descriptors[i];
        if (meets(range.start, range.start + range.size, start, end))
            nearby.index[nearby.count++] = i;
    }
}

bool overlapsOldRange(const Scratch &scratch, const NearbyRanges &nearby, std::uint64_t start,
                      std::uint64_t end)
{
    for (std::uint32_t i = 0; i < nearby.count; ++i) {
        const MemoryDescriptor &range = scratch.descriptors[nearby.index[i]];
        if (meets(range.start, range.start + range.size, start, end))
            return true;
    }
    return false;
}

// Copies one run of resident pages to the end of the file.
void appendRun(int fd, Scratch &scratch, std::uint64_t start, std::uint64_t length)
{
    length = std::min(length, privateMemoryCap - scratch.written);
    if (!length || scratch.count >= maxDescriptors)
        return;
    // Short where the memory is gone since the maps were read.
    const std::uint64_t copied =
        transfer(pwrite, fd, reinterpret_cast<const char *>(start), length, scratch.fileEnd);
    if (!copied)
        return;
    scratch.descriptors[scratch.count++] = {start, static_cast<std::uint32_t>(copied),
                                            static_cast<std::uint32_t>(scratch.fileEnd)};
    scratch.fileEnd += copied;
    scratch.written += copied;
}

void appendRegion(int fd, Scratch &scratch, const Region &region)
{
    static unsigned char resident[residencySlice];
    static NearbyRanges nearby;
    findNearbyRanges(scratch, region.start, region.end, nearby);
    const std::uint64_t page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    std::uint64_t runStart = 0;
    std::uint64_t runEnd = 0;
    for (std::uint64_t slice = region.start;
         slice < region.end && scratch.written < privateMemoryCap; slice += residencySlice * page) {
        const std::uint64_t sliceEnd = std::min(region.end, slice + residencySlice * page);
        const std::uint64_t pages = (sliceEnd - slice) / page;
        if (mincore(reinterpret_cast<void *>(slice), sliceEnd - slice, resident) != 0)
            std::memset(resident, 1, pages);
        for (std::uint64_t i = 0; i < pages; ++i) {
            const std::uint64_t address = slice + i * page;
            // A page that the dump already holds in part (a stack, memory
            // around the fault) is left to that range.
            if (!(resident[i] & 1)
                || meets(address, address + page, scratch.roomStart, scratch.roomEnd)
                || overlapsOldRange(scratch, nearby, address, address + page))
                continue;
            if (address != runEnd) {
                appendRun(fd, scratch, runStart, runEnd - runStart);
                runStart = address;
            }
            runEnd = address + page;
        }
    }
    appendRun(fd, scratch, runStart, runEnd - runStart);
}

// The private read-write memory after what Breakpad wrote: the main heap
// first, then the other regions in address order, each page left out where a
// range of the dump (a stack) already covers it.
void appendPrivateMemory(int fd)
{
    Header header;
    if (!readFully(fd, &header, sizeof(header), 0) || header.streamCount > maxStreams)
        return;
    DirectoryEntry directory[maxStreams];
    if (!readFully(fd, directory, header.streamCount * sizeof(DirectoryEntry), header.directoryRva))
        return;
    std::uint32_t listEntry = header.streamCount;
    for (std::uint32_t i = 0; i < header.streamCount; ++i) {
        if (directory[i].type == memoryListStream)
            listEntry = i;
    }
    if (listEntry == header.streamCount)
        return;

    const std::size_t room = mapsRoom + maxDescriptors * sizeof(MemoryDescriptor);
    void *memory = mmap(nullptr, room, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return;
    Scratch scratch = {};
    scratch.roomStart = reinterpret_cast<std::uint64_t>(memory);
    scratch.roomEnd = scratch.roomStart + room;
    scratch.descriptors = static_cast<MemoryDescriptor *>(memory);
    scratch.maps = static_cast<char *>(memory) + maxDescriptors * sizeof(MemoryDescriptor);

    std::uint32_t oldCount = 0;
    if (!readFully(fd, &oldCount, sizeof(oldCount), directory[listEntry].rva)
        || oldCount > maxDescriptors / 2
        || !readFully(fd, scratch.descriptors, oldCount * sizeof(MemoryDescriptor),
                      directory[listEntry].rva + sizeof(oldCount)))
        return;
    scratch.count = scratch.oldCount = oldCount;
    scratch.fileEnd = static_cast<std::uint64_t>(lseek(fd, 0, SEEK_END));

    readMaps(scratch);
    for (bool mainHeap : {true, false}) {
        for (const char *line = scratch.maps; *line;) {
            Region region;
            if (parseRegion(line, region) && region.isMainHeap == mainHeap)
                appendRegion(fd, scratch, region);
            while (*line && *line != '\n')
                ++line;
            if (*line)
                ++line;
        }
    }

    // The new list, then the directory entry that names it.
    const std::uint64_t listAt = scratch.fileEnd;
    const std::uint32_t size = sizeof(std::uint32_t) + scratch.count * sizeof(MemoryDescriptor);
    if (listAt + size > 0xFFFFFFFFu
        || !writeFully(fd, &scratch.count, sizeof(scratch.count), listAt)
        || !writeFully(fd, scratch.descriptors, scratch.count * sizeof(MemoryDescriptor),
                       listAt + sizeof(scratch.count)))
        return;
    directory[listEntry].size = size;
    directory[listEntry].rva = static_cast<std::uint32_t>(listAt);
    writeFully(fd, &directory[listEntry], sizeof(DirectoryEntry),
               header.directoryRva + listEntry * sizeof(DirectoryEntry));
}

// The log's bytes pass through it on their way to the dump.
char s_logBuffer[64 * 1024];

// Where the first line that starts at or after from starts: after the first
// line feed from the byte before it; end where none does.
std::uint64_t nextLineStart(int log, std::uint64_t from, std::uint64_t end)
{
    for (std::uint64_t at = from - 1; at < end;) {
        const std::size_t got = transfer(
            pread, log, s_logBuffer,
            static_cast<std::size_t>(std::min<std::uint64_t>(sizeof(s_logBuffer), end - at)), at);
        if (!got)
            break;
        if (const void *lineFeed = std::memchr(s_logBuffer, '\n', got))
            return at
                   + static_cast<std::uint64_t>(static_cast<const char *>(lineFeed) - s_logBuffer)
                   + 1;
        at += got;
    }
    return end;
}

// Copies [from, end) of the log to the dump at the given place; the bytes
// copied.
std::uint64_t copyLog(int log, int fd, std::uint64_t from, std::uint64_t end, std::uint64_t at)
{
    std::uint64_t copied = 0;
    while (from + copied < end) {
        const std::size_t chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>(sizeof(s_logBuffer), end - from - copied));
        const std::size_t got = transfer(pread, log, s_logBuffer, chunk, from + copied);
        if (!got || !writeFully(fd, s_logBuffer, got, at + copied))
            break;
        copied += got;
    }
    return copied;
}

// The newest lines of the run's log, up to LogTailBytes from the start of a
// line, as one more stream; the directory, with that stream added, is
// written after it.
void appendLogTail(int fd)
{
    const int log = VLLogFile::CrashLogDescriptor();
    struct stat status;
    Header header;
    DirectoryEntry directory[maxStreams + 1];
    if (log < 0 || fstat(log, &status) != 0 || !readFully(fd, &header, sizeof(header), 0)
        || header.streamCount > maxStreams
        || !readFully(fd, directory, header.streamCount * sizeof(DirectoryEntry),
                      header.directoryRva))
        return;
    const std::uint64_t end = static_cast<std::uint64_t>(status.st_size);
    // The line cut by the tail's start is left out.
    const std::uint64_t from = end > LogTailBytes ? nextLineStart(log, end - LogTailBytes, end) : 0;
    const std::uint64_t tailAt = static_cast<std::uint64_t>(lseek(fd, 0, SEEK_END));
    if (tailAt + LogTailBytes + sizeof(directory) > 0xFFFFFFFFu)
        return;
    const std::uint64_t copied = copyLog(log, fd, from, end, tailAt);
    directory[header.streamCount] = {LogTailStream, static_cast<std::uint32_t>(copied),
                                     static_cast<std::uint32_t>(tailAt)};
    const std::uint32_t count = header.streamCount + 1;
    const std::uint64_t directoryAt = (tailAt + copied + 3) & ~std::uint64_t(3);
    if (!writeFully(fd, directory, count * sizeof(DirectoryEntry), directoryAt))
        return;
    // The count and the directory's place in one write: the old directory
    // stays valid until then.
    const std::uint32_t place[2] = {count, static_cast<std::uint32_t>(directoryAt)};
    writeFully(fd, place, sizeof(place), offsetof(Header, streamCount));
}

} // namespace

void PrepareMinidumpWriter()
{
    if (s_breakpad)
        return;
    // The descriptor is replaced by the dump's own file when one is written;
    // Breakpad installs no handler of its own.
    s_breakpad = new google_breakpad::ExceptionHandler(
        google_breakpad::MinidumpDescriptor(STDERR_FILENO), nullptr, nullptr, nullptr, false, -1);
}

BOOL MiniDumpWriteDump(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE dumpType,
                       const MINIDUMP_EXCEPTION_INFORMATION *exceptionParam, const void *,
                       const MINIDUMP_CALLBACK_INFORMATION *)
{
#if !defined(__x86_64__) && !defined(__aarch64__)
    return FALSE;
#else
    const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(file));
    // A dump asked for without the filter installed, outside any failure.
    PrepareMinidumpWriter();
    // One dump at a time: a second thread that fails meanwhile gets none.
    if (fd < 0 || s_writing.test_and_set())
        return FALSE;

    s_breakpad->set_minidump_descriptor(google_breakpad::MinidumpDescriptor(fd));
    bool written = false;
    if (exceptionParam && exceptionParam->ExceptionPointers) {
        const EXCEPTION_RECORD *record = exceptionParam->ExceptionPointers->ExceptionRecord;
        siginfo_t info;
        std::memset(&info, 0, sizeof(info));
        info.si_signo = static_cast<int>(record->ExceptionCode);
        info.si_code = static_cast<int>(record->ExceptionFlags);
        info.si_addr = record->ExceptionAddress;
        written = s_breakpad->HandleSignal(info.si_signo, &info,
                                           exceptionParam->ExceptionPointers->ContextRecord);
    } else {
        written = s_breakpad->WriteMinidump();
    }
    if (written && (dumpType & MiniDumpWithPrivateReadWriteMemory))
        appendPrivateMemory(fd);
    if (written)
        appendLogTail(fd);
    s_writing.clear();
    return written ? TRUE : FALSE;
#endif
}

} // namespace VLCrashRuntime

#endif // Q_OS_WIN
