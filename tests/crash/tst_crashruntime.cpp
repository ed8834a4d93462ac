// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "private/VLCrashRuntime_p.h"

#include <csignal>
#include <exception>
#include <functional>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

using namespace VLCrashRuntime;

namespace {

// What a child process told through its pipe, and how it ended.
struct ChildEnd
{
    bool ended = false;
    int signalNumber = 0; // 0: it exited
    int exitCode = -1;
    QByteArray said;
};

int s_pipe = -1;

// Writes one byte to the parent: async-signal-safe, usable in handlers.
void say(char c)
{
    if (write(s_pipe, &c, 1) != 1)
        _exit(99);
}

// Runs a body in a forked child of the test process; a child that does not
// end within the limit counts as hung and is killed.
ChildEnd runInChild(const std::function<void()> &body)
{
    ChildEnd end;
    int fds[2];
    if (pipe(fds) != 0)
        return end;
    const pid_t child = fork();
    if (child == 0) {
        // The child starts without the test framework's own crash handlers.
        for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber)
            std::signal(signalNumber, SIG_DFL);
        close(fds[0]);
        s_pipe = fds[1];
        body();
        _exit(0);
    }
    close(fds[1]);
    char buffer[256];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof(buffer))) > 0)
        end.said.append(buffer, got);
    close(fds[0]);

    int status = 0;
    for (int waited = 0; waited < 3000; ++waited) {
        if (waitpid(child, &status, WNOHANG) == child) {
            end.ended = true;
            end.signalNumber = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            end.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return end;
        }
        usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return end;
}

int *volatile s_faultAddress = reinterpret_cast<int *>(0x10);

void faultAtKnownAddress()
{
    *s_faultAddress = 1;
}

LONG reportRecord(EXCEPTION_POINTERS *pointers)
{
    const EXCEPTION_RECORD *record = pointers->ExceptionRecord;
    say(static_cast<char>(record->ExceptionCode));
    say(static_cast<char>(record->ExceptionFlags));
    say(record->ExceptionAddress == s_faultAddress ? 'A' : '?');
    say(pointers->ContextRecord ? 'C' : '?');
    return EXCEPTION_EXECUTE_HANDLER;
}

LONG neverReturn(EXCEPTION_POINTERS *)
{
    say('f');
    for (;;)
        pause();
}

LONG faultAgain(EXCEPTION_POINTERS *)
{
    say('f');
    faultAtKnownAddress();
    return EXCEPTION_EXECUTE_HANDLER;
}

void sayHandled(int signalNumber)
{
    say(static_cast<char>(signalNumber));
}

void sayTerminate()
{
    say('T');
}

} // namespace

class TestCrashRuntime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void filterReceivesTheFault();
    void stuckFilterEndedByWatchdog();
    void faultInsideFilterEndsAtOnce();
    void faultSignalsPerThread();
    void handlerResetBeforeItRuns();
    void processSignalsFromAnyThread();
    void terminatePerThread_data();
    void terminatePerThread();
    void runtimeEntryPoints();
};

void TestCrashRuntime::filterReceivesTheFault()
{
    const ChildEnd end = runInChild([] {
        SetUnhandledExceptionFilter(reportRecord);
        faultAtKnownAddress();
    });
    QVERIFY(end.ended);
    QCOMPARE(end.signalNumber, SIGSEGV);
    QCOMPARE(end.said, QByteArray() + char(SIGSEGV) + char(SEGV_MAPERR) + 'A' + 'C');
}

void TestCrashRuntime::stuckFilterEndedByWatchdog()
{
    const ChildEnd end = runInChild([] {
        SetUnhandledExceptionFilter(neverReturn);
        faultAtKnownAddress();
    });
    QVERIFY2(end.ended, "the process hung in its filter");
    QCOMPARE(end.said, QByteArray("f"));
    QCOMPARE(end.signalNumber, SIGSEGV);
}

void TestCrashRuntime::faultInsideFilterEndsAtOnce()
{
    const ChildEnd end = runInChild([] {
        SetUnhandledExceptionFilter(faultAgain);
        faultAtKnownAddress();
    });
    QVERIFY(end.ended);
    QCOMPARE(end.said, QByteArray("f"));
    QCOMPARE(end.signalNumber, SIGSEGV);
}

void TestCrashRuntime::faultSignalsPerThread()
{
    // Registered on the main thread only: a worker's SIGSEGV takes the
    // default action.
    const ChildEnd end = runInChild([] {
        VLCrashRuntime::signal(SIGSEGV, sayHandled);
        std::thread([] { std::raise(SIGSEGV); }).join();
        say('!');
    });
    QVERIFY(end.ended);
    QCOMPARE(end.signalNumber, SIGSEGV);
    QCOMPARE(end.said, QByteArray());
}

void TestCrashRuntime::handlerResetBeforeItRuns()
{
    const ChildEnd end = runInChild([] {
        VLCrashRuntime::signal(SIGFPE, sayHandled);
        std::raise(SIGFPE);
        say('-');
        std::raise(SIGFPE);
        say('!');
    });
    QVERIFY(end.ended);
    QCOMPARE(end.said, QByteArray() + char(SIGFPE) + '-');
    QCOMPARE(end.signalNumber, SIGFPE);
}

void TestCrashRuntime::processSignalsFromAnyThread()
{
    const ChildEnd end = runInChild([] {
        VLCrashRuntime::signal(SIGTERM, sayHandled);
        std::thread([] { std::raise(SIGTERM); }).join();
    });
    QVERIFY(end.ended);
    QCOMPARE(end.signalNumber, 0);
    QCOMPARE(end.said, QByteArray(1, char(SIGTERM)));
}

void TestCrashRuntime::terminatePerThread_data()
{
    QTest::addColumn<bool>("onWorker");
    QTest::addColumn<QByteArray>("said");
    QTest::newRow("thread that set it") << false << QByteArray("T");
    QTest::newRow("other thread") << true << QByteArray();
}

void TestCrashRuntime::terminatePerThread()
{
    QFETCH(bool, onWorker);
    QFETCH(QByteArray, said);
    const ChildEnd end = runInChild([onWorker] {
        VLCrashRuntime::set_terminate(sayTerminate);
        if (onWorker)
            std::thread([] { std::terminate(); }).join();
        else
            std::terminate();
    });
    QVERIFY(end.ended);
    QCOMPARE(end.said, said);
    // Then the runtime's course: abort.
    QCOMPARE(end.signalNumber, SIGABRT);
}

void TestCrashRuntime::runtimeEntryPoints()
{
    const ChildEnd end = runInChild([] {
        VLCrashRuntime::_set_invalid_parameter_handler(
            [](const wchar_t *, const wchar_t *, const wchar_t *, unsigned int line,
               std::uintptr_t) { say(static_cast<char>(line)); });
        VLCrashRuntime::_invalid_parameter(nullptr, nullptr, nullptr, 'i', 0);
        VLCrashRuntime::set_unexpected([] { say('u'); });
        VLCrashRuntime::set_terminate(sayTerminate);
        VLCrashRuntime::unexpected();
    });
    QVERIFY(end.ended);
    // unexpected() goes on to terminate(), and that to abort().
    QCOMPARE(end.said, QByteArray("iuT"));
    QCOMPARE(end.signalNumber, SIGABRT);
}

VELA_TEST_MAIN(TestCrashRuntime)
#include "tst_crashruntime.moc"
