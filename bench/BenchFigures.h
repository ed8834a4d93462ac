// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELABENCH_BENCHFIGURES_H
#define VELABENCH_BENCHFIGURES_H

#include "HostSession.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

/*
    A figure pairs two benchmarks of one run: the library doing some work and
    the floor, the least that the same work can cost. The figure's line reads

        name: library X, floor Y, ratio X/Y (goal G)
*/
struct Figure
{
    enum Kind {
        TimeRatio, // library time per item / floor time per item; lower is better
        RateRatio, // library items per second / floor items per second; higher is better
        Report     // no goal, just the numbers
    };

    QString name;
    std::string library; // benchmark names as Google Benchmark reports them
    std::string floor;
    Kind kind = TimeRatio;
    QString goal;
};

class FigureRegistry
{
public:
    static bool Add(const Figure &figure);
    static const std::vector<Figure> &All();
};

// Collects the runs while passing them on to the console reporter.
class CollectingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override;

    //! One line per registered figure; a missing benchmark says so.
    QStringList FigureLines() const;

private:
    //! Real time per item, by benchmark name.
    std::map<std::string, double> m_secondsPerItem;
};

//! The editor's start-up that the benchmarks run under, with the shipped
//! plug-ins; a benchmark that takes it down brings it back up.
std::optional<HostSession> &BenchSession();

//! A checked-after-the-run condition (for example "no torn line in the log").
bool AddAfterRunCheck(const QString &name, std::function<QString()> check);
QStringList RunAfterRunChecks();

#endif // VELABENCH_BENCHFIGURES_H
