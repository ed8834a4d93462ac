// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaUserParams.h"

namespace {

// The one key kept as a shared string; RGB2() hands out copies of it.
const QString workingSpaceRgbKey = QStringLiteral("color_management.Working_spaces.RGB");

} // namespace

QString VelaUserParams::ColorManagement::EnableColorManagement()
{
    return QStringLiteral("color_management.enable_cm_check.enable_color_management");
}

QString VelaUserParams::ColorManagement::Devices::Printer()
{
    return QStringLiteral("color_management.Device_profiles.Printer");
}

QString VelaUserParams::ColorManagement::ManagementPolicies::RGB1()
{
    return QStringLiteral("color_management.Management_policies.RGB1");
}

QString VelaUserParams::ColorManagement::WorkingSpaces::RGB2()
{
    return workingSpaceRgbKey;
}

QString VelaUserParams::Directories::Settings::DefImageType()
{
    return QStringLiteral("directories.dirs.def_image_type");
}

QString VelaUserParams::Directories::Settings::ImageFolder()
{
    return QStringLiteral("directories.dirs.image_dir");
}

QString VelaUserParams::Directories::Settings::LastVisitedFolder()
{
    return QStringLiteral("directories.dirs.last_dir");
}

QString VelaUserParams::Directories::Settings::RememberLastVisitedFolder()
{
    return QStringLiteral("directories.dirs.Remember_last_folder");
}

QString VelaUserParams::Editing::Colors::Background()
{
    return QStringLiteral("editing.colors.Background");
}

QString VelaUserParams::Editing::Colors::Color1()
{
    return QStringLiteral("editing.colors.Color_1");
}

QString VelaUserParams::Editing::Colors::Color2()
{
    return QStringLiteral("editing.colors.Color_2");
}

QString VelaUserParams::Editing::Text::Antialiasing()
{
    return QStringLiteral("GUI_options_and_effects.group1.TextAl");
}

QString VelaUserParams::Performance::OpenCL::OPENCL()
{
    return QStringLiteral("performance.open_cl.open_cl");
}

QString VelaUserParams::PlatformSpecificSetting::DoNotUseSystemDlg()
{
    return QStringLiteral("platform_specific_setting.system_dialogs.Do_not_use_sys_dlg");
}

QString VelaUserParams::PlatformSpecificSetting::JpegOpt::DctMethod()
{
    return QStringLiteral("platform_specific_setting.jpeg_opt.dctMethod");
}

QString VelaUserParams::PlatformSpecificSetting::JpegOpt::IsHuffman()
{
    return QStringLiteral("platform_specific_setting.jpeg_opt.isHuffman");
}

QString VelaUserParams::PlatformSpecificSetting::JpegOpt::ProgressiveMode()
{
    return QStringLiteral("platform_specific_setting.jpeg_opt.progressiveMode");
}

QString VelaUserParams::PlatformSpecificSetting::JpegOpt::Quality()
{
    return QStringLiteral("platform_specific_setting.jpeg_opt.quality");
}

QString VelaUserParams::PlatformSpecificSetting::JpegOpt::SmoothingFactor()
{
    return QStringLiteral("platform_specific_setting.jpeg_opt.smoothingFactor");
}

QString VelaUserParams::PlatformSpecificSetting::PngOpt::Alfa()
{
    return QStringLiteral("platform_specific_setting.png_opt.alfa");
}

QString VelaUserParams::PlatformSpecificSetting::PngOpt::InterlaceMethod()
{
    return QStringLiteral("platform_specific_setting.png_opt.interlaceMethod");
}

QString VelaUserParams::PlatformSpecificSetting::PngOpt::IsEmbeddedProfile()
{
    return QStringLiteral("platform_specific_setting.png_opt.isEmbeddedProfile");
}

QString VelaUserParams::PlatformSpecificSetting::PngOpt::Quality()
{
    return QStringLiteral("platform_specific_setting.png_opt.quality");
}

QString VelaUserParams::PlatformSpecificSetting::TiffOpt::CompressionTech()
{
    return QStringLiteral("platform_specific_setting.tiff_opt.compressionTech");
}

QString VelaUserParams::PlatformSpecificSetting::TiffOpt::Is256Color()
{
    return QStringLiteral("platform_specific_setting.tiff_opt.is256Color");
}

QString VelaUserParams::PlatformSpecificSetting::TiffOpt::IsEmbeddedProfile()
{
    return QStringLiteral("platform_specific_setting.tiff_opt.isEmbeddedProfile");
}

QString VelaUserParams::ProxySettings::Proxy::PROXYHOSTNAME()
{
    return QStringLiteral("network.proxy_group.proxyhostname");
}

QString VelaUserParams::ProxySettings::Proxy::PROXYPORT()
{
    return QStringLiteral("network.proxy_group.proxyport");
}

QString VelaUserParams::ProxySettings::Proxy::PROXYTYPE()
{
    return QStringLiteral("network.proxy_group.proxytype");
}
