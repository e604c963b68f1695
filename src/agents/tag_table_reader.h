#pragma once

#include "rules/tag_mtconnect.h"
#include "util/log_types.h"

#include <QString>

// Replaces the tag table from a TABREFERENCIA document (a JSON array of objects with "tag",
// "name", "description" and "unit"). A payload that is not JSON leaves the table as it was;
// a malformed element throws MeltrixError after the entries before it were added. The caller
// holds the rules mutex.
void readTabReferencia(const QString& payload, TTagMTConnectDict& table, const TProcRegLog3& log);
