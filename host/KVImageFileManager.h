// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef KVIMAGEFILEMANAGER_H
#define KVIMAGEFILEMANAGER_H

#include "KVHostExport.h"

#include <QList>

class KVImageFilePlugin;

/*!
    The editor's registry of image-file plug-ins. The editor creates it
    before plug-ins are loaded; until then GetInstance() answers null and
    nothing can register. The plug-ins stay owned by their plug-in files.
*/
class KVCORE_EXPORT KVImageFileManager
{
public:
    static void CreateInstance();
    static KVImageFileManager *GetInstance();
    static void ReleaseInstance();

    //! Adds a plug-in; false for null or one already registered.
    bool Register(KVImageFilePlugin *plugin);
    QList<KVImageFilePlugin *> GetPlugins() const;

private:
    KVImageFileManager() = default;
    ~KVImageFileManager() = default;
    Q_DISABLE_COPY(KVImageFileManager)

    QList<KVImageFilePlugin *> m_plugins;
};

#endif // KVIMAGEFILEMANAGER_H
