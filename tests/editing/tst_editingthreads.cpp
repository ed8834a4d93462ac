// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"
#include "NamedBrushTool.h"

#include <QThread>

#include <atomic>
#include <memory>
#include <vector>

namespace {

const int threadCount = 8;
const int rounds = 300;
const int toolsPerThread = 4;

// What the slots and the workers saw; every "wrong" counter must stay 0.
struct Tally
{
    std::atomic<int> colorSignals{0};
    std::atomic<int> wrongColors{0};
    std::atomic<int> patternSignals{0};
    std::atomic<int> wrongPatterns{0};
    std::atomic<int> registeredSignals{0};
    std::atomic<int> unregisteredSignals{0};
    std::atomic<int> wrongTools{0};
    std::atomic<int> registrations{0};
    std::atomic<int> unregistrations{0};
};

} // namespace

class TestEditingThreads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void slotsCallBackWhileThreadsRun();

private:
    void connectCallbacks(Tally &tally);
    void work(int thread, Tally &tally);

    GlobalApplicationData *m_data = nullptr;
};

void TestEditingThreads::initTestCase()
{
    GlobalApplicationData::InitInstance();
    m_data = GlobalApplicationData::Instance();
    QVERIFY(m_data);
    // The shipped patterns beside the program.
    m_data->InitUserPreferences();
    QVERIFY(m_data->GetPatternsCount() >= 2);
}

void TestEditingThreads::cleanupTestCase()
{
    GlobalApplicationData::ReleaseInstance();
}

// Slots that run on the emitting thread and call back into the object,
// which deadlocks if a signal is emitted with the data mutex held.
void TestEditingThreads::connectCallbacks(Tally &tally)
{
    GlobalApplicationData *data = m_data;
    const QList<QColor> palette = GlobalApplicationData::GetPredefinedColorList();
    const auto checkColor = [&tally, palette](const QColor &color) {
        ++tally.colorSignals;
        if (!palette.contains(color) && color != Qt::white && color != Qt::black)
            ++tally.wrongColors;
    };
    connect(
        data, &GlobalApplicationData::BackgroundColorChanged, this,
        [=] { checkColor(data->GetBackgroundColor()); }, Qt::DirectConnection);
    connect(
        data, &GlobalApplicationData::ForegroundColorChanged, this,
        [=] { checkColor(data->GetForegroundColor()); }, Qt::DirectConnection);
    connect(
        data, &GlobalApplicationData::MaskModeBackgroundColorChanged, this,
        [=] { checkColor(data->GetMaskModeBackgroundColor()); }, Qt::DirectConnection);
    connect(
        data, &GlobalApplicationData::MaskModeForegroundColorChanged, this,
        [=] { checkColor(data->GetMaskModeForegroundColor()); }, Qt::DirectConnection);
    connect(
        data, &GlobalApplicationData::PatternIndexChanged, this,
        [data, &tally](int index) {
            ++tally.patternSignals;
            if (data->GetPatternFile(index).isNull() || data->GetCurrentPatternIndex() < 0)
                ++tally.wrongPatterns;
        },
        Qt::DirectConnection);
    // Only the registering thread unregisters its tools, after the
    // registration has returned: in the slot the tool is still there.
    connect(
        data, &GlobalApplicationData::BrushToolRegistered, this,
        [data, &tally](const QString &id, IBrushTool *tool) {
            ++tally.registeredSignals;
            if (data->GetBrushTool(id) != tool || !data->GetRegistredBrushTools().contains(id))
                ++tally.wrongTools;
        },
        Qt::DirectConnection);
    connect(
        data, &GlobalApplicationData::BrushToolUnregistered, this,
        [data, &tally](const QString &id, IBrushTool *tool) {
            ++tally.unregisteredSignals;
            if (!tool || data->GetBrushTool(id))
                ++tally.wrongTools;
        },
        Qt::DirectConnection);
}

void TestEditingThreads::work(int thread, Tally &tally)
{
    GlobalApplicationData *data = m_data;
    const QList<QColor> palette = GlobalApplicationData::GetPredefinedColorList();
    const int patterns = data->GetPatternsCount();

    std::vector<std::unique_ptr<NamedBrushTool>> tools;
    for (int k = 0; k < toolsPerThread; ++k)
        tools.emplace_back(new NamedBrushTool(QStringLiteral("Tool %1.%2").arg(thread).arg(k)));

    for (int round = 0; round < rounds; ++round) {
        const QColor color = palette.at((thread * 11 + round) % palette.size());
        data->SetBackgroundColor(color);
        data->SetForegroundColor(color);
        data->SetMaskModeBackgroundColor(color);
        data->SetMaskModeForegroundColor(color);
        if (!data->GetBackgroundColor().isValid() || !data->GetMaskModeForegroundColor().isValid())
            ++tally.wrongColors;

        const int index = (thread + round) % (patterns + 1);
        if (data->SetPatternIndex(index) != (index < patterns))
            ++tally.wrongPatterns;

        QStringList ids;
        for (const auto &tool : tools) {
            ids << data->RegisterBrushTool(tool.get());
            ++tally.registrations;
        }
        if (data->RegisterBrushTool(tools.front().get()) != ids.front())
            ++tally.wrongTools;
        data->SetBrushToolID(ids.back());
        if (data->GetRegistredBrushTools().size() < toolsPerThread)
            ++tally.wrongTools;
        for (const QString &id : ids) {
            if (data->UnregisterBrushTool(id))
                ++tally.unregistrations;
        }
    }
}

void TestEditingThreads::slotsCallBackWhileThreadsRun()
{
    Tally tally;
    connectCallbacks(tally);

    std::vector<std::unique_ptr<QThread>> threads;
    for (int thread = 0; thread < threadCount; ++thread) {
        threads.emplace_back(QThread::create([this, thread, &tally] { work(thread, tally); }));
        threads.back()->start();
    }
    // A deadlock shows as a thread that never ends; the bound is generous.
    bool allEnded = true;
    for (const auto &thread : threads)
        allEnded = thread->wait(120000) && allEnded;
    QVERIFY2(allEnded, "a thread is stuck: deadlock");

    const int registrations = threadCount * rounds * toolsPerThread;
    QCOMPARE(tally.registrations.load(), registrations);
    QCOMPARE(tally.registeredSignals.load(), registrations);
    QCOMPARE(tally.unregistrations.load(), registrations);
    QCOMPARE(tally.unregisteredSignals.load(), registrations);
    QCOMPARE(tally.wrongTools.load(), 0);
    QCOMPARE(tally.wrongColors.load(), 0);
    QCOMPARE(tally.wrongPatterns.load(), 0);
    QVERIFY(tally.colorSignals.load() > 0);
    QVERIFY(tally.colorSignals.load() <= 4 * threadCount * rounds);
    QVERIFY(tally.patternSignals.load() > 0);
    QCOMPARE(m_data->GetRegistredBrushTools(), QStringList());
    QVERIFY(m_data->GetCurrentPatternIndex() < m_data->GetPatternsCount());
}

VELA_TEST_MAIN(TestEditingThreads)
#include "tst_editingthreads.moc"
