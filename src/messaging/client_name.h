#pragma once

#include <QString>

// The process-wide client name ("meltrix_" + computer name) that machine agents answer
// GETCLIENTNAME with. The installation controller sets it at each connection of its own
// broker client; it is empty until then. Safe from any thread.
namespace client_name {

QString Current();
void Set(const QString& name);

}  // namespace client_name
