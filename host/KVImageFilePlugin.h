// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef KVIMAGEFILEPLUGIN_H
#define KVIMAGEFILEPLUGIN_H

#include "KVHostExport.h"

#include <QObject>

/*!
    Base class of the editor's image-file plug-ins (readers and writers of
    file formats). Plug-in containers carry them; the kind tells them apart
    from the editor's other plug-in objects.
*/
class KVPLUGINBASE_EXPORT KVImageFilePlugin : public QObject
{
    Q_OBJECT

public:
    enum { ImageFileKind = 2 };

    explicit KVImageFilePlugin(QObject *parent = nullptr);
    ~KVImageFilePlugin() override;

    //! What sort of plug-in object this is; image-file plug-ins are kind 2.
    virtual int GetPluginKind() const;
};

#endif // KVIMAGEFILEPLUGIN_H
