// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The crash handler: from the fault to the end of the process (log lines,
// the dump with its heap written, the editor started again) in editors of
// 1 to 301 threads (blocking every signal but the failing one) and heaps of
// 0 to 1024 MB; the figure is the one with 300 threads and a 200 MB heap,
// against write(2) of the same number of bytes as its dump. Both sides
// start each run with the writes of the runs before it on the disk.

#include "BenchFigures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace {

// The size of the last dump of each shape of editor (threads, heap), which
// the floor writes whichever runs first.
std::map<std::pair<int, int>, qint64> &dumpBytes()
{
    static std::map<std::pair<int, int>, qint64> bytes;
    return bytes;
}

qint64 monotonicNs()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// One crash of the stand-in editor in a folder of its own; the seconds from
// its fault to its end, or a negative value when it did not crash as meant.
double crashOnce(const QTemporaryDir &world, int threads, int heapMegabytes)
{
    QByteArray threadCount = QByteArray::number(threads);
    QByteArray heapSize = QByteArray::number(heapMegabytes);
    const char *const arguments[] = {"velahost",
                                     "crash",
                                     "null-write",
                                     "--threads",
                                     threadCount.constData(),
                                     "--heap",
                                     heapSize.constData(),
                                     "--block-signals",
                                     nullptr};
    const QByteArray local = QFile::encodeName(world.filePath(QStringLiteral("local")));
    const QByteArray bin = QFile::encodeName(world.filePath(QStringLiteral("bin")));
    QDir().mkpath(QString::fromLocal8Bit(bin));
    // The editor started again does nothing.
    QFile editor(QString::fromLocal8Bit(bin) + QStringLiteral("/Application.exe"));
    if (editor.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        editor.write("#!/bin/sh\nexit 0\n");
        editor.close();
        editor.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QByteArrayList variables = {"LOCALAPPDATA=" + local, "PATH=" + bin + ':' + qgetenv("PATH"),
                                "HOME=" + local};
    std::vector<char *> environment;
    for (QByteArray &variable : variables)
        environment.push_back(variable.data());
    environment.push_back(nullptr);

    // Each run starts with the files of the runs before it written back: a
    // dump would otherwise wait for the disk to take theirs, and the figure
    // would measure the order of the runs.
    ::sync();
    int out[2];
    if (pipe(out) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const QByteArray program =
        QFile::encodeName(QCoreApplication::applicationDirPath() + QStringLiteral("/velahost"));
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.constData(), &actions, nullptr,
                                    const_cast<char *const *>(arguments), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return -1;
    }
    // The child says when it fails; the pipe holds that line until it is read.
    QByteArray said;
    char buffer[4096];
    ssize_t got = 0;
    while (!said.contains("failing at") || !said.endsWith('\n')) {
        if ((got = read(out[0], buffer, sizeof(buffer))) <= 0)
            break;
        said.append(buffer, got);
    }
    int status = 0;
    waitpid(child, &status, 0);
    const qint64 ended = monotonicNs();
    close(out[0]);

    const int at = said.indexOf("failing at ");
    if (at < 0 || !WIFSIGNALED(status) || WTERMSIG(status) != SIGSEGV)
        return -1;
    const qint64 failed = said.mid(at + 11).split(' ').value(0).toLongLong();
    const QFileInfoList dumps =
        QDir(QString::fromLocal8Bit(local) + QStringLiteral("/Kelvane/dumps"))
            .entryInfoList({QStringLiteral("*.dmp")}, QDir::Files);
    if (dumps.size() != 1)
        return -1;
    dumpBytes()[{threads, heapMegabytes}] = dumps.first().size();
    return double(ended - failed) / 1e9;
}

void CrashToEnd(benchmark::State &state)
{
    const QTemporaryDir world;
    for (auto _ : state) {
        const double seconds = crashOnce(world, int(state.range(0)), int(state.range(1)));
        if (seconds < 0) {
            state.SkipWithError("the stand-in editor did not crash as meant");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["dump_MB"] =
        double(dumpBytes()[{int(state.range(0)), int(state.range(1))}]) / (1 << 20);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CrashToEnd)
    ->ArgNames({"threads", "heapMB"})
    ->Args({0, 0})
    ->Args({60, 0})
    ->Args({300, 0})
    ->Args({0, 200})
    ->Args({0, 1024})
    ->Args({300, 200})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The figure's editor: 300 threads and a 200 MB heap.
constexpr std::pair<int, int> figureShape = {300, 200};

void CrashToEndFloor(benchmark::State &state)
{
    const QTemporaryDir world;
    const QByteArray path = QFile::encodeName(world.filePath(QStringLiteral("floor.dmp")));
    // Run first, the floor crashes the figure's editor once, untimed, for
    // the size of its dump.
    if (!dumpBytes().count(figureShape)
        && crashOnce(world, figureShape.first, figureShape.second) < 0) {
        state.SkipWithError("the stand-in editor did not crash as meant");
        return;
    }
    const qint64 size = dumpBytes()[figureShape];
    QByteArray bytes(size, 'x');
    for (auto _ : state) {
        ::sync(); // as before a crash run
        const auto start = std::chrono::steady_clock::now();
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        qint64 done = 0;
        while (fd >= 0 && done < size) {
            const ssize_t put = ::write(fd, bytes.constData() + done, size_t(size - done));
            if (put <= 0)
                break;
            done += put;
        }
        if (fd >= 0)
            ::close(fd);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (done != size)
            state.SkipWithError("short write");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CrashToEndFloor)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

const bool figure =
    FigureRegistry::Add({QStringLiteral("crash, fault to end (300 threads, 200 MB heap)"),
                         "CrashToEnd/threads:300/heapMB:200/iterations:1/manual_time",
                         "CrashToEndFloor/iterations:1/manual_time", Figure::TimeRatio,
                         QStringLiteral("<= 3, under 5 s")});

} // namespace
