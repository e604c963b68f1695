#include "settings/machines.h"

#include "util/app_paths.h"
#include "util/code_page.h"
#include "util/error.h"
#include "util/text.h"

#include <QFileInfo>

#include <optional>
#include <vector>

// The list file holds the whole table as one line: one record per row, in table order,
// each ending with "|", its fields separated by ":" with no escaping:
//   SERIAL:ENDERECO:PORTA:PROTOCOLO:NOME:ID_FABRICANTE:ID_LINHA:ID_MODELO:ENVIAR_STORAGE|
// Older lists may hold shorter records (at least serial, address and port; the missing
// fields load empty) or ten fields, the tenth being the storage flag.

namespace {

constexpr QChar FieldSeparator = u':';
constexpr QChar RecordEnd = u'|';
constexpr qsizetype SavedFieldCount = 9;
constexpr qsizetype MaxFieldCount = 10;

std::shared_ptr<TMachines>& Holder() {
    static std::shared_ptr<TMachines> holder;
    return holder;
}

QString FormatRecord(const TMachineRow& row) {
    const QStringList fields{row.Serial,
                             row.Endereco,
                             QString::number(row.Porta),
                             row.Protocolo,
                             row.Nome,
                             row.IDFabricante,
                             row.IDLinha,
                             row.IDModelo,
                             row.EnviarStorage ? QStringLiteral("True") : QStringLiteral("False")};
    return fields.join(FieldSeparator) + RecordEnd;
}

std::optional<bool> ReadBoolean(const QString& value) {
    const QString trimmed = text::Trim(value);
    if (trimmed.compare(u"True", Qt::CaseInsensitive) == 0) return true;
    if (trimmed.compare(u"False", Qt::CaseInsensitive) == 0) return false;
    bool isNumber = false;
    const int number = trimmed.toInt(&isNumber);
    if (isNumber) return number != 0;
    return std::nullopt;
}

// The text with the line end(s) after the list's line removed.
QString WithoutFinalLineEnd(QString text) {
    while (text.endsWith(u'\n') || text.endsWith(u'\r')) text.chop(1);
    return text;
}

// Reads the records of a list file. Damage is described in `problems`, never silent;
// everything that can be read from a damaged record is kept.
class RecordReader {
public:
    explicit RecordReader(QStringList& problems) : FProblems(problems) {}

    std::optional<TMachineRow> read(int number, const QString& piece) {
        FNumber = number;
        FPiece = piece;
        const QStringList fields = piece.split(FieldSeparator);
        if (fields.size() < 3) {
            if (!text::Trim(piece).isEmpty())
                report(QStringLiteral("fewer than three fields, skipped"));
            return std::nullopt;
        }
        if (fields.size() < SavedFieldCount)
            report(
                QStringLiteral("only %1 fields, the missing ones load empty").arg(fields.size()));
        if (fields.size() > MaxFieldCount)
            report(
                QStringLiteral("%1 fields, those after the tenth are ignored").arg(fields.size()));
        return rowOf(fields);
    }

private:
    TMachineRow rowOf(const QStringList& fields) {
        const auto field = [&](qsizetype position) {
            return position < fields.size() ? fields.at(position) : QString();
        };
        TMachineRow row;
        row.Serial = field(0);
        row.Endereco = field(1);
        row.Porta = portOf(field(2));
        row.Protocolo = field(3);
        row.Nome = field(4);
        row.IDFabricante = field(5);
        row.IDLinha = field(6);
        row.IDModelo = field(7);
        if (fields.size() >= SavedFieldCount)
            row.EnviarStorage = flagOf(fields.size() >= MaxFieldCount ? field(9) : field(8));
        return row;
    }

    int portOf(const QString& value) {
        bool isNumber = false;
        const int port = text::Trim(value).toInt(&isNumber, 10);
        if (isNumber) return port;
        report(QStringLiteral("port \"%1\" is not a number, loaded as 0").arg(value));
        return 0;
    }

    bool flagOf(const QString& value) {
        if (const auto flag = ReadBoolean(value)) return *flag;
        report(QStringLiteral("storage flag \"%1\" is not a boolean, loaded as False").arg(value));
        return false;
    }

    void report(const QString& problem) {
        FProblems << QStringLiteral("[TMachines.loadFromDisk] Record %1 \"%2\": %3")
                         .arg(FNumber)
                         .arg(text::Trim(FPiece), problem);
    }

    QStringList& FProblems;
    int FNumber = 0;
    QString FPiece;
};

}  // namespace

std::shared_ptr<IMachines> TMachines::initialise(TMachineTable& memList) {
    std::shared_ptr<TMachines>& holder = Holder();
    if (!holder) holder.reset(new TMachines);
    holder->memList = &memList;
    return holder;
}

std::shared_ptr<IMachines> TMachines::instance() {
    if (!Holder()) throw MeltrixError(QStringLiteral("TMachines is not initialized"));
    return Holder();
}

void TMachines::resetInstance() { Holder().reset(); }

TMachineTable& TMachines::table() const {
    if (memList.isNull())
        throw MeltrixError(QStringLiteral("[TMachines] The machine table no longer exists"));
    return *memList;
}

int TMachines::GetNextID() { return NextID++; }

bool TMachines::saveToDisk() {
    const TMachineTable& rows = table();
    QString line;
    for (int position = 0; position < rows.count(); ++position)
        line += FormatRecord(rows.at(position));
    code_page::WriteTextFile(app_paths::ListFile(), line + QStringLiteral("\r\n"));
    return true;
}

QStringList TMachines::loadFromDisk() {
    TMachineTable& rows = table();
    const QString path = app_paths::ListFile();
    if (!QFileInfo::exists(path)) {
        rows.clear();
        return {};
    }
    const QString content = WithoutFinalLineEnd(code_page::ReadTextFile(path));

    QStringList problems;
    RecordReader reader(problems);
    std::vector<TMachineRow> loaded;
    const QStringList pieces = content.split(RecordEnd);
    for (int number = 1; number <= pieces.size(); ++number) {
        if (auto row = reader.read(number, pieces.at(number - 1))) {
            row->ID = GetNextID();
            loaded.push_back(std::move(*row));
        }
    }
    rows.replaceAll(std::move(loaded));
    return problems;
}

bool TMachines::remove(const QString& serial) {
    TMachineTable& rows = table();
    const int position = serial.isEmpty() ? rows.currentRow() : rows.indexOfSerial(serial);
    if (position < 0) return false;
    rows.removeAt(position);
    return true;
}
