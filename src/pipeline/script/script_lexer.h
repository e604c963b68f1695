#pragma once

#include "pipeline/script/script_error.h"
#include "pipeline/script/script_value.h"

#include <QString>

#include <vector>

enum class TokenKind { Identifier, Keyword, Literal, Symbol, EndOfText };

enum class Keyword {
    None, And, Begin, Break, Case, Const, Continue, Div, Do, Downto, Else, End, Except, Exit,
    False, Finally, For, Function, If, In, Mod, Not, Null, Of, Or, Procedure, Repeat,
    Shl, Shr, Then, To, True, Try, Until, Var, While, Xor,
};

enum class Symbol {
    None, Assign, Plus, Minus, Star, Slash, Equal, NotEqual, Less, LessOrEqual, Greater,
    GreaterOrEqual, LeftParen, RightParen, LeftBracket, RightBracket, Comma, Semicolon, Colon,
    Dot, DotDot,
};

struct Token {
    TokenKind kind = TokenKind::EndOfText;
    Keyword keyword = Keyword::None;
    Symbol symbol = Symbol::None;
    QString text;         // as written (identifiers keep their spelling)
    ScriptValue literal;  // numbers and texts
    SourcePosition at;
};

// Splits a script into tokens. Case-insensitive keywords ("program" is not one: machines
// have tags of that name, which scripts read as constants); comments { }, (* *) and //;
// texts 'it''s' with #13 and #$0D codes; integers, $FF, reals. Throws ScriptCompileError.
std::vector<Token> Tokenize(const QString& source);

// How a token is named in "'x' expected but 'y' found".
QString Describe(const Token& token);
