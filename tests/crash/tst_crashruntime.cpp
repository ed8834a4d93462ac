// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "private/VLCrashRuntime_p.h"

#include <csignal>
#include <exception>
#include <iterator>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

using namespace VLCrashRuntime;

namespace {

int s_pipe = -1;

// Writes one byte to the parent: async-signal-safe, usable in handlers.
void say(char c)
{
    if (write(s_pipe, &c, 1) != 1)
        _exit(99);
}

// What a forked child of the test process said through its pipe, and how it
// ended: the signal that ended it, or minus its exit code. A child that does
// not end within the limit hung: it is killed and ends by SIGKILL.
struct ChildEnd
{
    int ending = 0;
    QByteArray said;
};

ChildEnd runInChild(void (*body)())
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
    int status = 0;
    bool ended = false;
    for (int waited = 0; waited < 3000 && !ended; ++waited) {
        ended = waitpid(child, &status, WNOHANG) == child;
        if (!ended)
            usleep(10000);
    }
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    end.ending = WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
    char buffer[256];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof(buffer))) > 0)
        end.said.append(buffer, got);
    close(fds[0]);
    return end;
}

int *volatile s_faultAddress = reinterpret_cast<int *>(0x10);

void faultAtKnownAddress()
{
    *s_faultAddress = 1;
}

void sayHandled(int signalNumber)
{
    say(static_cast<char>(signalNumber));
}

struct RuntimeCase
{
    const char *name;
    void (*body)();
    QByteArray said;
    int ending;
};

const RuntimeCase runtimeCases[] = {
    {"filter receives the fault",
     [] {
         SetUnhandledExceptionFilter([](EXCEPTION_POINTERS *pointers) -> LONG {
             const EXCEPTION_RECORD *record = pointers->ExceptionRecord;
             say(static_cast<char>(record->ExceptionCode));
             say(static_cast<char>(record->ExceptionFlags));
             say(record->ExceptionAddress == s_faultAddress ? 'A' : '?');
             say(pointers->ContextRecord ? 'C' : '?');
             return EXCEPTION_EXECUTE_HANDLER;
         });
         faultAtKnownAddress();
     },
     QByteArray() + char(SIGSEGV) + char(SEGV_MAPERR) + "AC", SIGSEGV},
    {"stuck filter ended by the watchdog",
     [] {
         SetUnhandledExceptionFilter([](EXCEPTION_POINTERS *) -> LONG {
             say('f');
             for (;;)
                 pause();
         });
         faultAtKnownAddress();
     },
     "f", SIGSEGV},
    {"fault inside the filter ends at once",
     [] {
         SetUnhandledExceptionFilter([](EXCEPTION_POINTERS *) -> LONG {
             say('f');
             faultAtKnownAddress();
             return EXCEPTION_EXECUTE_HANDLER;
         });
         faultAtKnownAddress();
     },
     "f", SIGSEGV},
    // Fault signals are handled per thread: a worker's SIGSEGV takes the
    // default action.
    {"fault signal of another thread",
     [] {
         VLCrashRuntime::signal(SIGSEGV, sayHandled);
         std::thread([] { std::raise(SIGSEGV); }).join();
         say('!');
     },
     "", SIGSEGV},
    // The handler is reset to the default before it runs.
    {"handler runs once",
     [] {
         VLCrashRuntime::signal(SIGFPE, sayHandled);
         std::raise(SIGFPE);
         say('-');
         std::raise(SIGFPE);
         say('!');
     },
     QByteArray() + char(SIGFPE) + '-', SIGFPE},
    {"process signal from any thread",
     [] {
         VLCrashRuntime::signal(SIGTERM, sayHandled);
         std::thread([] { std::raise(SIGTERM); }).join();
     },
     QByteArray(1, char(SIGTERM)), 0},
    // terminate() is per thread too (the handler tests see it called on
    // the thread that set it), and goes on to abort().
    {"terminate on another thread",
     [] {
         VLCrashRuntime::set_terminate([] { say('T'); });
         std::thread([] { std::terminate(); }).join();
     },
     "", SIGABRT},
    // unexpected() goes on to terminate(), and that to abort().
    {"unexpected goes on to terminate",
     [] {
         VLCrashRuntime::set_unexpected([] { say('u'); });
         VLCrashRuntime::set_terminate([] { say('T'); });
         VLCrashRuntime::unexpected();
     },
     "uT", SIGABRT},
};

} // namespace

class TestCrashRuntime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runtime_data()
    {
        QTest::addColumn<int>("index");
        for (int index = 0; index < int(std::size(runtimeCases)); ++index)
            QTest::newRow(runtimeCases[index].name) << index;
    }

    void runtime()
    {
        QFETCH(int, index);
        const RuntimeCase &expected = runtimeCases[index];
        const ChildEnd end = runInChild(expected.body);
        QCOMPARE(end.said, expected.said);
        QCOMPARE(end.ending, expected.ending);
    }
};

VELA_TEST_MAIN(TestCrashRuntime)
#include "tst_crashruntime.moc"
