// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace VelaTest {

static QtMessageHandler s_testHandler = nullptr;

void CaptureTestMessageHandler()
{
    qInstallMessageHandler(s_testHandler = qInstallMessageHandler(nullptr));
}

void RestoreTestMessageHandler()
{
    qInstallMessageHandler(s_testHandler);
}

Sandbox::Sandbox()
    : m_dir(QDir::tempPath() + QStringLiteral("/vela-test-XXXXXX"))
{
    if (!m_dir.isValid())
        qFatal("cannot create the test sandbox");
    const QString root = m_dir.path();
    for (const char *folder : {"home", "tmp", "work", "config", "cache", "data"})
        QDir(root).mkpath(QString::fromLatin1(folder));
    qputenv("LOCALAPPDATA", QFile::encodeName(root + QStringLiteral("/local")));
    qputenv("HOME", QFile::encodeName(root + QStringLiteral("/home")));
    qputenv("TMPDIR", QFile::encodeName(root + QStringLiteral("/tmp")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(root + QStringLiteral("/cache")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + QStringLiteral("/data")));
    QDir::setCurrent(root + QStringLiteral("/work"));
    s_current = this;
}

Sandbox::~Sandbox()
{
    // Leave the folder before it is removed.
    QDir::setCurrent(QDir::rootPath());
    s_current = nullptr;
}

QString Sandbox::MakeFolder(const QString &relativePath) const
{
    const QString path = m_dir.path() + QLatin1Char('/') + relativePath;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

ChildResult RunChild(const QString &program, const QStringList &arguments,
                     const QProcessEnvironment &environment, const QString &workingDirectory,
                     int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory); // empty: the test's own
    process.start(program, arguments);
    const bool started = process.waitForStarted(10000);
    process.closeWriteChannel();
    if (!started || !process.waitForFinished(timeoutMs)) {
        qWarning("%s: %s", qPrintable(program), qPrintable(process.errorString()));
        process.kill();
        process.waitForFinished(5000);
        // A program that never started did not crash either.
        return {-1, started ? QProcess::CrashExit : QProcess::NormalExit, {}, {}};
    }
    return {process.exitCode(), process.exitStatus(), process.readAllStandardOutput(),
            process.readAllStandardError()};
}

QProcessEnvironment WithLocalAppData(const QString &folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LOCALAPPDATA"), folder);
    return environment;
}

ChildResult RunHost(const QStringList &arguments, const QString &localAppData)
{
    return RunChild(AppFolder() + QStringLiteral("/velahost"), arguments,
                    localAppData.isEmpty() ? QProcessEnvironment::systemEnvironment()
                                           : WithLocalAppData(localAppData));
}

QStringList TestArguments()
{
    QStringList arguments = QCoreApplication::arguments();
#if defined(__SANITIZE_THREAD__)
    // The option that QtTest gives its benchmark child under callgrind: it
    // runs the tests as usual, without the watchdog.
    arguments << QStringLiteral("-callgrindchild");
#endif
    return arguments;
}

bool RunThreads(int count, const std::function<void(int)> &body, int timeoutMs)
{
    // Finishing is counted on an atomic and polled: a condition variable's
    // timed wait goes through calls that ThreadSanitizer does not always see
    // take the mutex back, and it would report the count as a race.
    auto finished = std::make_shared<std::atomic<int>>(0);
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([finished, body, i] {
            body(i);
            finished->fetch_add(1);
        });
    for (QDeadlineTimer deadline(timeoutMs); finished->load() < count && !deadline.hasExpired();)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const bool ended = finished->load() == count;
    for (std::thread &thread : threads)
        ended ? thread.join() : thread.detach();
    return ended;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray RunLog(const QString &dataFolder)
{
    const QDir logs(dataFolder + QStringLiteral("logs"));
    const QStringList files = logs.entryList(QStringList(QStringLiteral("*.txt")), QDir::Files);
    return files.size() == 1 ? ReadFile(logs.filePath(files.first())) : QByteArray();
}

QByteArray BigEndian(quint32 value)
{
    const quint32 bigEndian = qToBigEndian(value);
    return QByteArray(reinterpret_cast<const char *>(&bigEndian), 4);
}

QByteArray StreamString(const QString &text)
{
    QByteArray bytes = BigEndian(text.isNull() ? 0xffffffff : quint32(text.size()) * 2);
    for (const QChar c : text)
        bytes.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
    return bytes;
}

} // namespace VelaTest
