#pragma once

#include <QByteArray>
#include <QStringList>

// Splits what an agent sends on the machine link into its messages: lines ended by CR LF
// (or a lone LF) and the keep-alive "Hello world!", which comes without a line end and may
// sit right before the next line. Bytes of an unfinished message wait for the rest, up to
// 64 KiB; a longer unfinished line is handed out as it is.
class TAgentTextReader {
public:
    static QString KeepAlive();

    void append(const QByteArray& bytes);
    // The complete messages received so far, in order, without their line ends; blank lines
    // are dropped.
    QStringList takeMessages();

private:
    bool takeKeepAlive(QStringList& messages);
    bool takeLine(QStringList& messages);

    QByteArray FPending;
};
