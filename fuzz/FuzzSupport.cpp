// SPDX-License-Identifier: LGPL-2.1-or-later
#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace VelaFuzz {

QString WorkFolder()
{
    static QTemporaryDir folder;
    static const bool environmentSet = [] {
        qputenv("LOCALAPPDATA", QFile::encodeName(folder.path()));
        return true;
    }();
    Q_UNUSED(environmentSet);
    return folder.path();
}

void Application()
{
    static int argc = 1;
    static char name[] = "vela_fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

QString WriteInput(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    return path;
}

} // namespace VelaFuzz
