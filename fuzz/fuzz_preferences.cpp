// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The preferences document over garbage: the start-up load, every typed
// accessor, a save and a second load must neither crash nor hang, and what
// the save wrote must load back to the same answers.
//
// The fuzzers live away from the shipped application folder, so there is no
// default document to install over the user's: the input itself is what the
// load reads.

#include "FuzzSupport.h"

#include "GlobalApplicationData.h"

#include <QColor>
#include <QDir>

#include <cstdlib>

namespace {

QStringList answers(GlobalApplicationData *data)
{
    return {data->DefImageType(),
            data->LastVisitedFolder(),
            QString::number(data->RememberLastVisitedFolder()),
            QString::number(data->GetWorkingSpaceRGB()),
            QString::number(data->GetRGBManagementPolicy()),
            QString::number(data->GetTextAntialiasing()),
            data->GetUserBackgroundColor().name(QColor::HexArgb),
            data->GetUserColor1Color().name(QColor::HexArgb),
            data->GetUserColor2Color().name(QColor::HexArgb),
            QString::number(data->IsOpenCLEnabled()),
            QString::number(data->IsColorManagementEnabled()),
            QString::number(data->DoNotUseSystemDlg())};
}

QStringList load()
{
    GlobalApplicationData::InitInstance();
    GlobalApplicationData::Instance()->InitUserPreferences();
    return answers(GlobalApplicationData::Instance());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    VelaFuzz::Application();
    const QString folder = VelaFuzz::WorkFolder() + QStringLiteral("/Kelvane/");
    QDir().mkpath(folder);
    VelaFuzz::WriteInput(folder + QStringLiteral("properties.xml"), data, size);

    const QStringList first = load();
    GlobalApplicationData::Instance()->SetTextAntialiasing(
        GlobalApplicationData::Instance()->GetTextAntialiasing());
    GlobalApplicationData::Instance()->SaveUserPreferences();
    GlobalApplicationData::ReleaseInstance();

    const QStringList second = load();
    GlobalApplicationData::ReleaseInstance();
    if (first != second)
        std::abort();
    return 0;
}
