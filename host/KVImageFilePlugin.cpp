// SPDX-License-Identifier: LGPL-2.1-or-later
#include "KVImageFilePlugin.h"

KVImageFilePlugin::KVImageFilePlugin(QObject *parent)
    : QObject(parent)
{
}

KVImageFilePlugin::~KVImageFilePlugin() = default;

int KVImageFilePlugin::GetPluginKind() const
{
    return ImageFileKind;
}
