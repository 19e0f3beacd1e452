// The expression evaluator of DERIVE and KEEP CASES: arithmetic, the missing
// value rules, the functions and what it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "caseview.h"
#include "enginecodes.h"
#include "expression.h"

namespace {

using engine::kSystemMissing;

class ExpressionTest : public ::testing::Test {
  protected:
    ExpressionTest() {
        data.AddVariable(engine::Variable("x", "", 0));
        data.AddVariable(engine::Variable("y", "", 0));
        data.AddVariable(engine::Variable("s", "", 4));
        data.properties(1).missing.format = 1;
        data.properties(1).missing.numbers = {99, 0, 0};
        // Case 0: x 4, y 2; case 1: x 9, y user-missing 99; case 2: x system-missing, y 0.
        data.AddCase({4.0, 2.0, std::string("a")});
        data.AddCase({9.0, 99.0, std::string("b")});
        data.AddCase({kSystemMissing, 0.0, std::string("c")});
    }

    // The value for one case, or the failure's code as a negative number.
    double Value(const std::string& text, std::size_t row = 0) {
        engine::SyntaxLexer lexer(text);
        std::unique_ptr<engine::Expression> expression;
        engine::CommandOutcome parsed = engine::Expression::Parse(lexer, cases, expression);
        if (!parsed.ok()) return -parsed.code;
        EXPECT_TRUE(lexer.AtEnd()) << text;
        return expression->Evaluate(cases, row);
    }

    engine::Dataset data;
    engine::DatasetCases cases{data};
};

TEST_F(ExpressionTest, ArithmeticFollowsTheUsualPrecedence) {
    EXPECT_EQ(Value("1 + 2 * 3"), 7);
    EXPECT_EQ(Value("(1 + 2) * 3"), 9);
    EXPECT_EQ(Value("2 ** 3 ** 2"), 512);
    EXPECT_EQ(Value("-2 ** 2"), -4);
    EXPECT_EQ(Value("x / y - 1"), 1);
    EXPECT_EQ(Value("10 - 4 - 3"), 3);
    EXPECT_EQ(Value("1.5e2 / .5"), 300);
    EXPECT_EQ(Value("- - x"), 4);
}

TEST_F(ExpressionTest, ComparisonsAndLogicGiveOneOrZero) {
    EXPECT_EQ(Value("x > 3 AND y <= 2"), 1);
    EXPECT_EQ(Value("x GT 3 & y LT 2"), 0);
    EXPECT_EQ(Value("x = 4 OR NOT y ~= 2"), 1);
    EXPECT_EQ(Value("x <> 4 | ~(y EQ 2)"), 0);
}

TEST_F(ExpressionTest, MissingOperandsGiveSystemMissingUnlessLogicDecides) {
    // Case 1: y is user-missing; case 2: x is system-missing.
    EXPECT_EQ(Value("x + y", 1), kSystemMissing);
    EXPECT_EQ(Value("x * 0", 2), kSystemMissing);
    EXPECT_EQ(Value("y > 1", 1), kSystemMissing);
    EXPECT_EQ(Value("y > 1 AND x < 0", 1), 0);
    EXPECT_EQ(Value("y > 1 OR x > 0", 1), 1);
    EXPECT_EQ(Value("y > 1 AND x > 0", 1), kSystemMissing);
    EXPECT_EQ(Value("NOT y", 1), kSystemMissing);
    EXPECT_EQ(Value("MISSING(y)", 1), 1);
    EXPECT_EQ(Value("SYSMIS(y)", 1), 0);
    EXPECT_EQ(Value("SYSMIS(x)", 2), 1);
    EXPECT_EQ(Value("MISSING(x)", 0), 0);
    EXPECT_EQ(Value("VALUE(y)", 1), 99);
    EXPECT_EQ(Value("VALUE(x)", 2), kSystemMissing);
    // Statistics of arguments use the valid ones.
    EXPECT_EQ(Value("MEAN(x, y, 5)", 1), 7);
    EXPECT_EQ(Value("SUM(y, x)", 2), 0);
    EXPECT_EQ(Value("MIN(x, y)", 1), 9);
    EXPECT_EQ(Value("MAX(y, -3, x)", 2), 0);
    EXPECT_EQ(Value("MEAN(y)", 1), kSystemMissing);
}

TEST_F(ExpressionTest, DomainErrorsAndDivisionByZeroGiveSystemMissing) {
    EXPECT_EQ(Value("x / 0"), kSystemMissing);
    EXPECT_EQ(Value("x / (y - 2)"), kSystemMissing);
    EXPECT_EQ(Value("SQRT(-1)"), kSystemMissing);
    EXPECT_EQ(Value("LN(0)"), kSystemMissing);
    EXPECT_EQ(Value("LN(-x)"), kSystemMissing);
    EXPECT_EQ(Value("EXP(1000)"), kSystemMissing);
    EXPECT_EQ(Value("(-8) ** 0.5"), kSystemMissing);
    EXPECT_EQ(Value("0 ** -1"), kSystemMissing);
    EXPECT_EQ(Value("MOD(x, 0)"), kSystemMissing);
    EXPECT_EQ(Value("1e308 * 10"), kSystemMissing);
}

TEST_F(ExpressionTest, FunctionsComputeAsTheirMathematicalDefinitions) {
    EXPECT_EQ(Value("ABS(-2.5)"), 2.5);
    EXPECT_EQ(Value("SQRT(x)"), 2);
    EXPECT_DOUBLE_EQ(Value("LN(x)"), std::log(4.0));
    EXPECT_DOUBLE_EQ(Value("EXP(y)"), std::exp(2.0));
    EXPECT_EQ(Value("RND(2.5)"), 3);
    EXPECT_EQ(Value("RND(-2.5)"), -3);
    EXPECT_EQ(Value("TRUNC(-2.7)"), -2);
    EXPECT_EQ(Value("MOD(x + 3, 3)"), 1);
    EXPECT_EQ(Value("MOD(-7, 3)"), -1);
    EXPECT_EQ(Value("mean(1, 2, 6)"), 3);
    EXPECT_EQ(Value("Sum(x, y, 1)"), 7);
}

TEST_F(ExpressionTest, RefusesWhatIsNoExpression) {
    EXPECT_EQ(Value("nosuch + 1"), -engine::kUnknownVariable);
    EXPECT_EQ(Value("s + 1"), -engine::kWrongVariableType);
    EXPECT_EQ(Value("FOO(1)"), -engine::kBadSyntax);
    EXPECT_EQ(Value("(1 + 2"), -engine::kBadSyntax);
    EXPECT_EQ(Value("1 +"), -engine::kBadSyntax);
    EXPECT_EQ(Value(""), -engine::kBadSyntax);
    EXPECT_EQ(Value("MOD(1)"), -engine::kBadSyntax);
    EXPECT_EQ(Value("ABS(1, 2)"), -engine::kBadSyntax);
    EXPECT_EQ(Value("MISSING(x + 1)"), -engine::kBadSyntax);
    EXPECT_EQ(Value("'text'"), -engine::kBadSyntax);
    EXPECT_EQ(Value("1e999 - 1"), -engine::kBadSyntax);
    EXPECT_EQ(Value(std::string(5000, '(') + "1" + std::string(5000, ')')), -engine::kBadSyntax);
    EXPECT_EQ(Value(std::string(5000, '-') + "1"), -engine::kBadSyntax);
}

}  // namespace
