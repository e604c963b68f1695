#include "shdr-sim/agent_text_reader.h"

#include "util/code_page.h"

namespace {
// A peer that never ends its line cannot make the simulator hold an unbounded buffer.
constexpr qsizetype kLongestLine = 64 * 1024;
}  // namespace

QString TAgentTextReader::KeepAlive() { return QStringLiteral("Hello world!"); }

void TAgentTextReader::append(const QByteArray& bytes) { FPending += bytes; }

QStringList TAgentTextReader::takeMessages() {
    QStringList messages;
    while (takeKeepAlive(messages) || takeLine(messages)) {
    }
    if (FPending.size() > kLongestLine) {
        messages.append(code_page::Decode(FPending));
        FPending.clear();
    }
    return messages;
}

bool TAgentTextReader::takeKeepAlive(QStringList& messages) {
    const QByteArray keepAlive = KeepAlive().toLatin1();
    if (!FPending.startsWith(keepAlive)) return false;
    FPending.remove(0, keepAlive.size());
    messages.append(KeepAlive());
    return true;
}

bool TAgentTextReader::takeLine(QStringList& messages) {
    const qsizetype lineEnd = FPending.indexOf('\n');
    if (lineEnd < 0) return false;
    QByteArray line = FPending.left(lineEnd);
    FPending.remove(0, lineEnd + 1);
    while (line.endsWith('\r')) line.chop(1);
    if (!line.trimmed().isEmpty()) messages.append(code_page::Decode(line));
    return true;
}
