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
    //! Keys of the "color_management" page.
    class VELAGLOBAL_EXPORT ColorManagement
    {
    public:
        //! "color_management.enable_cm_check.enable_color_management": whether colour management is
        //! on.
        static QString EnableColorManagement();

        //! Device profiles ("color_management.Device_profiles").
        class VELAGLOBAL_EXPORT Devices
        {
        public:
            //! "color_management.Device_profiles.Printer": the printer's colour profile.
            static QString Printer();
        };
        //! Management policies ("color_management.Management_policies").
        class VELAGLOBAL_EXPORT ManagementPolicies
        {
        public:
            //! "color_management.Management_policies.RGB1": the RGB management policy.
            static QString RGB1();
        };
        //! Working spaces ("color_management.Working_spaces").
        class VELAGLOBAL_EXPORT WorkingSpaces
        {
        public:
            //! "color_management.Working_spaces.RGB": the RGB working space.
            static QString RGB2();
        };
    };

    //! Keys of the "directories" page.
    class VELAGLOBAL_EXPORT Directories
    {
    public:
        //! The folders and the default type ("directories.dirs").
        class VELAGLOBAL_EXPORT Settings
        {
        public:
            //! "directories.dirs.def_image_type": the default image type.
            static QString DefImageType();
            //! "directories.dirs.image_dir": the image folder.
            static QString ImageFolder();
            //! "directories.dirs.last_dir": the folder last visited.
            static QString LastVisitedFolder();
            //! "directories.dirs.Remember_last_folder": whether the folder last visited is
            //! remembered.
            static QString RememberLastVisitedFolder();
        };
    };

    //! Keys of the editing preferences.
    class VELAGLOBAL_EXPORT Editing
    {
    public:
        //! The user's colours ("editing.colors").
        class VELAGLOBAL_EXPORT Colors
        {
        public:
            //! "editing.colors.Background": the user's background colour.
            static QString Background();
            //! "editing.colors.Color_1": the user's first colour.
            static QString Color1();
            //! "editing.colors.Color_2": the user's second colour.
            static QString Color2();
        };
        //! Text rendering ("GUI_options_and_effects.group1").
        class VELAGLOBAL_EXPORT Text
        {
        public:
            //! "GUI_options_and_effects.group1.TextAl": the text antialiasing, stored one lower
            //! than used.
            static QString Antialiasing();
        };
    };

    //! Keys of the "performance" page.
    class VELAGLOBAL_EXPORT Performance
    {
    public:
        //! OpenCL ("performance.open_cl").
        class VELAGLOBAL_EXPORT OpenCL
        {
        public:
            //! "performance.open_cl.open_cl": whether OpenCL is used.
            static QString OPENCL();
        };
    };

    //! Keys of the "platform_specific_setting" page.
    class VELAGLOBAL_EXPORT PlatformSpecificSetting
    {
    public:
        //! "platform_specific_setting.system_dialogs.Do_not_use_sys_dlg": whether the system's file
        //! dialogs are avoided.
        static QString DoNotUseSystemDlg();

        //! JPEG writing options ("platform_specific_setting.jpeg_opt").
        class VELAGLOBAL_EXPORT JpegOpt
        {
        public:
            //! "platform_specific_setting.jpeg_opt.dctMethod": the JPEG DCT method.
            static QString DctMethod();
            //! "platform_specific_setting.jpeg_opt.isHuffman": the JPEG Huffman option.
            static QString IsHuffman();
            //! "platform_specific_setting.jpeg_opt.progressiveMode": the JPEG progressive mode.
            static QString ProgressiveMode();
            //! "platform_specific_setting.jpeg_opt.quality": the JPEG quality.
            static QString Quality();
            //! "platform_specific_setting.jpeg_opt.smoothingFactor": the JPEG smoothing factor.
            static QString SmoothingFactor();
        };
        //! PNG writing options ("platform_specific_setting.png_opt").
        class VELAGLOBAL_EXPORT PngOpt
        {
        public:
            //! "platform_specific_setting.png_opt.alfa": the PNG alpha option.
            static QString Alfa();
            //! "platform_specific_setting.png_opt.interlaceMethod": the PNG interlace method.
            static QString InterlaceMethod();
            //! "platform_specific_setting.png_opt.isEmbeddedProfile": whether PNG embeds the colour
            //! profile.
            static QString IsEmbeddedProfile();
            //! "platform_specific_setting.png_opt.quality": the PNG quality.
            static QString Quality();
        };
        //! TIFF writing options ("platform_specific_setting.tiff_opt").
        class VELAGLOBAL_EXPORT TiffOpt
        {
        public:
            //! "platform_specific_setting.tiff_opt.compressionTech": the TIFF compression.
            static QString CompressionTech();
            //! "platform_specific_setting.tiff_opt.is256Color": the TIFF 256-colour option.
            static QString Is256Color();
            //! "platform_specific_setting.tiff_opt.isEmbeddedProfile": whether TIFF embeds the
            //! colour profile.
            static QString IsEmbeddedProfile();
        };
    };

    //! Keys of the "network" page.
    class VELAGLOBAL_EXPORT ProxySettings
    {
    public:
        //! The network proxy ("network.proxy_group").
        class VELAGLOBAL_EXPORT Proxy
        {
        public:
            //! "network.proxy_group.proxyhostname": the proxy host name.
            static QString PROXYHOSTNAME();
            //! "network.proxy_group.proxyport": the proxy port, as a decimal number.
            static QString PROXYPORT();
            //! "network.proxy_group.proxytype": the proxy type index, as a decimal number.
            static QString PROXYTYPE();
        };
    };
};

#endif // VELAUSERPARAMS_H
