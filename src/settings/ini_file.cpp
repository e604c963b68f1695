#include "settings/ini_file.h"

#include "settings/simple_ini.h"
#include "util/code_page.h"
#include "util/error.h"

#include <QFileInfo>

#include <optional>
#include <string>

namespace {

using Ini = CSimpleIniW;  // UTF-16 names and values, case-insensitive like Windows profiles

const UChar* Chars(const QString& text) { return reinterpret_cast<const UChar*>(text.utf16()); }

// Opened fresh for every call, as the profile functions do.
class Document {
public:
    explicit Document(const QString& fileName) : FFileName(fileName), FIni(true) {
        FIni.SetSpaces(false);
        if (!QFileInfo::exists(fileName)) return;
        const QByteArray data = code_page::ReadTextFile(fileName).toUtf8();
        if (FIni.LoadData(data.constData(), static_cast<size_t>(data.size())) < 0)
            throw MeltrixError(QStringLiteral("Cannot read \"%1\": out of memory").arg(fileName));
    }

    std::optional<QString> value(const QString& section, const QString& key) const {
        const UChar* found = FIni.GetValue(Chars(section), Chars(key), nullptr);
        if (found == nullptr) return std::nullopt;
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(found));
    }

    void setValue(const QString& section, const QString& key, const QString& value) {
        if (FIni.SetValue(Chars(section), Chars(key), Chars(value)) < 0)
            throw MeltrixError(QStringLiteral("Cannot write \"%1\": out of memory").arg(FFileName));
        save();
    }

    void deleteKey(const QString& section, const QString& key) {
        if (FIni.Delete(Chars(section), Chars(key), false)) save();
    }

private:
    void save() const {
        std::string data;
        if (FIni.Save(data, false) < 0)
            throw MeltrixError(QStringLiteral("Cannot write \"%1\": out of memory").arg(FFileName));
        code_page::WriteTextFile(FFileName, QString::fromStdString(data));
    }

    QString FFileName;
    Ini FIni;
};

void RefuseLineBreaks(const QString& key, const QString& value) {
    if (value.contains(u'\r') || value.contains(u'\n') || value.contains(QChar(0)))
        throw MeltrixError(QStringLiteral("The value of \"%1\" cannot hold a line break").arg(key));
}

}  // namespace

TIniFile::TIniFile(QString fileName) : FFileName(std::move(fileName)) {}

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const {
    return Document(FFileName).value(section, key).value_or(defaultValue);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    bool isNumber = false;
    const int value = ReadString(section, key, QString()).toInt(&isNumber, 10);
    return isNumber ? value : defaultValue;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    RefuseLineBreaks(key, value);
    Document(FFileName).setValue(section, key, value);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteInteger(section, key, value ? 1 : 0);
}

void TIniFile::DeleteKey(const QString& section, const QString& key) {
    Document(FFileName).deleteKey(section, key);
}
