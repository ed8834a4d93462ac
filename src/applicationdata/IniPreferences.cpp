// SPDX-License-Identifier: LGPL-2.1-or-later
#include "private/GlobalApplicationDataParts_p.h"

#include "VLApplicationSettings.h"

#include <QVariant>

namespace {

// Nothing is cached: every read goes to the settings file.
QString storedString(const char *key, const QString &fallback)
{
    return VLApplicationSettings::GetValue(QLatin1String(key), fallback).toString();
}

bool storedFlag(const char *key, bool fallback)
{
    return VLApplicationSettings::GetValue(QLatin1String(key), fallback).toBool();
}

int storedNumber(const char *key, int fallback)
{
    return VLApplicationSettings::GetValue(QLatin1String(key), fallback).toInt();
}

void store(const char *key, const QVariant &value)
{
    VLApplicationSettings::SetValue(QLatin1String(key), value);
}

const char pathOpenKey[] = "Save/PathOpen";
const char pathExportKey[] = "Save/PathExport";
const char batchOpenKey[] = "Batch/Path/Open";
const char batchInputKey[] = "Batch/Path/Input";
const char batchOutputKey[] = "Batch/Path/Output";
const char gridVisibleKey[] = "GridSettings/Visible";
const char snapToGridKey[] = "GridSettings/SnapToGrid";
const char guidesVisibleKey[] = "GuidesSettings/Visible";
const char snapToGuidesKey[] = "GuidesSettings/SnapToGuides";
const char jpgCompressionKey[] = "MessagesAndConfirmationsSettings/ShowJPGCompressionSettings";
const char pngCompressionKey[] = "MessagesAndConfirmationsSettings/ShowPNGCompressionSettings";
const char tiffCompressionKey[] = "MessagesAndConfirmationsSettings/ShowTIFFCompressionSettings";
const char missingPolicyKey[] = "ColorManagement/MissingPolicy";
const char equalPolicyKey[] = "ColorManagement/EqualPolicy";
const char notEqualPolicyKey[] = "ColorManagement/NotEqualPolicy";
const char mismatchPolicyKey[] = "ColorManagement/ColorSpaceMismatchPolicy";
const char themePathKey[] = "Theme/Path";

} // namespace

QString GlobalApplicationData::GetPathOpen() const
{
    return storedString(pathOpenKey, QString());
}

void GlobalApplicationData::SetPathOpen(const QString &path)
{
    store(pathOpenKey, path);
}

QString GlobalApplicationData::GetExportPath() const
{
    return storedString(pathExportKey, GetPathOpen());
}

void GlobalApplicationData::SetExportPath(const QString &path)
{
    store(pathExportKey, path);
}

QString GlobalApplicationData::GetBatchOpenPath() const
{
    return storedString(batchOpenKey, GetPathOpen());
}

void GlobalApplicationData::SetBatchOpenPath(const QString &path)
{
    store(batchOpenKey, path);
}

QString GlobalApplicationData::GetBatchInputPath() const
{
    return storedString(batchInputKey, GetPathOpen());
}

void GlobalApplicationData::SetBatchInputPath(const QString &path)
{
    store(batchInputKey, path);
}

QString GlobalApplicationData::GetBatchOutputPath() const
{
    return storedString(batchOutputKey, GetBatchInputPath());
}

void GlobalApplicationData::SetBatchOutputPath(const QString &path)
{
    store(batchOutputKey, path);
}

bool GlobalApplicationData::IsGridVisible() const
{
    return storedFlag(gridVisibleKey, false);
}

void GlobalApplicationData::SetGridVisible(bool visible)
{
    store(gridVisibleKey, visible);
}

bool GlobalApplicationData::IsSnapToGrid() const
{
    return storedFlag(snapToGridKey, false);
}

void GlobalApplicationData::SetSnapToGrid(bool snap)
{
    store(snapToGridKey, snap);
}

bool GlobalApplicationData::IsGuidesVisible() const
{
    return storedFlag(guidesVisibleKey, false);
}

void GlobalApplicationData::SetGuidesVisible(bool visible)
{
    store(guidesVisibleKey, visible);
}

bool GlobalApplicationData::IsSnapToGuides() const
{
    return storedFlag(snapToGuidesKey, false);
}

void GlobalApplicationData::SetSnapToGuides(bool snap)
{
    store(snapToGuidesKey, snap);
}

bool GlobalApplicationData::IsJPGCompressionVisible()
{
    return storedFlag(jpgCompressionKey, true);
}

void GlobalApplicationData::SetJPGCompressionVisible(bool visible)
{
    store(jpgCompressionKey, visible);
}

bool GlobalApplicationData::IsPNGCompressionVisible()
{
    return storedFlag(pngCompressionKey, true);
}

void GlobalApplicationData::SetPNGCompressionVisible(bool visible)
{
    store(pngCompressionKey, visible);
}

bool GlobalApplicationData::IsTIFFCompressionVisible()
{
    return storedFlag(tiffCompressionKey, true);
}

void GlobalApplicationData::SetTIFFCompressionVisible(bool visible)
{
    store(tiffCompressionKey, visible);
}

// A stored policy comes back as stored, even outside the enumeration.
GlobalApplicationData::ColorManagementMissingPolicies
GlobalApplicationData::GetColorManagementMissingPolicy() const
{
    return ColorManagementMissingPolicies(
        storedNumber(missingPolicyKey, MissingPolicyLeaveUnmanaged));
}

void GlobalApplicationData::SetColorManagementMissingPolicy(ColorManagementMissingPolicies policy)
{
    store(missingPolicyKey, int(policy));
}

GlobalApplicationData::ColorManagementEqualPolicies
GlobalApplicationData::GetColorManagementEqualPolicy() const
{
    return ColorManagementEqualPolicies(storedNumber(equalPolicyKey, EqualPolicyKeepEmbedded));
}

void GlobalApplicationData::SetColorManagementEqualPolicy(ColorManagementEqualPolicies policy)
{
    store(equalPolicyKey, int(policy));
}

GlobalApplicationData::ColorManagementNotEqualPolicies
GlobalApplicationData::GetColorManagementNotEqualPolicy() const
{
    return ColorManagementNotEqualPolicies(
        storedNumber(notEqualPolicyKey, NotEqualPolicyConvertToWorkingSpace));
}

void GlobalApplicationData::SetColorManagementNotEqualPolicy(ColorManagementNotEqualPolicies policy)
{
    store(notEqualPolicyKey, int(policy));
}

GlobalApplicationData::ColorManagementColorSpaceMismatchPolicies
GlobalApplicationData::GetColorManagementColorSpaceMismatchPolicy() const
{
    return ColorManagementColorSpaceMismatchPolicies(
        storedNumber(mismatchPolicyKey, ColorSpaceMismatchPolicyConvert));
}

void GlobalApplicationData::SetColorManagementColorSpaceMismatchPolicy(
    ColorManagementColorSpaceMismatchPolicies policy)
{
    store(mismatchPolicyKey, int(policy));
}

QString GlobalApplicationData::GetThemeSearchPath() const
{
    // The dark theme is compiled into the editor's resources.
    return storedString(themePathKey, QStringLiteral(":/Dark"));
}

void GlobalApplicationData::SetThemeSearchPath(const QString &path)
{
    store(themePathKey, path);
}

QString GlobalApplicationData::GetCurrentThemeSearchPath() const
{
    return copyLocked(d_func(), &GlobalApplicationDataPrivate::currentThemeSearchPath);
}
