// Numeric expressions of DERIVE and KEEP CASES: numbers, variables,
// + - * / ** and unary minus, comparisons and AND/OR/NOT (1 or 0), and the
// functions ABS SQRT LN EXP RND TRUNC MOD MEAN SUM MIN MAX MISSING SYSMIS
// VALUE. A missing operand makes the result system-missing unless the
// function's own rule says otherwise; division by zero, domain errors and
// overflow give system-missing. A parsed expression is immutable and
// evaluated case by case.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "caseview.h"
#include "commandoutcome.h"
#include "syntaxlexer.h"

namespace engine {

class Expression {
  public:
    struct Node;

    Expression(Expression&&) noexcept;
    Expression& operator=(Expression&&) noexcept;
    ~Expression();

    // Reads an expression from the lexer up to its end (or a token that
    // cannot continue it, left for the caller). Names are looked up in
    // `data`; string variables are refused.
    static CommandOutcome Parse(SyntaxLexer& lexer, const CaseView& data,
                                std::unique_ptr<Expression>& parsed);

    // kSystemMissing for a missing result.
    double Evaluate(const CaseView& data, std::size_t caseIndex) const;
    // True only for a valid value other than 0.
    bool IsTrue(const CaseView& data, std::size_t caseIndex) const;

  private:
    explicit Expression(std::unique_ptr<Node> root);
    std::unique_ptr<Node> m_root;
};

}  // namespace engine
