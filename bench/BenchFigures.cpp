// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BenchFigures.h"

#include <QStringList>

namespace {

std::vector<Figure> &figures()
{
    static std::vector<Figure> list;
    return list;
}

std::vector<std::pair<QString, std::function<QString()>>> &checks()
{
    static std::vector<std::pair<QString, std::function<QString()>>> list;
    return list;
}

QString formatSeconds(double seconds)
{
    if (seconds >= 1e-3)
        return QString::number(seconds * 1e3, 'f', 3) + QStringLiteral(" ms");
    if (seconds >= 1e-6)
        return QString::number(seconds * 1e6, 'f', 3) + QStringLiteral(" us");
    return QString::number(seconds * 1e9, 'f', 1) + QStringLiteral(" ns");
}

QString formatRate(double itemsPerSecond)
{
    return QString::number(itemsPerSecond / 1e3, 'f', 1) + QStringLiteral(" k/s");
}

} // namespace

std::optional<HostSession> &BenchSession()
{
    static std::optional<HostSession> session;
    return session;
}

bool FigureRegistry::Add(const Figure &figure)
{
    figures().push_back(figure);
    return true;
}

const std::vector<Figure> &FigureRegistry::All()
{
    return figures();
}

void CollectingReporter::ReportRuns(const std::vector<Run> &runs)
{
    for (const Run &run : runs) {
        // With repetitions, the median of them stands for the benchmark: it
        // is reported after the repetitions and replaces them.
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.error_occurred || run.iterations == 0
            || (run.run_type != Run::RT_Iteration && !median))
            continue;
        m_secondsPerItem[run.run_name.str()] = run.real_accumulated_time / double(run.iterations);
    }
    ConsoleReporter::ReportRuns(runs);
}

QStringList CollectingReporter::FigureLines() const
{
    QStringList lines;
    for (const Figure &figure : FigureRegistry::All()) {
        const auto library = m_secondsPerItem.find(figure.library);
        const auto floor = m_secondsPerItem.find(figure.floor);
        if (library == m_secondsPerItem.end() || floor == m_secondsPerItem.end()) {
            lines << figure.name + QStringLiteral(": not measured (filtered out or failed)");
            continue;
        }
        QString x, y;
        double ratio = 0;
        if (figure.kind == Figure::RateRatio) {
            // Wall-clock rates for single and threaded runs alike (the
            // benchmark's own item counter uses CPU time unless told otherwise).
            x = formatRate(1.0 / library->second);
            y = formatRate(1.0 / floor->second);
            ratio = floor->second / library->second;
        } else {
            x = formatSeconds(library->second);
            y = formatSeconds(floor->second);
            ratio = library->second / floor->second;
        }
        lines << QStringLiteral("%1: library %2, floor %3, ratio %4 (goal %5)")
                     .arg(figure.name, x, y, QString::number(ratio, 'f', 2), figure.goal);
    }
    return lines;
}

bool AddAfterRunCheck(const QString &name, std::function<QString()> check)
{
    checks().emplace_back(name, std::move(check));
    return true;
}

QStringList RunAfterRunChecks()
{
    QStringList lines;
    for (const auto &check : checks())
        lines << check.first + QStringLiteral(": ") + check.second();
    return lines;
}
