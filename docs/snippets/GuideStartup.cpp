// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The start-up guide's program: an editor's main() around the library.
#include "HostSession.h"

#include "BrushFactoryManager.h"
#include "BrushPresetManager.h"
#include "IBrush.h"

#include <QBuffer>
#include <QCoreApplication>

//! [main]
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("GuideStartup"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    // Start-up in the library's order; shut-down, in reverse, when the
    // session goes.
    const HostSession session;

    QByteArray saved;
    {
        // Preset tables live inside the session: they hand their brushes
        // back to the brush registry when they go.
        BrushPresetManager presets;
        const QStringList types = BrushFactoryManager::instance()->enumerate().values();
        for (const QString &type : types) {
            IBrush *brush = BrushFactoryManager::instance()->create(type);
            if (!brush)
                continue;
            presets.CreatePreset(brush); // the table files a copy
            BrushFactoryManager::instance()->release(brush);
        }
        QBuffer buffer(&saved);
        buffer.open(QIODevice::WriteOnly);
        presets.Serialize(&buffer);
    }
    return saved.isEmpty() ? 1 : 0;
}
//! [main]
