#pragma once

#include <QByteArray>
#include <QtGlobal>

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : FName(name), FHad(qEnvironmentVariableIsSet(name)), FOld(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (FHad)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* FName;
    bool FHad;
    QByteArray FOld;
};
