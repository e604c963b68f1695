#include "pipeline/script/script_lexer.h"

#include <charconv>
#include <limits>
#include <string>
#include <utility>

namespace {

struct KeywordName {
    const char* name;
    Keyword keyword;
};

constexpr KeywordName kKeywords[] = {
    {"and", Keyword::And},       {"begin", Keyword::Begin},     {"break", Keyword::Break},
    {"case", Keyword::Case},     {"const", Keyword::Const},     {"continue", Keyword::Continue},
    {"div", Keyword::Div},       {"do", Keyword::Do},           {"downto", Keyword::Downto},
    {"else", Keyword::Else},     {"end", Keyword::End},         {"except", Keyword::Except},
    {"exit", Keyword::Exit},     {"false", Keyword::False},     {"finally", Keyword::Finally},
    {"for", Keyword::For},       {"function", Keyword::Function}, {"if", Keyword::If},
    {"in", Keyword::In},         {"mod", Keyword::Mod},         {"not", Keyword::Not},
    {"null", Keyword::Null},     {"of", Keyword::Of},           {"or", Keyword::Or},
    {"procedure", Keyword::Procedure},
    {"repeat", Keyword::Repeat}, {"shl", Keyword::Shl},         {"shr", Keyword::Shr},
    {"then", Keyword::Then},     {"to", Keyword::To},           {"true", Keyword::True},
    {"try", Keyword::Try},       {"until", Keyword::Until},     {"var", Keyword::Var},
    {"while", Keyword::While},   {"xor", Keyword::Xor},
};

struct SymbolText {
    const char* text;
    Symbol symbol;
};

// Two-character symbols first, so that ":=" is not read as ":" and "=".
constexpr SymbolText kSymbols[] = {
    {":=", Symbol::Assign},      {"<>", Symbol::NotEqual},   {"<=", Symbol::LessOrEqual},
    {">=", Symbol::GreaterOrEqual}, {"..", Symbol::DotDot},  {"+", Symbol::Plus},
    {"-", Symbol::Minus},        {"*", Symbol::Star},        {"/", Symbol::Slash},
    {"=", Symbol::Equal},        {"<", Symbol::Less},        {">", Symbol::Greater},
    {"(", Symbol::LeftParen},    {")", Symbol::RightParen},  {"[", Symbol::LeftBracket},
    {"]", Symbol::RightBracket}, {",", Symbol::Comma},       {";", Symbol::Semicolon},
    {":", Symbol::Colon},        {".", Symbol::Dot},
};

bool IsDigit(QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; }
bool IsHexDigit(QChar c) {
    return IsDigit(c) || (c.unicode() >= u'a' && c.unicode() <= u'f') ||
           (c.unicode() >= u'A' && c.unicode() <= u'F');
}
bool IsIdentifierStart(QChar c) { return c == u'_' || c.isLetter(); }
bool IsIdentifierPart(QChar c) { return IsIdentifierStart(c) || c.isDigit(); }

class Lexer {
public:
    explicit Lexer(const QString& source) : FSource(source) {}

    std::vector<Token> run() {
        std::vector<Token> tokens;
        for (;;) {
            skipBlanksAndComments();
            Token token = next();
            const bool atEnd = token.kind == TokenKind::EndOfText;
            tokens.push_back(std::move(token));
            if (atEnd) return tokens;
        }
    }

private:
    QChar peek(qsizetype ahead = 0) const {
        const qsizetype at = FAt + ahead;
        return at < FSource.size() ? FSource.at(at) : QChar();
    }
    bool atEnd() const { return FAt >= FSource.size(); }

    void advance() {
        const QChar c = FSource.at(FAt++);
        if (c == u'\n' || (c == u'\r' && peek() != u'\n')) {
            ++FPosition.line;
            FPosition.column = 1;
        } else if (c != u'\r') {
            ++FPosition.column;
        }
    }

    [[noreturn]] void fail(const QString& description, SourcePosition at) const {
        throw ScriptCompileError(description, at);
    }

    void skipBlanksAndComments() {
        for (;;) {
            while (!atEnd() && peek().unicode() <= 32) advance();
            if (peek() == u'/' && peek(1) == u'/') {
                while (!atEnd() && peek() != u'\n' && peek() != u'\r') advance();
            } else if (peek() == u'{') {
                skipComment(QStringLiteral("}"));
            } else if (peek() == u'(' && peek(1) == u'*') {
                skipComment(QStringLiteral("*)"));
            } else {
                return;
            }
        }
    }

    void skipComment(const QString& closing) {
        const SourcePosition start = FPosition;
        advance();
        if (closing.size() > 1) advance();
        while (!atEnd() && !QStringView(FSource).mid(FAt).startsWith(closing)) advance();
        if (atEnd()) fail(QStringLiteral("Unterminated comment"), start);
        for (qsizetype i = 0; i < closing.size(); ++i) advance();
    }

    Token next() {
        Token token;
        token.at = FPosition;
        const qsizetype start = FAt;
        if (atEnd()) {
            token.text = QStringLiteral("end of file");
            return token;
        }
        const QChar c = peek();
        if (IsIdentifierStart(c)) {
            readWord(token);
        } else if (IsDigit(c) || c == u'$') {
            readNumber(token);
        } else if (c == u'\'' || c == u'#') {
            readText(token);
        } else {
            readSymbol(token);
        }
        if (token.text.isEmpty()) token.text = FSource.mid(start, FAt - start);
        return token;
    }

    void readWord(Token& token) {
        const qsizetype start = FAt;
        while (!atEnd() && IsIdentifierPart(peek())) advance();
        token.text = FSource.mid(start, FAt - start);
        token.kind = TokenKind::Identifier;
        for (const KeywordName& entry : kKeywords) {
            if (token.text.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0) {
                token.kind = TokenKind::Keyword;
                token.keyword = entry.keyword;
                return;
            }
        }
    }

    std::string readDigits(bool hexadecimal) {
        std::string digits;
        while (!atEnd() && (hexadecimal ? IsHexDigit(peek()) : IsDigit(peek()))) {
            digits += static_cast<char>(peek().unicode());
            advance();
        }
        return digits;
    }

    // Reads digits after '$' (hexadecimal) or plain decimal digits as an unsigned number.
    quint64 readUnsigned(bool hexadecimal, SourcePosition at, bool& tooLarge) {
        const std::string digits = readDigits(hexadecimal);
        if (digits.empty()) fail(QStringLiteral("Syntax error in number"), at);
        quint64 value = 0;
        const auto result =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, hexadecimal ? 16 : 10);
        tooLarge = result.ec != std::errc();
        return value;
    }

    void readNumber(Token& token) {
        token.kind = TokenKind::Literal;
        bool tooLarge = false;
        if (peek() == u'$') {
            advance();
            const quint64 value = readUnsigned(true, token.at, tooLarge);
            if (tooLarge) fail(QStringLiteral("Integer constant too large"), token.at);
            token.literal = ScriptValue::Integer(static_cast<qint64>(value));
            return;
        }
        const qsizetype start = FAt;
        const quint64 value = readUnsigned(false, token.at, tooLarge);
        bool real = false;
        if (peek() == u'.' && IsDigit(peek(1))) {
            advance();
            readDigits(false);
            real = true;
        }
        if ((peek() == u'e' || peek() == u'E') &&
            (IsDigit(peek(1)) || ((peek(1) == u'+' || peek(1) == u'-') && IsDigit(peek(2))))) {
            advance();
            if (!IsDigit(peek())) advance();
            readDigits(false);
            real = true;
        }
        if (!real && !tooLarge && value <= quint64{std::numeric_limits<qint64>::max()}) {
            token.literal = ScriptValue::Integer(static_cast<qint64>(value));
            return;
        }
        const std::string text = FSource.mid(start, FAt - start).toStdString();
        double parsed = 0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
        if (result.ec != std::errc()) fail(QStringLiteral("Number out of range"), token.at);
        token.literal = ScriptValue::Double(parsed);
    }

    // 'quoted' parts and #code parts, written next to each other, make one text.
    void readText(Token& token) {
        token.kind = TokenKind::Literal;
        QString value;
        while (peek() == u'\'' || peek() == u'#') {
            if (peek() == u'\'') {
                readQuoted(value, token.at);
            } else {
                readCharacterCode(value, token.at);
            }
        }
        token.literal = ScriptValue::String(std::move(value));
    }

    void readQuoted(QString& value, SourcePosition start) {
        advance();
        for (;;) {
            if (atEnd() || peek() == u'\n' || peek() == u'\r')
                fail(QStringLiteral("Unterminated string"), start);
            if (peek() == u'\'') {
                advance();
                if (peek() != u'\'') return;
            }
            value += peek();
            advance();
        }
    }

    void readCharacterCode(QString& value, SourcePosition start) {
        advance();
        const bool hexadecimal = peek() == u'$';
        if (hexadecimal) advance();
        bool tooLarge = false;
        const quint64 number = readUnsigned(hexadecimal, start, tooLarge);
        if (tooLarge || number > 0xFFFF) fail(QStringLiteral("Character code out of range"), start);
        value += QChar(static_cast<char16_t>(number));
    }

    void readSymbol(Token& token) {
        for (const SymbolText& entry : kSymbols) {
            const QLatin1String text(entry.text);
            if (QStringView(FSource).mid(FAt).startsWith(text)) {
                for (qsizetype i = 0; i < text.size(); ++i) advance();
                token.kind = TokenKind::Symbol;
                token.symbol = entry.symbol;
                return;
            }
        }
        const QString code = QString::number(peek().unicode(), 16).toUpper();
        fail(QStringLiteral("Illegal character in input file: '%1' ($%2)")
                 .arg(peek())
                 .arg(code.rightJustified(4, u'0')),
             FPosition);
    }

    const QString& FSource;
    qsizetype FAt = 0;
    SourcePosition FPosition;
};

}  // namespace

std::vector<Token> Tokenize(const QString& source) { return Lexer(source).run(); }

QString Describe(const Token& token) {
    if (token.kind == TokenKind::EndOfText) return token.text;
    return QStringLiteral("'%1'").arg(token.text);
}
