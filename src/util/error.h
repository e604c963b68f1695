#pragma once

#include <QString>

#include <exception>
#include <string>

// The one exception type of the system: failures inside a step carry a message that
// handlers log at their boundary.
class MeltrixError : public std::exception {
public:
    explicit MeltrixError(QString message)
        : FMessage(std::move(message)), FUtf8(FMessage.toStdString()) {}

    const QString& message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.c_str(); }

private:
    QString FMessage;
    std::string FUtf8;
};

// The text of any failure caught at a boundary, for its log line.
inline QString ErrorMessage(const std::exception& error) {
    if (const auto* meltrix = dynamic_cast<const MeltrixError*>(&error)) return meltrix->message();
    return QString::fromUtf8(error.what());
}
