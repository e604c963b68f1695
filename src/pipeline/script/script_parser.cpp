#include "pipeline/script/script_parser.h"

#include "pipeline/script/script_lexer.h"
#include "pipeline/script/script_names.h"

#include <algorithm>

namespace {

using script_operators::BinaryOperator;

struct TypeEntry {
    const char* name;
    ScriptType type;
};

constexpr TypeEntry kTypes[] = {
    {"integer", ScriptType::Integer},  {"int64", ScriptType::Integer},
    {"cardinal", ScriptType::Integer}, {"longint", ScriptType::Integer},
    {"word", ScriptType::Integer},     {"byte", ScriptType::Integer},
    {"double", ScriptType::Double},    {"real", ScriptType::Double},
    {"extended", ScriptType::Double},  {"currency", ScriptType::Double},
    {"single", ScriptType::Double},    {"string", ScriptType::String},
    {"char", ScriptType::String},      {"boolean", ScriptType::Boolean},
    {"variant", ScriptType::Variant},  {"tdatetime", ScriptType::Variant},
};

struct Declared {
    VariableRef ref;
    bool constant = false;
};

// A call or bare name whose meaning is known only once the whole script is read: a routine
// declared further down, or a free name for the engine to bind.
struct PendingName {
    Expr* node;
    QString name;
    bool asCall;
};

class Parser {
public:
    explicit Parser(const QString& source) : FTokens(Tokenize(source)) {}

    std::shared_ptr<const ScriptProgram> program() {
        declareProgramResult();
        skipProgramHeading();
        declarations();
        FProgram->main = statementList();
        acceptSymbol(Symbol::Dot);
        if (current().kind != TokenKind::EndOfText) expected(QStringLiteral("';'"));
        resolvePendingNames();
        return FProgram;
    }

    std::vector<Parameter> parameterDefinition() {
        std::vector<Parameter> result;
        if (current().kind != TokenKind::EndOfText) result = parameters();
        if (current().kind != TokenKind::EndOfText) expected(QStringLiteral("';'"));
        return result;
    }

private:
    // Counts nesting while parsing one statement or factor.
    class NestingGuard {
    public:
        explicit NestingGuard(Parser& parser) : FParser(parser) {
            if (++FParser.FNesting > kMaxNesting)
                throw ScriptCompileError(QStringLiteral("Statement or expression nested too deeply"),
                                         FParser.current().at);
        }
        ~NestingGuard() { --FParser.FNesting; }
        NestingGuard(const NestingGuard&) = delete;
        NestingGuard& operator=(const NestingGuard&) = delete;

    private:
        Parser& FParser;
    };

    // ---- tokens ----

    const Token& current() const { return FTokens[FAt]; }
    const Token& lookahead(size_t ahead) const {
        return FTokens[std::min(FAt + ahead, FTokens.size() - 1)];
    }
    const Token& take() {
        const Token& token = FTokens[FAt];
        if (token.kind != TokenKind::EndOfText) ++FAt;
        return token;
    }
    bool isKeyword(Keyword keyword) const {
        return current().kind == TokenKind::Keyword && current().keyword == keyword;
    }
    bool isSymbol(Symbol symbol) const {
        return current().kind == TokenKind::Symbol && current().symbol == symbol;
    }
    bool acceptKeyword(Keyword keyword) {
        if (!isKeyword(keyword)) return false;
        take();
        return true;
    }
    bool acceptSymbol(Symbol symbol) {
        if (!isSymbol(symbol)) return false;
        take();
        return true;
    }
    [[noreturn]] void expected(const QString& what) const {
        throw ScriptCompileError(
            QStringLiteral("%1 expected but %2 found").arg(what, Describe(current())), current().at);
    }
    void expectKeyword(Keyword keyword, const char* text) {
        if (!acceptKeyword(keyword)) expected(QLatin1String(text));
    }
    void expectSymbol(Symbol symbol, const char* text) {
        if (!acceptSymbol(symbol)) expected(QLatin1String(text));
    }
    const Token& identifierToken() {
        if (current().kind != TokenKind::Identifier) expected(QStringLiteral("Identifier"));
        return take();
    }
    QString identifier() { return identifierToken().text; }

    // ---- declarations ----

    // "program Name;" is optional; "program" alone is an ordinary name.
    void skipProgramHeading() {
        const bool heading = current().kind == TokenKind::Identifier &&
                             current().text.compare(QLatin1String("program"), Qt::CaseInsensitive) == 0 &&
                             lookahead(1).kind == TokenKind::Identifier && lookahead(2).kind == TokenKind::Symbol &&
                             lookahead(2).symbol == Symbol::Semicolon;
        if (heading) FAt += 3;
    }

    void declareProgramResult() {
        VariableDecl result;
        result.name = QStringLiteral("Result");
        FProgram->globals.push_back(std::move(result));
        FGlobals.emplace(QStringLiteral("Result"), Declared{VariableRef{false, 0}, false});
    }

    bool inRoutine() const { return FRoutine >= 0; }
    Routine& routine() { return FProgram->routines[static_cast<size_t>(FRoutine)]; }

    void declarations() {
        for (;;) {
            if (acceptKeyword(Keyword::Var)) {
                variableSection();
            } else if (acceptKeyword(Keyword::Const)) {
                constantSection();
            } else if (isKeyword(Keyword::Function) || isKeyword(Keyword::Procedure)) {
                routineDeclaration();
            } else {
                return;
            }
        }
    }

    bool startsDeclaration(Symbol separator) const {
        return current().kind == TokenKind::Identifier && lookahead(1).kind == TokenKind::Symbol &&
               (lookahead(1).symbol == separator || lookahead(1).symbol == Symbol::Colon ||
                lookahead(1).symbol == Symbol::Comma);
    }

    void variableSection() {
        do {
            std::vector<Token> names = identifierList();
            expectSymbol(Symbol::Colon, "':'");
            const ScriptType type = typeName();
            ExprPtr initializer;
            if (names.size() == 1 && acceptSymbol(Symbol::Equal)) initializer = expression();
            expectSymbol(Symbol::Semicolon, "';'");
            for (const Token& name : names) declare(name, type, std::move(initializer), false);
        } while (startsDeclaration(Symbol::Colon));
    }

    void constantSection() {
        do {
            const Token& name = identifierToken();
            ScriptType type = ScriptType::Variant;
            if (acceptSymbol(Symbol::Colon)) type = typeName();
            expectSymbol(Symbol::Equal, "'='");
            ExprPtr value = expression();
            expectSymbol(Symbol::Semicolon, "';'");
            declare(name, type, std::move(value), true);
        } while (startsDeclaration(Symbol::Equal));
    }

    std::vector<Token> identifierList() {
        std::vector<Token> names{identifierToken()};
        while (acceptSymbol(Symbol::Comma)) names.push_back(identifierToken());
        return names;
    }

    ScriptType typeName() {
        const Token& name = identifierToken();
        for (const TypeEntry& entry : kTypes)
            if (name.text.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
                return entry.type;
        throw ScriptCompileError(QStringLiteral("Unknown type: '%1'").arg(name.text), name.at);
    }

    NameMap<Declared>& scope() { return inRoutine() ? FLocals : FGlobals; }

    void checkNotDeclared(const Token& name) {
        if (scope().count(name.text) != 0 || (!inRoutine() && FRoutines.count(name.text) != 0))
            throw ScriptCompileError(QStringLiteral("Identifier redeclared: '%1'").arg(name.text),
                                     name.at);
    }

    void declare(const Token& name, ScriptType type, ExprPtr initializer, bool constant) {
        checkNotDeclared(name);
        VariableDecl declaration{name.text, type, std::move(initializer), constant, name.at};
        VariableRef ref;
        if (inRoutine()) {
            ref = VariableRef{true, static_cast<int>(routine().slotTypes.size())};
            routine().slotTypes.push_back(type);
            routine().locals.push_back(std::move(declaration));
        } else {
            ref = VariableRef{false, static_cast<int>(FProgram->globals.size())};
            FProgram->globals.push_back(std::move(declaration));
        }
        scope().emplace(name.text, Declared{ref, constant});
    }

    void routineDeclaration() {
        const bool isFunction = take().keyword == Keyword::Function;
        const Token& name = identifierToken();
        checkNotDeclared(name);
        FRoutines.emplace(name.text, static_cast<int>(FProgram->routines.size()));
        FProgram->routines.emplace_back();
        FRoutine = static_cast<int>(FProgram->routines.size()) - 1;
        routine().name = name.text;
        routine().at = name.at;
        routine().isFunction = isFunction;
        routine().slotTypes.push_back(ScriptType::Variant);  // Result
        if (acceptSymbol(Symbol::LeftParen)) {
            if (!isSymbol(Symbol::RightParen)) routine().parameters = parameters();
            expectSymbol(Symbol::RightParen, "')'");
        }
        declareParameters();
        if (isFunction) {
            expectSymbol(Symbol::Colon, "':'");
            routine().slotTypes[0] = typeName();
            FLocals.emplace(QStringLiteral("Result"), Declared{VariableRef{true, 0}, false});
        }
        expectSymbol(Symbol::Semicolon, "';'");
        routineBody();
        FLocals.clear();
        FRoutine = -1;
    }

    void routineBody() {
        for (;;) {
            if (acceptKeyword(Keyword::Var)) {
                variableSection();
            } else if (acceptKeyword(Keyword::Const)) {
                constantSection();
            } else {
                break;
            }
        }
        expectKeyword(Keyword::Begin, "'begin'");
        routine().body = statementList();
        expectKeyword(Keyword::End, "'end'");
        acceptSymbol(Symbol::Semicolon);
    }

    void declareParameters() {
        Routine& current = routine();
        current.requiredCount = 0;
        for (const Parameter& parameter : current.parameters) {
            if (!parameter.defaultValue) ++current.requiredCount;
            if (FLocals.count(parameter.name) != 0 ||
                parameter.name.compare(QLatin1String("Result"), Qt::CaseInsensitive) == 0)
                throw ScriptCompileError(
                    QStringLiteral("Identifier redeclared: '%1'").arg(parameter.name), current.at);
            FLocals.emplace(parameter.name,
                            Declared{VariableRef{true, static_cast<int>(current.slotTypes.size())}, false});
            current.slotTypes.push_back(parameter.byReference ? ScriptType::Variant : parameter.type);
        }
    }

    std::vector<Parameter> parameters() {
        std::vector<Parameter> result;
        do {
            parameterGroup(result);
        } while (acceptSymbol(Symbol::Semicolon));
        return result;
    }

    void parameterGroup(std::vector<Parameter>& result) {
        bool byReference = acceptKeyword(Keyword::Var);
        if (!byReference && !acceptKeyword(Keyword::Const) && current().kind == TokenKind::Identifier &&
            current().text.compare(QLatin1String("out"), Qt::CaseInsensitive) == 0 &&
            lookahead(1).kind == TokenKind::Identifier) {
            take();
            byReference = true;
        }
        const std::vector<Token> names = identifierList();
        ScriptType type = ScriptType::Variant;
        if (acceptSymbol(Symbol::Colon)) type = typeName();
        ExprPtr defaultValue;
        if (names.size() == 1 && !byReference && acceptSymbol(Symbol::Equal)) defaultValue = expression();
        const bool afterDefault = !result.empty() && result.back().defaultValue;
        if (afterDefault && !defaultValue)
            throw ScriptCompileError(QStringLiteral("Default parameter '%1' must be last").arg(
                                         result.back().name),
                                     names.front().at);
        for (const Token& name : names)
            result.push_back(Parameter{name.text, type, byReference, std::move(defaultValue)});
    }

    // ---- statements ----

    StmtList statementList() {
        StmtList list;
        for (;;) {
            list.push_back(statement());
            if (!acceptSymbol(Symbol::Semicolon)) return list;
        }
    }

    StmtPtr makeStatement(StmtKind kind, SourcePosition at) {
        auto statement = std::make_unique<Stmt>();
        statement->kind = kind;
        statement->at = at;
        return statement;
    }

    StmtPtr statement() {
        NestingGuard guard(*this);
        const Token& token = current();
        if (token.kind == TokenKind::Identifier) return identifierStatement();
        if (token.kind == TokenKind::Keyword) {
            switch (token.keyword) {
                case Keyword::Begin: return block();
                case Keyword::If: return ifStatement();
                case Keyword::Case: return caseStatement();
                case Keyword::While: return whileStatement();
                case Keyword::Repeat: return repeatStatement();
                case Keyword::For: return forStatement();
                case Keyword::Try: return tryStatement();
                case Keyword::Exit: return exitStatement();
                case Keyword::Break:
                case Keyword::Continue: return loopControl();
                case Keyword::End:
                case Keyword::Until:
                case Keyword::Else:
                case Keyword::Except:
                case Keyword::Finally: return makeStatement(StmtKind::Empty, token.at);
                default: break;
            }
        }
        if (token.kind == TokenKind::EndOfText || isSymbol(Symbol::Semicolon) || isSymbol(Symbol::Dot))
            return makeStatement(StmtKind::Empty, token.at);
        expected(QStringLiteral("Statement"));
    }

    StmtPtr block() {
        auto statement = makeStatement(StmtKind::Block, take().at);
        statement->statements = statementList();
        expectKeyword(Keyword::End, "'end'");
        return statement;
    }

    StmtPtr ifStatement() {
        auto statement = makeStatement(StmtKind::If, take().at);
        statement->value = expression();
        expectKeyword(Keyword::Then, "'then'");
        statement->body = this->statement();
        if (acceptKeyword(Keyword::Else)) statement->otherwise = this->statement();
        return statement;
    }

    StmtPtr caseStatement() {
        auto statement = makeStatement(StmtKind::Case, take().at);
        statement->value = expression();
        expectKeyword(Keyword::Of, "'of'");
        while (!isKeyword(Keyword::Else) && !isKeyword(Keyword::End)) {
            CaseBranch branch;
            do {
                branch.labels.push_back(setElement());
            } while (acceptSymbol(Symbol::Comma));
            expectSymbol(Symbol::Colon, "':'");
            branch.body = this->statement();
            statement->branches.push_back(std::move(branch));
            if (!acceptSymbol(Symbol::Semicolon) && !isKeyword(Keyword::Else) && !isKeyword(Keyword::End))
                expected(QStringLiteral("';'"));
        }
        if (acceptKeyword(Keyword::Else)) statement->statements = statementList();
        expectKeyword(Keyword::End, "'end'");
        return statement;
    }

    StmtPtr loopBody() {
        ++FLoops;
        StmtPtr body = statement();
        --FLoops;
        return body;
    }

    StmtPtr whileStatement() {
        auto statement = makeStatement(StmtKind::While, take().at);
        statement->value = expression();
        expectKeyword(Keyword::Do, "'do'");
        statement->body = loopBody();
        return statement;
    }

    StmtPtr repeatStatement() {
        auto statement = makeStatement(StmtKind::Repeat, take().at);
        ++FLoops;
        statement->statements = statementList();
        --FLoops;
        expectKeyword(Keyword::Until, "'until'");
        statement->value = expression();
        return statement;
    }

    StmtPtr forStatement() {
        auto statement = makeStatement(StmtKind::For, take().at);
        statement->target = assignmentTarget(identifierToken());
        expectSymbol(Symbol::Assign, "':='");
        statement->value = expression();
        if (acceptKeyword(Keyword::Downto)) {
            statement->downto = true;
        } else {
            expectKeyword(Keyword::To, "'to'");
        }
        statement->limit = expression();
        expectKeyword(Keyword::Do, "'do'");
        statement->body = loopBody();
        return statement;
    }

    StmtPtr tryStatement() {
        const SourcePosition at = take().at;
        StmtList protectedPart = statementList();
        StmtKind kind = StmtKind::TryFinally;
        if (acceptKeyword(Keyword::Except)) {
            kind = StmtKind::TryExcept;
        } else {
            expectKeyword(Keyword::Finally, "'except' or 'finally'");
        }
        auto statement = makeStatement(kind, at);
        statement->statements = std::move(protectedPart);
        statement->handler = statementList();
        expectKeyword(Keyword::End, "'end'");
        return statement;
    }

    StmtPtr exitStatement() {
        auto statement = makeStatement(StmtKind::Exit, take().at);
        if (!acceptSymbol(Symbol::LeftParen)) return statement;
        if (!isSymbol(Symbol::RightParen)) {
            if (inRoutine() && !routine().isFunction)
                throw ScriptCompileError(QStringLiteral("A procedure cannot return a value"),
                                         current().at);
            statement->value = expression();
        }
        expectSymbol(Symbol::RightParen, "')'");
        return statement;
    }

    StmtPtr loopControl() {
        const Token& token = take();
        if (FLoops == 0)
            throw ScriptCompileError(QStringLiteral("BREAK or CONTINUE outside of loop"), token.at);
        return makeStatement(token.keyword == Keyword::Break ? StmtKind::Break : StmtKind::Continue,
                             token.at);
    }

    StmtPtr identifierStatement() {
        const Token& name = take();
        if (acceptSymbol(Symbol::Assign)) {
            auto statement = makeStatement(StmtKind::Assign, name.at);
            statement->target = assignmentTarget(name);
            statement->value = expression();
            return statement;
        }
        if (findVariable(name.text) != nullptr)
            throw ScriptCompileError(QStringLiteral("Statement expected but expression found"), name.at);
        auto statement = makeStatement(StmtKind::Call, name.at);
        std::vector<ExprPtr> arguments;
        if (isSymbol(Symbol::LeftParen)) arguments = argumentList();
        statement->value = pending(name, std::move(arguments), true);
        return statement;
    }

    // The variable a name assigns. A name the script does not declare is recorded as an
    // assigned free name, which binding rejects (undeclared, or one of the engine's constants).
    VariableRef assignmentTarget(const Token& name) {
        if (const Declared* declared = findVariable(name.text)) {
            if (declared->constant)
                throw ScriptCompileError(
                    QStringLiteral("Cannot assign to a constant: '%1'").arg(name.text), name.at);
            return declared->ref;
        }
        if (inRoutine() && routine().isFunction &&
            name.text.compare(routine().name, Qt::CaseInsensitive) == 0)
            return VariableRef{true, 0};
        if (FRoutines.count(name.text) != 0)
            throw ScriptCompileError(QStringLiteral("Left side cannot be assigned to"), name.at);
        FreeName& free = FProgram->freeNames[static_cast<size_t>(freeName(name.text, name.at))];
        if (!free.assignedAt) free.assignedAt = name.at;
        return {};
    }

    const Declared* findVariable(const QString& name) const {
        if (inRoutine()) {
            const auto local = FLocals.find(name);
            if (local != FLocals.end()) return &local->second;
        }
        const auto global = FGlobals.find(name);
        if (global == FGlobals.end()) return nullptr;
        const bool programResult = !global->second.ref.local && global->second.ref.slot == 0;
        return programResult && inRoutine() ? nullptr : &global->second;
    }

    // ---- expressions ----

    ExprPtr makeExpression(ExprKind kind, SourcePosition at) {
        auto expression = std::make_unique<Expr>();
        expression->kind = kind;
        expression->at = at;
        return expression;
    }

    // Sets the node's height from its children; a chain such as 1+1+1+... is as deep as it
    // is long and must stay within the nesting limit too.
    ExprPtr finish(ExprPtr node) {
        int depth = 0;
        for (const ExprPtr* child : {&node->left, &node->right})
            if (*child) depth = std::max(depth, (*child)->depth);
        for (const ExprPtr& argument : node->arguments) depth = std::max(depth, argument->depth);
        for (const SetElement& element : node->elements) {
            depth = std::max(depth, element.low->depth);
            if (element.high) depth = std::max(depth, element.high->depth);
        }
        node->depth = depth + 1;
        if (node->depth > kMaxNesting)
            throw ScriptCompileError(QStringLiteral("Expression too complex"), node->at);
        return node;
    }

    ExprPtr binary(BinaryOperator op, ExprPtr left, ExprPtr right, SourcePosition at) {
        auto node = makeExpression(ExprKind::Binary, at);
        node->op = op;
        node->left = std::move(left);
        node->right = std::move(right);
        return finish(std::move(node));
    }

    bool relationalOperator(BinaryOperator& op) const {
        if (current().kind != TokenKind::Symbol) return false;
        switch (current().symbol) {
            case Symbol::Equal: op = BinaryOperator::Equal; return true;
            case Symbol::NotEqual: op = BinaryOperator::NotEqual; return true;
            case Symbol::Less: op = BinaryOperator::Less; return true;
            case Symbol::LessOrEqual: op = BinaryOperator::LessOrEqual; return true;
            case Symbol::Greater: op = BinaryOperator::Greater; return true;
            case Symbol::GreaterOrEqual: op = BinaryOperator::GreaterOrEqual; return true;
            default: return false;
        }
    }

    bool addingOperator(BinaryOperator& op) const {
        if (isSymbol(Symbol::Plus)) op = BinaryOperator::Add;
        else if (isSymbol(Symbol::Minus)) op = BinaryOperator::Subtract;
        else if (isKeyword(Keyword::Or)) op = BinaryOperator::Or;
        else if (isKeyword(Keyword::Xor)) op = BinaryOperator::Xor;
        else return false;
        return true;
    }

    bool multiplyingOperator(BinaryOperator& op) const {
        if (isSymbol(Symbol::Star)) op = BinaryOperator::Multiply;
        else if (isSymbol(Symbol::Slash)) op = BinaryOperator::Divide;
        else if (isKeyword(Keyword::Div)) op = BinaryOperator::IntDivide;
        else if (isKeyword(Keyword::Mod)) op = BinaryOperator::Modulo;
        else if (isKeyword(Keyword::And)) op = BinaryOperator::And;
        else if (isKeyword(Keyword::Shl)) op = BinaryOperator::ShiftLeft;
        else if (isKeyword(Keyword::Shr)) op = BinaryOperator::ShiftRight;
        else return false;
        return true;
    }

    ExprPtr expression() {
        ExprPtr left = simpleExpression();
        for (BinaryOperator op{};;) {
            const SourcePosition at = current().at;
            if (acceptKeyword(Keyword::In)) {
                left = inSet(std::move(left), at);
            } else if (relationalOperator(op)) {
                take();
                left = binary(op, std::move(left), simpleExpression(), at);
            } else {
                return left;
            }
        }
    }

    ExprPtr simpleExpression() {
        ExprPtr left = term();
        for (BinaryOperator op{}; addingOperator(op);) {
            const SourcePosition at = take().at;
            left = binary(op, std::move(left), term(), at);
        }
        return left;
    }

    ExprPtr term() {
        ExprPtr left = factor();
        for (BinaryOperator op{}; multiplyingOperator(op);) {
            const SourcePosition at = take().at;
            left = binary(op, std::move(left), factor(), at);
        }
        return left;
    }

    ExprPtr literal(ScriptValue value, SourcePosition at) {
        auto node = makeExpression(ExprKind::Literal, at);
        node->literal = std::move(value);
        return node;
    }

    ExprPtr unary(ExprKind kind, SourcePosition at) {
        auto node = makeExpression(kind, at);
        node->left = factor();
        const ExprKind operand = node->left->kind;
        if (kind == ExprKind::Negate && operand == ExprKind::Literal && node->left->literal.isNumber())
            return literal(script_operators::Negate(node->left->literal), at);
        return finish(std::move(node));
    }

    ExprPtr factor() {
        NestingGuard guard(*this);
        ExprPtr node = primary();
        while (isSymbol(Symbol::LeftBracket)) {
            auto index = makeExpression(ExprKind::Index, take().at);
            index->left = std::move(node);
            index->right = expression();
            expectSymbol(Symbol::RightBracket, "']'");
            node = finish(std::move(index));
        }
        return node;
    }

    ExprPtr primary() {
        const Token& token = current();
        switch (token.kind) {
            case TokenKind::Literal: take(); return literal(token.literal, token.at);
            case TokenKind::Identifier: return designator();
            case TokenKind::Keyword:
                switch (token.keyword) {
                    case Keyword::True: take(); return literal(ScriptValue::Boolean(true), token.at);
                    case Keyword::False: take(); return literal(ScriptValue::Boolean(false), token.at);
                    case Keyword::Null: take(); return literal(ScriptValue(), token.at);
                    case Keyword::Not: take(); return unary(ExprKind::Not, token.at);
                    default: break;
                }
                break;
            case TokenKind::Symbol:
                switch (token.symbol) {
                    case Symbol::Minus: take(); return unary(ExprKind::Negate, token.at);
                    case Symbol::Plus: take(); return factor();
                    case Symbol::LeftParen: {
                        take();
                        ExprPtr inner = expression();
                        expectSymbol(Symbol::RightParen, "')'");
                        return inner;
                    }
                    case Symbol::LeftBracket: return setLiteral();
                    default: break;
                }
                break;
            case TokenKind::EndOfText: break;
        }
        expected(QStringLiteral("Expression"));
    }

    ExprPtr designator() {
        const Token& name = take();
        const Declared* declared = findVariable(name.text);
        if (isSymbol(Symbol::LeftParen)) {
            if (declared != nullptr)
                throw ScriptCompileError(QStringLiteral("'%1' is not a function").arg(name.text), name.at);
            return pending(name, argumentList(), true);
        }
        if (declared == nullptr) return pending(name, {}, false);
        auto node = makeExpression(ExprKind::Variable, name.at);
        node->variable = declared->ref;
        node->readOnly = declared->constant;
        return node;
    }

    std::vector<ExprPtr> argumentList() {
        expectSymbol(Symbol::LeftParen, "'('");
        std::vector<ExprPtr> arguments;
        if (!isSymbol(Symbol::RightParen)) {
            do {
                arguments.push_back(expression());
            } while (acceptSymbol(Symbol::Comma));
        }
        expectSymbol(Symbol::RightParen, "')'");
        return arguments;
    }

    ExprPtr pending(const Token& name, std::vector<ExprPtr> arguments, bool asCall) {
        auto node = makeExpression(ExprKind::Call, name.at);
        node->arguments = std::move(arguments);
        node = finish(std::move(node));
        FPending.push_back(PendingName{node.get(), name.text, asCall});
        return node;
    }

    SetElement setElement() {
        SetElement element;
        element.low = expression();
        if (acceptSymbol(Symbol::DotDot)) element.high = expression();
        return element;
    }

    std::vector<SetElement> setElements() {
        expectSymbol(Symbol::LeftBracket, "'['");
        std::vector<SetElement> elements;
        if (!isSymbol(Symbol::RightBracket)) {
            do {
                elements.push_back(setElement());
            } while (acceptSymbol(Symbol::Comma));
        }
        expectSymbol(Symbol::RightBracket, "']'");
        return elements;
    }

    ExprPtr setLiteral() {
        auto node = makeExpression(ExprKind::SetLiteral, current().at);
        node->elements = setElements();
        return finish(std::move(node));
    }

    ExprPtr inSet(ExprPtr left, SourcePosition at) {
        auto node = makeExpression(ExprKind::InSet, at);
        node->left = std::move(left);
        node->elements = setElements();
        return finish(std::move(node));
    }

    // ---- names resolved after the whole text is read ----

    int freeName(const QString& name, SourcePosition at) {
        const auto found = FFreeNames.find(name);
        if (found != FFreeNames.end()) return found->second;
        const int index = static_cast<int>(FProgram->freeNames.size());
        FProgram->freeNames.push_back(FreeName{name, at, false, std::nullopt, {}});
        FFreeNames.emplace(name, index);
        return index;
    }

    void resolvePendingNames() {
        for (const PendingName& name : FPending) {
            Expr& node = *name.node;
            const auto routine = FRoutines.find(name.name);
            if (routine != FRoutines.end()) {
                node.routine = routine->second;
                checkRoutineArguments(node, FProgram->routines[static_cast<size_t>(routine->second)]);
                continue;
            }
            node.freeName = freeName(name.name, node.at);
            FreeName& free = FProgram->freeNames[static_cast<size_t>(node.freeName)];
            if (name.asCall) {
                free.calls.push_back(&node);
            } else {
                node.kind = ExprKind::FreeValue;
                free.usedAsValue = true;
            }
        }
    }

    static void checkRoutineArguments(const Expr& call, const Routine& routine) {
        std::vector<bool> byReference;
        for (const Parameter& parameter : routine.parameters) byReference.push_back(parameter.byReference);
        CheckArguments(call, routine.name, routine.requiredCount, byReference);
    }

    std::vector<Token> FTokens;
    size_t FAt = 0;
    std::shared_ptr<ScriptProgram> FProgram = std::make_shared<ScriptProgram>();
    NameMap<Declared> FGlobals;
    NameMap<Declared> FLocals;
    NameMap<int> FRoutines;
    NameMap<int> FFreeNames;
    std::vector<PendingName> FPending;
    int FRoutine = -1;
    int FNesting = 0;
    int FLoops = 0;
};

}  // namespace

std::shared_ptr<const ScriptProgram> ParseScript(const QString& source) {
    return Parser(source).program();
}

std::vector<Parameter> ParseParameterDefinition(const QString& definition) {
    return Parser(definition).parameterDefinition();
}
