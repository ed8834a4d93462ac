// SPDX-License-Identifier: LGPL-2.1-or-later
//
// A support engineer's look at a user's per-user data folder. The library is
// not started: its start-up creates folders, copies files and writes a new
// log. Every file is only opened for reading, with the library's own readers
// where they have no side effects.

#include "HostCommand.h"

#include "UnitConverter.h"
#include "VLCrashHandler.h"
#include "private/GlobalApplicationData_p.h"
#include "private/VLExportResolutions_p.h"
#include "private/VLExportSizes_p.h"
#include "private/VLIOManager_p.h"
#include "private/VLLogFile_p.h"
#include "private/VLPreferenceMap_p.h"
#include "private/VLXmlFile_p.h"

#ifndef Q_OS_WIN
#include "private/VLCrashRuntime_p.h"
#endif

#include <QCommandLineParser>
#include <QDir>
#include <QDirIterator>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#ifndef Q_OS_WIN
#include "google_breakpad/processor/basic_source_line_resolver.h"
#include "google_breakpad/processor/call_stack.h"
#include "google_breakpad/processor/code_module.h"
#include "google_breakpad/processor/minidump.h"
#include "google_breakpad/processor/minidump_processor.h"
#include "google_breakpad/processor/process_state.h"
#include "google_breakpad/processor/stack_frame.h"
#include "processor/simple_symbol_supplier.h"

#include <iostream>
#include <memory>

#include <sys/stat.h>
#endif

namespace {

// The tail of a log that is read: the last lines of a run never need more.
constexpr qint64 logTailBytes = 64 * 1024;

QString missing(const QString &fileName)
{
    return QStringLiteral("%1: missing\n").arg(fileName);
}

// The folders and files of the per-user folder, itself included, that other
// users of the machine can read: the library creates them for its owner
// alone, and keeps the modes that someone chose.
void reportReadableByOthers(QTextStream &out, const QString &folder)
{
#ifndef Q_OS_WIN
    const QDir dir(folder);
    QStringList paths = {folder};
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    for (const QString &path : paths) {
        struct stat status;
        if (lstat(QFile::encodeName(path).constData(), &status) != 0 || S_ISLNK(status.st_mode)
            || !(status.st_mode & (S_IRGRP | S_IROTH)))
            continue;
        out << "Warning: readable by other users: " << dir.relativeFilePath(path) << " (0"
            << QString::number(status.st_mode & 07777, 8) << ")\n";
    }
#else
    Q_UNUSED(out);
    Q_UNUSED(folder);
#endif
}

QString valueText(const QVariant &value)
{
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    const QString text = value.toString();
    if (text.isEmpty() && value.userType() != QMetaType::QString)
        return QStringLiteral("(%1)").arg(QLatin1String(value.typeName()));
    return text;
}

void reportSettings(QTextStream &out, const QString &folder)
{
    const QString fileName = QStringLiteral("kelvane.ini");
    if (!QFileInfo::exists(folder + fileName)) {
        out << missing(fileName);
        return;
    }
    const QSettings settings(folder + fileName, QSettings::IniFormat);
    const QStringList keys = settings.allKeys();
    out << fileName << ": " << keys.size() << " keys\n";
    for (const QString &key : keys)
        out << "    " << key << " = " << valueText(settings.value(key)) << '\n';
}

void reportPreferences(QTextStream &out, const QString &folder)
{
    const QString fileName = QStringLiteral("properties.xml");
    QFile file(folder + fileName);
    if (!file.exists()) {
        out << missing(fileName);
        return;
    }
    QDomDocument document;
    VLXmlFile::ParseError error;
    if (VLXmlFile::Parse(file, document, true, &error))
        out << fileName << ": version \"" << VLPreferenceMap::DocumentVersion(document) << "\"\n";
    else if (error.line > 0)
        out << fileName << ": parse error at line " << error.line << ", column " << error.column
            << ": " << error.message << '\n';
    else
        out << fileName << ": not read: " << error.message << '\n';
}

void reportUnits(QTextStream &out, const QString &folder)
{
    const QString fileName = QStringLiteral("units_user.ini");
    QList<UnitItem> units;
    if (!QFileInfo::exists(folder + fileName)) {
        out << missing(fileName);
        return;
    }
    if (!LoadUnits(units, folder + fileName, false)) {
        out << fileName << ": unreadable or malformed\n";
        return;
    }
    out << fileName << ": " << units.size() << " custom units\n";
    for (const UnitItem &unit : units)
        out << "    " << unit.name << " (" << unit.abbr << "), "
            << QString::number(double(unit.factor), 'g', 6) << " per inch\n";
}

void reportRecent(QTextStream &out, const QString &folder)
{
    const QString fileName = QStringLiteral("settings.ini");
    if (!QFileInfo::exists(folder + fileName)) {
        out << missing(fileName);
        return;
    }
    const QList<VLIOManager::RecentRecord> recent = VLReadRecentFiles(folder + fileName);
    const QSettings settings(folder + fileName, QSettings::IniFormat);
    out << fileName << ": " << recent.size() << " recent files (saved limit "
        << settings.value(QStringLiteral("Recent/RecentLimit"), QStringLiteral("none")).toString()
        << ")\n";
    for (int i = 0; i < recent.size(); ++i)
        out << "    " << i << '\t' << recent.at(i).first << '\t' << recent.at(i).second << '\n';
}

template<typename Traits>
void reportExportList(QTextStream &out, const QString &folder, const QString &fileName)
{
    if (!QFileInfo::exists(folder + fileName)) {
        out << missing(fileName);
        return;
    }
    const auto list = VLExportListPrivate<Traits>::ReadUserList(folder + fileName);
    if (!list) {
        out << fileName << ": no \"Version\", replaced by the defaults at the next start\n";
        return;
    }
    out << fileName << ": " << list->size() << " entries\n";
    for (int i = 0; i < list->size(); ++i)
        out << "    " << i << '\t' << Traits::ToStored(list->at(i)).toString() << '\n';
}

// The editor names the log's sub-folder: every sub-folder is searched for
// files named like a log, and the one opened last wins.
QFileInfo newestLog(const QDir &folder)
{
    QFileInfo newest;
    QDateTime newestTime;
    const QStringList subFolders = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &subFolder : subFolders) {
        const QFileInfoList logs =
            QDir(folder.filePath(subFolder))
                .entryInfoList(QStringList(QStringLiteral("*.txt")), QDir::Files, QDir::Name);
        for (const QFileInfo &log : logs) {
            const QDateTime opened = VLLogFile::TimeOfFileName(log.fileName());
            if (opened.isValid() && (newestTime.isNull() || opened > newestTime)) {
                newest = log;
                newestTime = opened;
            }
        }
    }
    return newest;
}

// The last count lines of a log's tail; the first line is left out where
// the tail cut it.
QStringList lastLines(const QByteArray &tail, bool cut, int count)
{
    QStringList lines = QString::fromUtf8(tail).split(QLatin1Char('\n'));
    if (cut)
        lines.removeFirst();
    // A final line feed ends the last line.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines.mid(qMax(0, int(lines.size()) - count));
}

QStringList lastLines(const QString &path, int count)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 start = qMax<qint64>(0, file.size() - logTailBytes);
    file.seek(start);
    return lastLines(file.read(logTailBytes), start > 0, count);
}

void reportLog(QTextStream &out, const QDir &folder, int lineCount)
{
    const QFileInfo log = newestLog(folder);
    if (log.filePath().isEmpty()) {
        out << "Log file: none\n";
        return;
    }
    const QStringList lines = lastLines(log.filePath(), lineCount);
    out << "Log file: " << folder.relativeFilePath(log.filePath()) << ", last " << lines.size()
        << " lines\n";
    for (const QString &line : lines)
        out << "    " << line << '\n';
}

#ifndef Q_OS_WIN
// Frames of the crashing thread that a support engineer reads.
constexpr std::size_t crashFrames = 8;

// The processor's own progress notes go to std::clog: not for this report.
class QuietProcessor
{
public:
    QuietProcessor()
        : m_notes(std::clog.rdbuf(nullptr))
    {
    }
    ~QuietProcessor()
    {
        std::clog.rdbuf(m_notes);
        std::clog.clear();
    }
    QuietProcessor(const QuietProcessor &) = delete;
    QuietProcessor &operator=(const QuietProcessor &) = delete;

private:
    std::streambuf *const m_notes;
};

// The crash reason and address and the crashing thread's top frames, read
// with Breakpad's processor; function names where symbol files are given
// (as scripts/symbolize-dump lays them out).
void reportCrash(QTextStream &out, const QString &dump, const QString &symbols)
{
    using namespace google_breakpad;
    BasicSourceLineResolver resolver;
    std::unique_ptr<SimpleSymbolSupplier> supplier;
    if (!symbols.isEmpty())
        supplier = std::make_unique<SimpleSymbolSupplier>(symbols.toStdString());
    MinidumpProcessor processor(supplier.get(), &resolver);
    ProcessState state;
    const QuietProcessor quiet;
    const ProcessResult result = processor.Process(QFile::encodeName(dump).toStdString(), &state);
    if (result != PROCESS_OK) {
        out << "        (not a dump that can be read)\n";
        return;
    }
    // Breakpad records a dump asked for as a crash of its own kind.
    if (!state.crashed() || state.crash_reason() == "DUMP_REQUESTED") {
        out << "        No crash: the dump was asked for\n";
        return;
    }
    out << "        Crash reason: " << QString::fromStdString(state.crash_reason()) << " at 0x"
        << QString::number(state.crash_address(), 16) << '\n';
    const int crashed = state.requesting_thread();
    if (crashed < 0 || crashed >= int(state.threads()->size()))
        return;
    const CallStack *stack = state.threads()->at(crashed);
    out << "        Thread " << crashed << " of " << state.threads()->size() << ", tid "
        << stack->tid() << ":\n";
    const std::vector<StackFrame *> &frames = *stack->frames();
    for (std::size_t i = 0; i < frames.size() && i < crashFrames; ++i) {
        const StackFrame *frame = frames[i];
        out << "          " << i << "  ";
        if (frame->module) {
            out << QFileInfo(QString::fromStdString(frame->module->code_file())).fileName()
                << " + 0x"
                << QString::number(frame->instruction - frame->module->base_address(), 16);
        } else {
            out << "0x" << QString::number(frame->instruction, 16);
        }
        if (!frame->function_name.empty())
            out << "  " << QString::fromStdString(frame->function_name);
        out << '\n';
    }
}

// The number of memory ranges of a dump that do not lie within one mapping
// of the process: a writer copies memory a mapping at a time.
int rangesOutsideMappings(google_breakpad::MinidumpMemoryList &memory,
                          const google_breakpad::MinidumpLinuxMapsList &maps)
{
    int outside = 0;
    for (unsigned int i = 0; i < memory.region_count(); ++i) {
        const google_breakpad::MinidumpMemoryRegion *range = memory.GetMemoryRegionAtIndex(i);
        const google_breakpad::MinidumpLinuxMaps *mapping =
            range ? maps.GetLinuxMapsForAddress(range->GetBase()) : nullptr;
        outside += !mapping
                   || range->GetBase() + range->GetSize() > mapping->GetBase() + mapping->GetSize();
    }
    return outside;
}

// The dump's memory, as Breakpad's reader takes it (it refuses ranges that
// overlap) against the process's mappings, and the crashed run's log, as the
// dump carries it (the run that followed deleted the file).
void reportDumpContents(QTextStream &out, const QString &dump, int lineCount)
{
    const QuietProcessor quiet;
    google_breakpad::Minidump minidump(QFile::encodeName(dump).toStdString());
    if (!minidump.Read())
        return;
    google_breakpad::MinidumpMemoryList *memory = minidump.GetMemoryList();
    const google_breakpad::MinidumpLinuxMapsList *maps = minidump.GetLinuxMapsList();
    out << "        Memory: ";
    if (!memory)
        out << "cannot be read\n";
    else
        out << memory->region_count() << " ranges, "
            << (maps ? QString::number(rangesOutsideMappings(*memory, *maps)) : QStringLiteral("?"))
            << " outside the process's mappings\n";
    std::uint32_t size = 0;
    if (!minidump.SeekToStreamType(VLCrashRuntime::LogTailStream, &size)
        || size > VLCrashRuntime::LogTailBytes)
        return;
    QByteArray tail(int(size), '\0');
    if (!minidump.ReadBytes(tail.data(), size))
        return;
    const QStringList lines = lastLines(tail, false, lineCount);
    out << "        Log of the crashed run, last " << lines.size() << " lines:\n";
    for (const QString &line : lines)
        out << "            " << line << '\n';
}
#endif

void reportDumps(QTextStream &out, const QString &folder, const QString &symbols, int lineCount)
{
    const QFileInfoList dumps = VLCrashHandler::DumpsIn(folder);
    out << "Crash dumps: " << dumps.size() << '\n';
    for (const QFileInfo &dump : dumps) {
        out << "    " << QDir(folder).relativeFilePath(dump.filePath()) << ", " << dump.size()
            << " bytes, written "
            << dump.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) << '\n';
#ifndef Q_OS_WIN
        reportCrash(out, dump.filePath(), symbols);
        reportDumpContents(out, dump.filePath(), lineCount);
#else
        Q_UNUSED(symbols);
        Q_UNUSED(lineCount);
#endif
    }
}

} // namespace

VELAHOST_COMMAND(inspect, "inspect", "inspect [FOLDER] [--lines N] [--symbols DIR]",
                 "Report what a per-user data folder holds, without starting the library and "
                 "without changing anything (default: the folder the library would use).")
{
    QCommandLineParser parser;
    const QCommandLineOption linesOption(QStringLiteral("lines"),
                                         QStringLiteral("Lines of the log to show (default 10)."),
                                         QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption symbolsOption(
        QStringLiteral("symbols"),
        QStringLiteral("Breakpad symbol files for the dumps' frames (scripts/symbolize-dump)."),
        QStringLiteral("DIR"));
    const QStringList arguments =
        ParseHostArguments(parser, context, QStringLiteral("Report a per-user data folder."),
                           {{QStringLiteral("folder"), QStringLiteral("The per-user data folder."),
                             QStringLiteral("[FOLDER]")}},
                           {linesOption, symbolsOption});
    bool linesOk = false;
    const int lineCount = parser.value(linesOption).toInt(&linesOk);
    if (arguments.size() > 1 || !linesOk || lineCount < 0) {
        context.err << parser.helpText();
        return 2;
    }

    // Files are named by plain concatenation, as the library names them.
    QString folder = arguments.value(0, VLExpectedAppDataFolderPath());
    if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QDir::separator()))
        folder += QDir::separator();

    QTextStream &out = context.out;
    const QDir dir(folder);
    if (!dir.exists()) {
        out << "Per-user data folder: " << folder << " (missing)\n";
        return 1;
    }
    out << "Per-user data folder: " << folder << '\n';
    reportReadableByOthers(out, folder);
    reportSettings(out, folder);
    reportPreferences(out, folder);
    reportUnits(out, folder);
    reportRecent(out, folder);
    reportExportList<VLExportResolutionsTraits>(out, folder,
                                                QStringLiteral("ExportAndShareResolution.ini"));
    reportExportList<VLExportSizesTraits>(out, folder, QStringLiteral("ExportAndShareSize.ini"));
    reportLog(out, dir, lineCount);
    reportDumps(out, folder, parser.value(symbolsOption), lineCount);
    return 0;
}
