// SPDX-License-Identifier: LGPL-2.1-or-later
//
// vela_bench: runs every benchmark in a private per-user data folder, under
// the editor's start-up with the shipped plug-ins, then prints one line per
// figure.

#include "BenchFigures.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QTemporaryDir sandbox;
    if (!sandbox.isValid())
        return 1;
    qputenv("LOCALAPPDATA", QFile::encodeName(sandbox.path()));

    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    BenchSession().emplace();
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    QStringList lines = reporter.FigureLines();
    lines += RunAfterRunChecks();
    BenchSession().reset();

    std::printf("\nVelaGlobal figures (library beside the floor of the same work, one run):\n");
    for (const QString &line : lines)
        std::printf("%s\n", line.toLocal8Bit().constData());
    benchmark::Shutdown();
    return 0;
}
