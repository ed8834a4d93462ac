// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELATESTSUPPORT_H
#define VELATESTSUPPORT_H

// Test programs take all of QtCore and QtTest from here.
#include <QtTest>

#include <functional>

namespace VelaTest {

// A private world for one test program: LOCALAPPDATA, HOME, TMPDIR and the
// XDG folders point into a fresh temporary folder, and the working directory
// is a folder inside it. Made before the QCoreApplication, so nothing of the
// test ever reaches the real home folder. Child processes inherit it.
class Sandbox
{
public:
    Sandbox();
    ~Sandbox();

    static Sandbox *Current() { return s_current; }

    QString Root() const { return m_dir.path(); }
    //! The value of LOCALAPPDATA: "<root>/local" (not created).
    QString LocalAppData() const { return m_dir.path() + QStringLiteral("/local"); }
    //! A new empty folder below the root.
    QString MakeFolder(const QString &relativePath) const;

private:
    static inline Sandbox *s_current = nullptr;
    QTemporaryDir m_dir;
};

//! Folder of the test's executable: the built application folder.
inline QString AppFolder()
{
    return QCoreApplication::applicationDirPath();
}

//! Runs a program to its end; fails the test on a start failure or time-out.
struct ChildResult
{
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::NormalExit;
    QByteArray standardOutput, standardError;
};
ChildResult
RunChild(const QString &program, const QStringList &arguments,
         const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
         const QString &workingDirectory = QString(), int timeoutMs = 60000);

//! The environment of a child process with its own LOCALAPPDATA.
QProcessEnvironment WithLocalAppData(const QString &folder);
//! Runs the host tool of the application folder, with the sandbox's
//! LOCALAPPDATA or the given one.
ChildResult RunHost(const QStringList &arguments, const QString &localAppData = QString());

//! The library replaces the process's message handler when it registers its
//! log and again when it is released. Capture QtTest's own handler in
//! initTestCase() and restore it in init(), so that QTest::ignoreMessage()
//! works in every test function.
void CaptureTestMessageHandler();
void RestoreTestMessageHandler();

//! Runs body(0), ..., body(count - 1) at once, each on a std::thread of its
//! own; false when they have not all ended in time (a deadlock), in which
//! case they are left behind. Plain threads, so that ThreadSanitizer sees
//! every start and end.
bool RunThreads(int count, const std::function<void(int)> &body, int timeoutMs = 120000);

//! The test program's arguments for QTest::qExec(). Under ThreadSanitizer
//! QtTest's watchdog thread is left out: it is a QThread, whose end is
//! handed over through QMutex, which the sanitizer cannot see, so it reports
//! a race on every run where the watchdog ends before it is waited for.
QStringList TestArguments();

//! Reads a whole file; an empty array if it cannot be read.
inline QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
//! Writes a whole file, creating its folder; false on failure.
bool WriteFile(const QString &path, const QByteArray &bytes);
//! The one log file of a run in <dataFolder>logs; empty unless there is
//! exactly one.
QByteArray RunLog(const QString &dataFolder);
//! The end of the library's log line for a message of a source file, as the
//! log file holds it: file="<source>". <message>" and a line break.
inline QByteArray LogLine(const QByteArray &sourceFile, const QByteArray &message)
{
    return "file=\"" + sourceFile + "\". " + message + "\" \n";
}

//! QDataStream's forms: a big-endian quint32, and a string as its byte count
//! and UTF-16BE (0xffffffff for a null string).
QByteArray BigEndian(quint32 value);
QByteArray StreamString(const QString &text);

} // namespace VelaTest

// main() of a test program: the sandbox first, then the application object,
// then the test class.
#define VELA_TEST_MAIN(TestClass)                                                                  \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        VelaTest::Sandbox sandbox;                                                                 \
        QCoreApplication app(argc, argv);                                                          \
        TestClass test;                                                                            \
        return QTest::qExec(&test, VelaTest::TestArguments());                                     \
    }

#endif // VELATESTSUPPORT_H
