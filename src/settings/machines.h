#pragma once

#include "settings/machine_table.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

// The machine list of the installation as the rest of the system uses it.
class IMachines {
public:
    virtual ~IMachines() = default;

    // 0 first, then one more at each call; never reset within a run.
    virtual int GetNextID() = 0;

    // Writes the whole table to the list file. Throws MeltrixError when the file cannot be
    // written (the previous file is then left as it was); true otherwise.
    virtual bool saveToDisk() = 0;

    // Replaces the table's rows by the list file's records (none when the file is missing).
    // Returns one log line per damage found: what can be read of a damaged record is
    // loaded, a piece that is not a record is skipped, a port that is not a number loads
    // as 0.
    // Throws MeltrixError when the file exists but cannot be read; the table is then
    // left as it was, so a later save cannot wipe the list.
    virtual QStringList loadFromDisk() = 0;

    // Empty serial: removes the table's current row (false when there is none).
    // Otherwise removes the first row whose SERIAL equals it exactly; false when none.
    virtual bool remove(const QString& serial) = 0;
};

// The process-wide machine list over the installation controller's machine table.
// Main thread only.
class TMachines : public IMachines {
public:
    // Creates the single instance on the first call; every call points it at memList.
    static std::shared_ptr<IMachines> initialise(TMachineTable& memList);
    // Throws MeltrixError "TMachines is not initialized" before initialise.
    static std::shared_ptr<IMachines> instance();
    // Drops the process-wide reference (program end, tests); the next initialise makes a
    // fresh instance whose identifiers start again at 0.
    static void resetInstance();

    int GetNextID() override;
    bool saveToDisk() override;
    QStringList loadFromDisk() override;
    bool remove(const QString& serial) override;

private:
    TMachines() = default;
    TMachineTable& table() const;  // throws MeltrixError when the table is gone

    qint32 NextID = 0;
    QPointer<TMachineTable> memList;  // not owned
};
