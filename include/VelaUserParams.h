// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VELAUSERPARAMS_H
#define VELAUSERPARAMS_H

#include "VelaGlobalExport.h"

#include <QString>

/*!
    The "page.group.parameter" keys of the preferences document that the
    editor and the library use, grouped as the preferences dialog groups
    them.
*/
class VELAGLOBAL_EXPORT VelaUserParams
{
public:
    class VELAGLOBAL_EXPORT ColorManagement
    {
    public:
        static QString EnableColorManagement();

        class VELAGLOBAL_EXPORT Devices
        {
        public:
            static QString Printer();
        };
        class VELAGLOBAL_EXPORT ManagementPolicies
        {
        public:
            static QString RGB1();
        };
        class VELAGLOBAL_EXPORT WorkingSpaces
        {
        public:
            static QString RGB2();
        };
    };

    class VELAGLOBAL_EXPORT Directories
    {
    public:
        class VELAGLOBAL_EXPORT Settings
        {
        public:
            static QString DefImageType();
            static QString ImageFolder();
            static QString LastVisitedFolder();
            static QString RememberLastVisitedFolder();
        };
    };

    class VELAGLOBAL_EXPORT Editing
    {
    public:
        class VELAGLOBAL_EXPORT Colors
        {
        public:
            static QString Background();
            static QString Color1();
            static QString Color2();
        };
        class VELAGLOBAL_EXPORT Text
        {
        public:
            static QString Antialiasing();
        };
    };

    class VELAGLOBAL_EXPORT Performance
    {
    public:
        class VELAGLOBAL_EXPORT OpenCL
        {
        public:
            static QString OPENCL();
        };
    };

    class VELAGLOBAL_EXPORT PlatformSpecificSetting
    {
    public:
        static QString DoNotUseSystemDlg();

        class VELAGLOBAL_EXPORT JpegOpt
        {
        public:
            static QString DctMethod();
            static QString IsHuffman();
            static QString ProgressiveMode();
            static QString Quality();
            static QString SmoothingFactor();
        };
        class VELAGLOBAL_EXPORT PngOpt
        {
        public:
            static QString Alfa();
            static QString InterlaceMethod();
            static QString IsEmbeddedProfile();
            static QString Quality();
        };
        class VELAGLOBAL_EXPORT TiffOpt
        {
        public:
            static QString CompressionTech();
            static QString Is256Color();
            static QString IsEmbeddedProfile();
        };
    };

    class VELAGLOBAL_EXPORT ProxySettings
    {
    public:
        class VELAGLOBAL_EXPORT Proxy
        {
        public:
            static QString PROXYHOSTNAME();
            static QString PROXYPORT();
            static QString PROXYTYPE();
        };
    };
};

#endif // VELAUSERPARAMS_H
