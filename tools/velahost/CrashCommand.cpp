// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostCommand.h"
#include "HostSession.h"

#include "GlobalApplicationData.h"
#include "private/VLCrashRuntime_p.h"
#include "private/VLLogFile_p.h"
#include "private/VLLogLine_p.h"

#include <QCommandLineParser>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>
#include <stdexcept>
#include <thread>

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

// The log mutex of a write on a worker thread stays taken for good.
void stallForever()
{
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

int raiseSignal(int signalNumber)
{
    std::raise(signalNumber);
    return 0;
}

void raiseInt()
{
    raiseSignal(SIGINT);
}

// A worker gets stuck inside a log write for good, then the main thread
// faults.
int faultWhileWorkerStalls(void (*worker)())
{
    VLLogFile::SetLockedWriteHook(stallForever);
    std::thread(worker).detach();
    // Until the worker is inside its write.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
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
        {QStringLiteral("null-write-in-log"),
         {"write through a null pointer while holding the log mutex",
          [] {
              VLLogFile::SetLockedWriteHook(writeThroughNull);
              logALine();
              return 0;
          }}},
        {QStringLiteral("null-write-in-handler"),
         {"write through a null pointer inside the SIGINT handler, holding the crash lock",
          [] {
              VLLogFile::SetLockedWriteHook(writeThroughNull);
              return raiseSignal(SIGINT);
          }}},
        {QStringLiteral("null-write-log-stalled"),
         {"write through a null pointer while a worker holds the log mutex for good",
          [] { return faultWhileWorkerStalls(logALine); }}},
        {QStringLiteral("null-write-handler-stalled"),
         {"write through a null pointer while a worker holds the crash lock for good",
          [] { return faultWhileWorkerStalls(raiseInt); }}},
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

VELAHOST_COMMAND(crash, "crash", "crash KIND [--after-release]",
                 "Start the library as the editor does, then fail in the given way.")
{
    QCommandLineParser parser;
    const QCommandLineOption afterRelease(
        QStringLiteral("after-release"),
        QStringLiteral("Fail after the application data object is gone."));
    const QStringList positional = ParseHostArguments(
        parser, context, QStringLiteral("Fail in a given way.\n\n") + kindList(),
        {{QStringLiteral("kind"), QStringLiteral("How to fail.")}}, {afterRelease});
    const auto kind = positional.size() == 1 ? kinds().find(positional.first()) : kinds().end();
    if (kind == kinds().end()) {
        context.err << "velahost crash: name one kind\n\n" << kindList();
        return 2;
    }

    const HostSession session;
    if (parser.isSet(afterRelease))
        GlobalApplicationData::ReleaseInstance();
    context.out.flush();
    const int status = kind->second.run();
    context.out << "velahost crash: the process went on after " << kind->first << '\n';
    return status;
}
