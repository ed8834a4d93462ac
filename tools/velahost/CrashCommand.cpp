// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostCommand.h"
#include "HostSession.h"

#include "GlobalApplicationData.h"
#include "private/VLCrashRuntime_p.h"
#include "private/VLLogFile_p.h"
#include "private/VLLogLine_p.h"

#include <QCommandLineParser>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <stdio.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

// A real pure virtual call: the base's constructor calls the function while
// the object is still only a base. The classes have external linkage, so the
// compiler cannot know every override and call the one it sees directly.
namespace velahost {

class Shape
{
public:
    Shape();
    virtual ~Shape() = default;
    virtual int Corners() const = 0;
};

class Triangle : public Shape
{
public:
    int Corners() const override { return 3; }
};

const Shape *volatile shapeUnderConstruction = nullptr;

[[gnu::noinline]] int countCornersUnderConstruction()
{
    return shapeUnderConstruction->Corners();
}

Shape::Shape()
{
    shapeUnderConstruction = this;
    countCornersUnderConstruction();
}

} // namespace velahost

namespace {

// Read through volatile objects, so that the compiler neither sees the
// failure coming nor removes it.
int *volatile s_nowhere = nullptr;
volatile int s_zero = 0;
volatile int s_seven = 7;
volatile bool s_bottomless = true;

void writeThroughNull()
{
    *s_nowhere = 1;
}

// A mapped page of an empty file: reading it raises SIGBUS.
int readPastFileEnd()
{
    FILE *const empty = tmpfile();
    const auto *page = static_cast<const volatile char *>(
        empty ? mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fileno(empty), 0) : MAP_FAILED);
    return page == MAP_FAILED ? 1 : page[0];
}

int recurseForever(int depth)
{
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    if (!s_bottomless)
        return frame[0];
    return recurseForever(depth + 1) + frame[0];
}

[[noreturn]] void throwError()
{
    throw std::runtime_error("thrown out of a noexcept function");
}

void promisesNotToThrow() noexcept
{
    throwError();
}

void logALine()
{
    VL_LOG(QStringLiteral("velahost writes a line"));
}

// Set once a worker is inside the log write that it holds up for a while.
std::atomic<bool> s_stalling{false};

// The log mutex of a write on a worker thread stays taken for good.
void stallForever()
{
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

// The first write that takes the log mutex keeps it for a second.
void stallOnce()
{
    if (!s_stalling.exchange(true))
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

int raiseSignal(int signalNumber)
{
    std::raise(signalNumber);
    return 0;
}

// glibc finds the heap corrupt while it holds the heap's lock, and calls
// abort(): a chunk too big for the fast bins is freed twice once the
// thread cache of its size is full, with a second thread alive.
// Called through volatile pointers, so that the compiler leaves the pairs
// of calls in.
void *(*volatile s_allocate)(std::size_t) = std::malloc;
void (*volatile s_release)(void *) = std::free;

int doubleFreeHoldingHeapLock()
{
    std::thread alive([] { std::this_thread::sleep_for(std::chrono::hours(1)); });
    alive.detach();
    void *cached[8];
    for (void *&chunk : cached)
        chunk = s_allocate(512);
    void *victim = s_allocate(512);
    void *keepFromTop = s_allocate(512);
    for (void *chunk : cached)
        s_release(chunk);
    s_release(victim);
    s_release(victim);
    s_release(keepFromTop);
    return 0;
}

// The editor's own message handler fails while a line is logged.
QtMessageHandler s_libraryHandler = nullptr;

void faultingMessageHandler(QtMsgType type, const QMessageLogContext &context,
                            const QString &message)
{
    s_libraryHandler(type, context, message);
    writeThroughNull();
}

int faultInMessageHandler()
{
    s_libraryHandler = qInstallMessageHandler(faultingMessageHandler);
    logALine();
    return 0;
}

// Threads that wait for ever, each on its own small stack use, a block of
// private memory with markers at its start and in its middle, another marker
// in the main heap, a block that is hardly touched, and numbered log lines,
// before the failure; the markers' addresses are printed for the tests to
// read back from the dump.
void prepareProcess(int threads, bool blockSignals, int heapMegabytes, int untouchedMegabytes,
                    int logLines, QTextStream &out)
{
    for (int i = 0; i < logLines; ++i)
        qDebug("velahost log line %d of %d before the failure", i + 1, logLines);
    for (int i = 0; i < threads; ++i) {
        std::thread([blockSignals] {
            if (blockSignals) {
                sigset_t all;
                sigfillset(&all);
                pthread_sigmask(SIG_BLOCK, &all, nullptr);
            }
            for (;;)
                std::this_thread::sleep_for(std::chrono::hours(1));
        }).detach();
    }
    if (heapMegabytes > 0) {
        // A mapping of its own, after a page that cannot be read: the block
        // starts a region of the process, whose first page is where a dump
        // most easily loses one. A marker there and one in the middle.
        const std::size_t size = std::size_t(heapMegabytes) << 20;
        const auto page = std::size_t(sysconf(_SC_PAGESIZE));
        auto *heap = static_cast<char *>(
                         mmap(nullptr, page + size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))
                     + page;
        mprotect(heap, size, PROT_READ | PROT_WRITE);
        for (std::size_t i = 0; i < size; ++i)
            heap[i] = static_cast<char>('a' + i % 26);
        static const char marker[] = "velahost heap marker";
        std::memcpy(heap + size / 2, marker, sizeof(marker));
        std::memcpy(heap, marker, sizeof(marker));
        // A small block lies in the main heap, which the dump writes first.
        const char *const small = strdup("velahost main heap marker");
        out << "heap markers at 0x" << QString::number(quintptr(heap + size / 2), 16) << " 0x"
            << QString::number(quintptr(heap), 16) << " 0x" << QString::number(quintptr(small), 16)
            << '\n';
    }
    if (untouchedMegabytes > 0) {
        // Of this block only the first and the last page are ever touched.
        const std::size_t size = std::size_t(untouchedMegabytes) << 20;
        auto *block = static_cast<volatile char *>(std::malloc(size));
        block[0] = block[size - 1] = 1;
    }
    // The moment of the failure, for the benchmark that times the handler.
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    out << "failing at " << qint64(now.tv_sec) * 1000000000 + now.tv_nsec << " ns\n";
    out.flush();
}

// A worker gets stuck inside a log write (for good, unless told otherwise),
// then the main thread faults.
int faultWhileWorkerStalls(void (*worker)(), void (*stall)() = stallForever)
{
    VLLogFile::SetLockedWriteHook(stall);
    std::thread(worker).detach();
    // Until the worker is inside its write.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    while (stall == stallOnce && !s_stalling)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    writeThroughNull();
    return 0;
}

struct Kind
{
    const char *summary;
    std::function<int()> run;
};

const std::map<QString, Kind> &kinds()
{
    static const std::map<QString, Kind> table = {
        {QStringLiteral("null-write"),
         {"write through a null pointer on the main thread",
          [] {
              writeThroughNull();
              return 0;
          }}},
        {QStringLiteral("worker-null-write"),
         {"write through a null pointer on a worker thread",
          [] {
              std::thread(writeThroughNull).join();
              return 0;
          }}},
        {QStringLiteral("stack-overflow"),
         {"recurse until the stack is gone", [] { return recurseForever(0); }}},
        {QStringLiteral("thread-stack-overflow"),
         {"recurse until the stack is gone on a std::thread that installed nothing",
          [] {
              std::thread([] { recurseForever(0); }).join();
              return 0;
          }}},
        {QStringLiteral("double-free"),
         {"free a heap chunk twice, so that glibc aborts holding the heap lock",
          doubleFreeHoldingHeapLock}},
        {QStringLiteral("null-write-in-message-handler"),
         {"write through a null pointer inside the editor's own message handler",
          faultInMessageHandler}},
        {QStringLiteral("bus-error"),
         {"read a mapped page past the end of its file", readPastFileEnd}},
        {QStringLiteral("divide-by-zero"),
         {"integer division by zero", [] { return s_seven / s_zero; }}},
        {QStringLiteral("abort"),
         {"call abort()",
          [] {
              std::abort();
              return 0;
          }}},
        {QStringLiteral("raise-abrt"), {"raise SIGABRT", [] { return raiseSignal(SIGABRT); }}},
        {QStringLiteral("raise-int"), {"raise SIGINT", [] { return raiseSignal(SIGINT); }}},
        {QStringLiteral("raise-int-twice"),
         {"raise SIGINT twice: the handler is reset to the default after the first",
          [] { return raiseSignal(SIGINT) + raiseSignal(SIGINT); }}},
        {QStringLiteral("raise-term"), {"raise SIGTERM", [] { return raiseSignal(SIGTERM); }}},
        {QStringLiteral("raise-fpe"), {"raise SIGFPE", [] { return raiseSignal(SIGFPE); }}},
        {QStringLiteral("raise-ill"), {"raise SIGILL", [] { return raiseSignal(SIGILL); }}},
        {QStringLiteral("raise-segv"), {"raise SIGSEGV", [] { return raiseSignal(SIGSEGV); }}},
        {QStringLiteral("terminate"),
         {"throw out of a noexcept function",
          [] {
              promisesNotToThrow();
              return 0;
          }}},
        {QStringLiteral("thread-terminate"),
         {"throw out of a noexcept function on a std::thread that installed nothing",
          [] {
              std::thread(promisesNotToThrow).join();
              return 0;
          }}},
        {QStringLiteral("unexpected"),
         {"call the runtime's unexpected()",
          [] {
              VLCrashRuntime::unexpected();
              return 0;
          }}},
        {QStringLiteral("pure-call"),
         {"call the runtime's pure-call entry",
          [] {
              VLCrashRuntime::_purecall();
              return 0;
          }}},
        {QStringLiteral("pure-virtual-call"),
         {"call a pure virtual function",
          [] {
              const velahost::Triangle triangle;
              return triangle.Corners();
          }}},
        {QStringLiteral("invalid-parameter"),
         {"report an invalid parameter to the runtime",
          [] {
              VLCrashRuntime::_invalid_parameter(L"destination != nullptr", L"strcpy_s",
                                                 L"tools\\velahost\\CrashCommand.cpp", 42, 0);
              return 0;
          }}},
        {QStringLiteral("invalid-parameter-long"),
         {"report an invalid parameter longer than the report takes on a worker, then "
          "interrupt the main thread",
          [] {
              std::thread([] {
                  const std::wstring expression(512, L'\u00e9');
                  VLCrashRuntime::_invalid_parameter(expression.c_str(), L"f\u0080\u0800",
                                                     L"g\U00010000", 1, 0);
              }).join();
              return raiseSignal(SIGINT);
          }}},
        {QStringLiteral("divide-by-zero-filter-hangs"),
         {"integer division by zero with a fault filter that never returns; a worker faults "
          "two seconds later",
          [] {
              VLCrashRuntime::SetUnhandledExceptionFilter(
                  [](VLCrashRuntime::EXCEPTION_POINTERS *) -> VLCrashRuntime::LONG {
                      stallForever();
                      return 0;
                  });
              std::thread([] {
                  std::this_thread::sleep_for(std::chrono::seconds(2));
                  writeThroughNull();
              }).detach();
              return s_seven / s_zero;
          }}},
        {QStringLiteral("divide-by-zero-filter-faults"),
         {"integer division by zero with a fault filter that writes through a null pointer",
          [] {
              VLCrashRuntime::SetUnhandledExceptionFilter(
                  [](VLCrashRuntime::EXCEPTION_POINTERS *) -> VLCrashRuntime::LONG {
                      static const char entered[] = "velahost: the filter runs\n";
                      (void)!write(STDOUT_FILENO, entered, sizeof(entered) - 1);
                      writeThroughNull();
                      return 0;
                  });
              return s_seven / s_zero;
          }}},
        {QStringLiteral("null-write-in-log"),
         {"write through a null pointer while holding the log mutex",
          [] {
              VLLogFile::SetLockedWriteHook(writeThroughNull);
              logALine();
              return 0;
          }}},
        {QStringLiteral("null-write-log-stalled"),
         {"write through a null pointer while a worker holds the log mutex for good",
          [] { return faultWhileWorkerStalls(logALine); }}},
        {QStringLiteral("null-write-log-slow"),
         {"write through a null pointer while a worker's log write takes a second",
          [] { return faultWhileWorkerStalls(logALine, stallOnce); }}},
        {QStringLiteral("null-write-together"),
         {"write through a null pointer on eight threads at once",
          [] {
              std::atomic<int> ready{0};
              std::vector<std::thread> workers;
              for (int i = 0; i < 8; ++i)
                  workers.emplace_back([&ready] {
                      for (++ready; ready < 8;)
                          std::this_thread::yield();
                      writeThroughNull();
                  });
              for (std::thread &worker : workers)
                  worker.join();
              return 0;
          }}},
    };
    return table;
}

QString kindList()
{
    QString text = QStringLiteral("Kinds:\n");
    for (const auto &kind : kinds())
        text +=
            QStringLiteral("  %1\n      %2\n").arg(kind.first, QLatin1String(kind.second.summary));
    return text;
}

} // namespace

VELAHOST_COMMAND(crash, "crash",
                 "crash KIND [--after-release | --unstarted] [--threads N [--block-signals]] "
                 "[--heap MB] [--untouched MB] [--log-lines N]",
                 "Start the library as the editor does, then fail in the given way.")
{
    QCommandLineParser parser;
    const QCommandLineOption afterRelease(
        QStringLiteral("after-release"),
        QStringLiteral("Fail after the application data object is gone."));
    const QCommandLineOption unstarted(
        QStringLiteral("unstarted"),
        QStringLiteral("Fail without starting the library: no handler is installed."));
    const QCommandLineOption threads(QStringLiteral("threads"),
                                     QStringLiteral("Start N idle threads first."),
                                     QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption blockSignals(QStringLiteral("block-signals"),
                                          QStringLiteral("The idle threads block every signal."));
    const QCommandLineOption heap(
        QStringLiteral("heap"),
        QStringLiteral("Fill a block of MB megabytes of private memory first."),
        QStringLiteral("MB"), QStringLiteral("0"));
    const QCommandLineOption untouched(
        QStringLiteral("untouched"),
        QStringLiteral("Take MB megabytes of heap first, touching its ends only."),
        QStringLiteral("MB"), QStringLiteral("0"));
    const QCommandLineOption logLines(QStringLiteral("log-lines"),
                                      QStringLiteral("Write N lines to the log first."),
                                      QStringLiteral("N"), QStringLiteral("0"));
    const QStringList positional = ParseHostArguments(
        parser, context, QStringLiteral("Fail in a given way.\n\n") + kindList(),
        {{QStringLiteral("kind"), QStringLiteral("How to fail.")}},
        {afterRelease, unstarted, threads, blockSignals, heap, untouched, logLines});
    const auto kind = positional.size() == 1 ? kinds().find(positional.first()) : kinds().end();
    if (kind == kinds().end()) {
        context.err << "velahost crash: name one kind\n\n" << kindList();
        return 2;
    }

    std::optional<HostSession> session;
    if (!parser.isSet(unstarted))
        session.emplace();
    if (parser.isSet(afterRelease))
        GlobalApplicationData::ReleaseInstance();
    prepareProcess(parser.value(threads).toInt(), parser.isSet(blockSignals),
                   parser.value(heap).toInt(), parser.value(untouched).toInt(),
                   parser.value(logLines).toInt(), context.out);
    const int status = kind->second.run();
    context.out << "velahost crash: the process went on after " << kind->first << '\n';
    return status;
}
