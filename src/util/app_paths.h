#pragma once

#include <QString>

// Where the installation keeps its files. No other code builds these paths.
//  - base folder: MELTRIX_HOME when set, else the folder of the running executable;
//  - title: the executable's file name without extension (it also selects the brand);
//  - change histories: the user's generic data folder + "MeltrixHistory".
namespace app_paths {

QString BaseFolder();
QString Title();
QString ListFile();      // <base>/<title>.cfg
QString SettingsFile();  // <base>/<title>.ini
QString LogsFolder();    // <base>/Logs
QString ResumoFolder();  // <base>/Resumo
QString RegrasFolder();  // <base>/Regras
QString HistoryFolder();
QString ComputerName();  // COMPUTERNAME when set, else the host name

// Lets a test run as another brand's executable; an empty text restores the real title.
void OverrideTitle(const QString& title);

}  // namespace app_paths
