#pragma once

#include <QString>

// Folders of the agent's files, inside the base folder; each is created when asked for.
class TPaths {
public:
    TPaths() = delete;

    static QString combine(const QString& parent, const QString& child);
    // The base folder joined with nameDir. Throws MeltrixError when it cannot be created.
    static QString generic(const QString& nameDir);
    static QString resumo();  // summary batches
    static QString regras();  // rule cache
};
