// SPDX-License-Identifier: LGPL-2.1-or-later
#include "FuzzSupport.h"

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

QString WriteInput(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    return path;
}

} // namespace VelaFuzz
