#pragma once

#include <QHash>
#include <QString>

// One reference tag of the tag table: what a tag identifier stands for.
struct TTagMTConnect {
    QString ID;
    QString Name;
    QString Description;
    QString Unit;

    void Fill(const QString& id, const QString& name, const QString& description,
              const QString& unit) {
        ID = id;
        Name = name;
        Description = description;
        Unit = unit;
    }
};

// The tag table of one machine agent, keyed by the exact tag identifier. Shared by
// reference between the agent, its data process and its spokesman, under the rules mutex.
using TTagMTConnectDict = QHash<QString, TTagMTConnect>;
