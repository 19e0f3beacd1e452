#include "expression.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "enginecodes.h"
#include "runtime/stringutil.h"

namespace engine {

enum class Op {
    kNumber,
    kVariable,
    kNegate,
    kNot,
    kAdd,
    kSubtract,
    kMultiply,
    kDivide,
    kPower,
    kEqual,
    kNotEqual,
    kLess,
    kLessEqual,
    kGreater,
    kGreaterEqual,
    kAnd,
    kOr,
    kAbs,
    kSqrt,
    kLn,
    kExp,
    kRnd,
    kTrunc,
    kMod,
    kMean,
    kSum,
    kMin,
    kMax,
    kMissing,
    kSysmis,
    kValue,
};

struct Expression::Node {
    Op op = Op::kNumber;
    double number = 0;
    std::size_t variable = 0;
    std::vector<std::unique_ptr<Node>> operands;
};

namespace {

using Node = Expression::Node;
using NodePtr = std::unique_ptr<Node>;

// Deeper nesting is refused rather than risking the stack.
constexpr int kMaxDepth = 200;

bool Missing(double value) { return value == kSystemMissing; }

double Checked(double value) { return std::isfinite(value) ? value : kSystemMissing; }

double Truth(bool value) { return value ? 1.0 : 0.0; }

struct FunctionRule {
    std::string_view name;
    Op op;
    std::size_t minArguments;
    std::size_t maxArguments;
    // The argument must be a variable: its missing-ness is what counts.
    bool variableArgument = false;
};

constexpr std::size_t kMany = 1000000;

constexpr FunctionRule kFunctions[] = {
    {"ABS", Op::kAbs, 1, 1},
    {"SQRT", Op::kSqrt, 1, 1},
    {"LN", Op::kLn, 1, 1},
    {"EXP", Op::kExp, 1, 1},
    {"RND", Op::kRnd, 1, 1},
    {"TRUNC", Op::kTrunc, 1, 1},
    {"MOD", Op::kMod, 2, 2},
    {"MEAN", Op::kMean, 1, kMany},
    {"SUM", Op::kSum, 1, kMany},
    {"MIN", Op::kMin, 1, kMany},
    {"MAX", Op::kMax, 1, kMany},
    {"MISSING", Op::kMissing, 1, 1, true},
    {"SYSMIS", Op::kSysmis, 1, 1, true},
    {"VALUE", Op::kValue, 1, 1, true},
};

struct Comparison {
    std::string_view symbol;
    std::string_view keyword;
    Op op;
};

constexpr Comparison kComparisons[] = {
    {"=", "EQ", Op::kEqual},         {"<>", "NE", Op::kNotEqual},  {"~=", "", Op::kNotEqual},
    {"<", "LT", Op::kLess},          {"<=", "LE", Op::kLessEqual}, {">", "GT", Op::kGreater},
    {">=", "GE", Op::kGreaterEqual},
};

class Parser {
  public:
    Parser(SyntaxLexer& lexer, const CaseView& data) : m_lexer(lexer), m_data(data) {}

    NodePtr Parse() { return Or(0); }
    const CommandOutcome& failure() const { return m_failure; }

  private:
    NodePtr Fail(int code, std::string cause) {
        if (m_failure.ok()) m_failure = CommandOutcome::Failed(code, std::move(cause));
        return nullptr;
    }

    static NodePtr Make(Op op, NodePtr left = nullptr, NodePtr right = nullptr) {
        auto node = std::make_unique<Node>();
        node->op = op;
        if (left) node->operands.push_back(std::move(left));
        if (right) node->operands.push_back(std::move(right));
        return node;
    }

    bool TooDeep(int depth) {
        if (depth <= kMaxDepth) return false;
        Fail(kBadSyntax, "the expression is nested too deeply");
        return true;
    }

    NodePtr Or(int depth) {
        if (TooDeep(depth)) return nullptr;
        NodePtr left = And(depth + 1);
        while (left && (m_lexer.TakeKeyword("OR") || m_lexer.TakeSymbol("|"))) {
            NodePtr right = And(depth + 1);
            if (!right) return nullptr;
            left = Make(Op::kOr, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr And(int depth) {
        NodePtr left = Not(depth + 1);
        while (left && (m_lexer.TakeKeyword("AND") || m_lexer.TakeSymbol("&"))) {
            NodePtr right = Not(depth + 1);
            if (!right) return nullptr;
            left = Make(Op::kAnd, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr Not(int depth) {
        if (TooDeep(depth)) return nullptr;
        if (m_lexer.TakeKeyword("NOT") || m_lexer.TakeSymbol("~")) {
            NodePtr operand = Not(depth + 1);
            return operand ? Make(Op::kNot, std::move(operand)) : nullptr;
        }
        return Compare(depth + 1);
    }

    NodePtr Compare(int depth) {
        NodePtr left = Additive(depth + 1);
        if (!left) return nullptr;
        for (const Comparison& comparison : kComparisons) {
            const bool taken =
                m_lexer.TakeSymbol(comparison.symbol) ||
                (!comparison.keyword.empty() && m_lexer.TakeKeyword(comparison.keyword));
            if (!taken) continue;
            NodePtr right = Additive(depth + 1);
            return right ? Make(comparison.op, std::move(left), std::move(right)) : nullptr;
        }
        return left;
    }

    NodePtr Additive(int depth) {
        NodePtr left = Multiplicative(depth + 1);
        while (left) {
            Op op;
            if (m_lexer.TakeSymbol("+"))
                op = Op::kAdd;
            else if (m_lexer.TakeSymbol("-"))
                op = Op::kSubtract;
            else
                break;
            NodePtr right = Multiplicative(depth + 1);
            if (!right) return nullptr;
            left = Make(op, std::move(left), std::move(right));
        }
        return left;
    }

    NodePtr Multiplicative(int depth) {
        NodePtr left = Unary(depth + 1);
        while (left) {
            Op op;
            if (m_lexer.TakeSymbol("*"))
                op = Op::kMultiply;
            else if (m_lexer.TakeSymbol("/"))
                op = Op::kDivide;
            else
                break;
            NodePtr right = Unary(depth + 1);
            if (!right) return nullptr;
            left = Make(op, std::move(left), std::move(right));
        }
        return left;
    }

    // Unary minus binds below the power: -2**2 is -4.
    NodePtr Unary(int depth) {
        if (TooDeep(depth)) return nullptr;
        if (m_lexer.TakeSymbol("-")) {
            NodePtr operand = Unary(depth + 1);
            return operand ? Make(Op::kNegate, std::move(operand)) : nullptr;
        }
        if (m_lexer.TakeSymbol("+")) return Unary(depth + 1);
        return Power(depth + 1);
    }

    // Right-associative: 2**3**2 is 2**9.
    NodePtr Power(int depth) {
        if (TooDeep(depth)) return nullptr;
        NodePtr base = Primary(depth + 1);
        if (base && m_lexer.TakeSymbol("**")) {
            NodePtr exponent = Unary(depth + 1);
            return exponent ? Make(Op::kPower, std::move(base), std::move(exponent)) : nullptr;
        }
        return base;
    }

    NodePtr Primary(int depth) {
        const SyntaxToken& token = m_lexer.Peek();
        using Kind = SyntaxToken::Kind;
        if (token.kind == Kind::kNumber) {
            if (!std::isfinite(token.number))
                return Fail(kBadSyntax, "the number " + token.text + " is out of range");
            NodePtr node = Make(Op::kNumber);
            node->number = m_lexer.Take().number;
            return node;
        }
        if (m_lexer.TakeSymbol("(")) {
            NodePtr inner = Or(depth + 1);
            if (!inner) return nullptr;
            if (!m_lexer.TakeSymbol(")"))
                return Fail(kBadSyntax, "a ')' is missing in the expression");
            return inner;
        }
        if (token.kind == Kind::kName) {
            const std::string name = m_lexer.Take().text;
            if (m_lexer.Peek().IsSymbol("(")) return Function(name, depth);
            return Variable(name);
        }
        if (token.kind == Kind::kEnd)
            return Fail(kBadSyntax, "the expression ends where a value is expected");
        return Fail(kBadSyntax, "'" + token.text + "' where a value is expected in the expression");
    }

    NodePtr Variable(const std::string& name) {
        auto index = m_data.FindVariable(name);
        if (!index) return Fail(kUnknownVariable, "unknown variable '" + name + "'");
        if (!m_data.variable(*index).IsNumeric()) {
            return Fail(kWrongVariableType,
                        "'" + name + "' is a string variable; expressions take numbers");
        }
        NodePtr node = Make(Op::kVariable);
        node->variable = *index;
        return node;
    }

    NodePtr Function(const std::string& name, int depth) {
        const std::string upper = textutil::UpperString(name);
        const auto rule = std::find_if(std::begin(kFunctions), std::end(kFunctions),
                                       [&](const FunctionRule& r) { return r.name == upper; });
        if (rule == std::end(kFunctions))
            return Fail(kBadSyntax, "unknown function '" + name + "'");
        m_lexer.TakeSymbol("(");
        NodePtr node = Make(rule->op);
        if (!m_lexer.Peek().IsSymbol(")")) {
            do {
                NodePtr argument = Or(depth + 1);
                if (!argument) return nullptr;
                node->operands.push_back(std::move(argument));
            } while (m_lexer.TakeSymbol(","));
        }
        if (!m_lexer.TakeSymbol(")"))
            return Fail(kBadSyntax, "a ')' is missing after the arguments of " + upper);
        const std::size_t count = node->operands.size();
        if (count < rule->minArguments || count > rule->maxArguments) {
            return Fail(kBadSyntax,
                        upper + " takes " + std::to_string(rule->minArguments) +
                            (rule->maxArguments == rule->minArguments ? "" : " or more") +
                            " argument(s), not " + std::to_string(count));
        }
        if (rule->variableArgument && node->operands[0]->op != Op::kVariable) {
            return Fail(kBadSyntax, upper + " takes a variable");
        }
        return node;
    }

    SyntaxLexer& m_lexer;
    const CaseView& m_data;
    CommandOutcome m_failure;
};

double Round(double value) { return std::round(value); }

// The valid arguments of MEAN, SUM, MIN, MAX.
template <typename Fold>
double OverValid(const std::vector<double>& values, Fold fold) {
    std::vector<double> valid;
    for (double value : values) {
        if (!Missing(value)) valid.push_back(value);
    }
    return valid.empty() ? kSystemMissing : Checked(fold(valid));
}

double Evaluate(const Node& node, const CaseView& data, std::size_t row) {
    const auto operand = [&](std::size_t i) { return Evaluate(*node.operands[i], data, row); };
    switch (node.op) {
        case Op::kNumber:
            return node.number;
        case Op::kVariable:
            return data.MissingOf(row, node.variable) == Missingness::kValid
                       ? data.Number(row, node.variable)
                       : kSystemMissing;
        case Op::kMissing:
            return Truth(data.MissingOf(row, node.operands[0]->variable) != Missingness::kValid);
        case Op::kSysmis:
            return Truth(data.MissingOf(row, node.operands[0]->variable) == Missingness::kSystem);
        case Op::kValue:
            return data.Number(row, node.operands[0]->variable);
        case Op::kAnd: {
            const double a = operand(0), b = operand(1);
            if ((!Missing(a) && a == 0) || (!Missing(b) && b == 0)) return 0.0;
            return Missing(a) || Missing(b) ? kSystemMissing : 1.0;
        }
        case Op::kOr: {
            const double a = operand(0), b = operand(1);
            if ((!Missing(a) && a != 0) || (!Missing(b) && b != 0)) return 1.0;
            return Missing(a) || Missing(b) ? kSystemMissing : 0.0;
        }
        case Op::kMean:
        case Op::kSum:
        case Op::kMin:
        case Op::kMax: {
            std::vector<double> values;
            for (std::size_t i = 0; i < node.operands.size(); ++i) values.push_back(operand(i));
            switch (node.op) {
                case Op::kMean:
                    return OverValid(values, [](const std::vector<double>& v) {
                        double sum = 0;
                        for (double x : v) sum += x;
                        return sum / static_cast<double>(v.size());
                    });
                case Op::kSum:
                    return OverValid(values, [](const std::vector<double>& v) {
                        double sum = 0;
                        for (double x : v) sum += x;
                        return sum;
                    });
                case Op::kMin:
                    return OverValid(values, [](const std::vector<double>& v) {
                        return *std::min_element(v.begin(), v.end());
                    });
                default:
                    return OverValid(values, [](const std::vector<double>& v) {
                        return *std::max_element(v.begin(), v.end());
                    });
            }
        }
        default:
            break;
    }
    // The remaining operations are missing when an operand is.
    const double a = operand(0);
    if (Missing(a)) return kSystemMissing;
    if (node.operands.size() == 1) {
        switch (node.op) {
            case Op::kNegate:
                return -a;
            case Op::kNot:
                return Truth(a == 0);
            case Op::kAbs:
                return std::fabs(a);
            case Op::kSqrt:
                return a < 0 ? kSystemMissing : std::sqrt(a);
            case Op::kLn:
                return a <= 0 ? kSystemMissing : std::log(a);
            case Op::kExp:
                return Checked(std::exp(a));
            case Op::kRnd:
                return Round(a);
            case Op::kTrunc:
                return std::trunc(a);
            default:
                return kSystemMissing;
        }
    }
    const double b = operand(1);
    if (Missing(b)) return kSystemMissing;
    switch (node.op) {
        case Op::kAdd:
            return Checked(a + b);
        case Op::kSubtract:
            return Checked(a - b);
        case Op::kMultiply:
            return Checked(a * b);
        case Op::kDivide:
            return b == 0 ? kSystemMissing : Checked(a / b);
        case Op::kPower:
            return Checked(std::pow(a, b));
        case Op::kMod:
            return b == 0 ? kSystemMissing : Checked(std::fmod(a, b));
        case Op::kEqual:
            return Truth(a == b);
        case Op::kNotEqual:
            return Truth(a != b);
        case Op::kLess:
            return Truth(a < b);
        case Op::kLessEqual:
            return Truth(a <= b);
        case Op::kGreater:
            return Truth(a > b);
        case Op::kGreaterEqual:
            return Truth(a >= b);
        default:
            return kSystemMissing;
    }
}

}  // namespace

Expression::Expression(std::unique_ptr<Node> root) : m_root(std::move(root)) {}
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;
Expression::~Expression() = default;

CommandOutcome Expression::Parse(SyntaxLexer& lexer, const CaseView& data,
                                 std::unique_ptr<Expression>& parsed) {
    Parser parser(lexer, data);
    NodePtr root = parser.Parse();
    if (!root) return parser.failure();
    parsed.reset(new Expression(std::move(root)));
    return CommandOutcome::Done();
}

double Expression::Evaluate(const CaseView& data, std::size_t caseIndex) const {
    return engine::Evaluate(*m_root, data, caseIndex);
}

bool Expression::IsTrue(const CaseView& data, std::size_t caseIndex) const {
    const double value = Evaluate(data, caseIndex);
    return !Missing(value) && value != 0;
}

}  // namespace engine
