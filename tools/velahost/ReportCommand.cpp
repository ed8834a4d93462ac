// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostCommand.h"
#include "HostSession.h"

#include "BrushFactoryManager.h"
#include "GlobalApplicationData.h"
#include "VLApplicationSettings.h"
#include "VLExportResolutions.h"
#include "VLExportSizes.h"
#include "VLIOManager.h"
#include "VLPluginLoader.h"

#include <QCommandLineParser>
#include <QMetaEnum>

namespace {

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString languageText(const GlobalApplicationData *data, const QString &code)
{
    return QStringLiteral("%1 (index %2, %3)")
        .arg(code)
        .arg(data->FindLanguageIndex(code))
        .arg(data->GetLanguageName(code));
}

template<typename Policy>
QString policyText(Policy policy)
{
    const char *name = QMetaEnum::fromType<Policy>().valueToKey(policy);
    return QStringLiteral("%1 (%2)")
        .arg(int(policy))
        .arg(name ? QString::fromLatin1(name) : QStringLiteral("unknown"));
}

} // namespace

VELAHOST_COMMAND(report, "report", "report",
                 "Start the library as the editor does and show what it knows (the default).")
{
    QCommandLineParser parser;
    ParseHostArguments(parser, context, QStringLiteral("Show what the library knows."));

    const HostSession session;
    const GlobalApplicationData *data = GlobalApplicationData::Instance();

    QTextStream &out = context.out;
    out << "Application folder:    " << data->GetAppFolderPath() << '\n';
    out << "Per-user data folder:  " << data->GetAppDataFolderPath() << '\n';
    out << "Settings file:         " << VLApplicationSettings::GetFileName() << '\n';
    out << "Log file:              " << data->GetLogFileName() << '\n';
    out << "Build string:          " << data->GetBuildString() << '\n';
    out << "Features blob:         " << GlobalApplicationData::GetFeaturesData().size()
        << " bytes\n";
    out << "Settings version:      "
        << VLApplicationSettings::GetValue(QStringLiteral("Version")).toString() << '\n';
    out << "Stored language:       " << languageText(data, data->GetLanguage()) << '\n';
    out << "Current language:      " << languageText(data, data->GetCurrentLanguage()) << '\n';
    out << "Theme search path:     " << data->GetThemeSearchPath() << '\n';
    out << "Current theme path:    " << data->GetCurrentThemeSearchPath() << '\n';
    out << "Grid:                  visible " << yesNo(data->IsGridVisible()) << ", snap "
        << yesNo(data->IsSnapToGrid()) << '\n';
    out << "Guides:                visible " << yesNo(data->IsGuidesVisible()) << ", snap "
        << yesNo(data->IsSnapToGuides()) << '\n';
    out << "Missing profile:       " << policyText(data->GetColorManagementMissingPolicy()) << '\n';
    out << "Equal profiles:        " << policyText(data->GetColorManagementEqualPolicy()) << '\n';
    out << "Different profiles:    " << policyText(data->GetColorManagementNotEqualPolicy())
        << '\n';
    out << "Colour space mismatch: "
        << policyText(data->GetColorManagementColorSpaceMismatchPolicy()) << '\n';
    const QStringList patterns = data->GetPatternsFileList();
    out << "Pattern files:         " << patterns.size() << '\n';
    for (const QString &pattern : patterns)
        out << "    " << pattern << '\n';

    const QStringList plugins = VLPluginLoader::Instance()->GetLoadList();
    out << "Plug-in files:         " << plugins.size() << '\n';
    for (const QString &plugin : plugins)
        out << "    " << plugin << " (state " << VLPluginLoader::Instance()->GetState(plugin)
            << ")\n";
    QStringList brushTypes = BrushFactoryManager::instance()->enumerate().values();
    brushTypes.sort();
    out << "Brush types:           " << brushTypes.join(QStringLiteral(", ")) << '\n';
    out << "Image readers:         "
        << VLIOManager::Instance()->GetInputs().join(QStringLiteral(", ")) << '\n';
    out << "Image writers:         "
        << VLIOManager::Instance()->GetOutputs().join(QStringLiteral(", ")) << '\n';
    out << "Recent files:          " << VLIOManager::Instance()->GetRecent().size() << " of "
        << VLIOManager::Instance()->GetRecentLimit() << '\n';
    out << "Export resolutions:    " << VLExportResolutions::GetSize() << '\n';
    out << "Export sizes:          " << VLExportSizes::GetSize() << '\n';
    return 0;
}
