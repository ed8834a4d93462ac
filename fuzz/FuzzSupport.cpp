// SPDX-License-Identifier: LGPL-2.1-or-later
#include "FuzzSupport.h"

#include "GlobalApplicationData.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>

namespace VelaFuzz {

namespace {

// Writes to a disk are synced by QSaveFile and QSettings, and the sync, not
// the parser, would set the pace of the run.
QString temporaryBase()
{
    const QFileInfo shared(QStringLiteral("/dev/shm"));
    if (shared.isDir() && shared.isWritable())
        return shared.filePath();
    return QDir::tempPath();
}

// Every input would log lines of the library; warnings and worse still
// reach the standard error stream.
void quietOutput(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

struct Run
{
    Run()
        : folder(temporaryBase() + QStringLiteral("/vela_fuzz-XXXXXX"))
    {
        if (!folder.isValid())
            qFatal("no work folder below %s", qPrintable(temporaryBase()));
        qputenv("LOCALAPPDATA", QFile::encodeName(folder.path()));
        // The settings writer makes its new text in the temporary folder.
        qputenv("TMPDIR", QFile::encodeName(folder.path()));
        qInstallMessageHandler(quietOutput);
    }

    QTemporaryDir folder;
    int argc = 1;
    char name[10] = "vela_fuzz";
    char *argv[2] = {name, nullptr};
    // The editor is a GUI application, and a settings value of a GUI type (a
    // bitmap, a cursor) can only be made in one. No display is needed.
    bool offscreen = qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application{argc, argv};
};

Run &run()
{
    static Run instance;
    return instance;
}

} // namespace

QString WorkFolder()
{
    return run().folder.path();
}

GlobalApplicationData *ApplicationData()
{
    static GlobalApplicationData *data = [] {
        run();
        GlobalApplicationData::InitInstance();
        return GlobalApplicationData::Instance();
    }();
    return data;
}

QString WriteInput(const QString &path, const uint8_t *data, size_t size)
{
    static qint64 stamp = 1000000000;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(reinterpret_cast<const char *>(data), qint64(size));
        file.flush();
        file.setFileTime(QDateTime::fromSecsSinceEpoch(++stamp), QFileDevice::FileModificationTime);
    }
    return path;
}

bool TakesFullCheck(const uint8_t *data, size_t size)
{
    static const bool everyInput = qEnvironmentVariableIsSet("VELA_FUZZ_FULL_CHECKS");
    if (everyInput)
        return true;
    // FNV-1a: the same bytes pick the same check in every process.
    quint32 hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash % 16 == 0;
}

} // namespace VelaFuzz

// Qt's containers trust the element count of a stream and reserve room for
// it before they read a single element: a few bytes of a settings value ask
// for gigabytes that are never touched. A machine refuses what it cannot
// give, and Qt goes on without it. AddressSanitizer would give it, and mark
// all of it when it is freed, so these programs have it refuse one request
// over 512 MB, the fuzzer's own limit for one allocation. Options set in
// ASAN_OPTIONS still win.
extern "C" Q_DECL_EXPORT const char *__asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=512";
}
