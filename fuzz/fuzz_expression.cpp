// The expression evaluator of DERIVE and KEEP CASES: the input is an
// expression over the bundled sample's variables. One that parses is
// evaluated on every case; a result is a finite number or system-missing,
// never a NaN or an infinity, and a parse failure always has a code.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "caseview.h"
#include "expression.h"
#include "fuzzsample.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static engine::Dataset sample = fuzz::LoadSample();
    static engine::DatasetCases cases(sample);
    const std::string text(reinterpret_cast<const char*>(data), size);
    engine::SyntaxLexer lexer(text);
    std::unique_ptr<engine::Expression> expression;
    const engine::CommandOutcome parsed = engine::Expression::Parse(lexer, cases, expression);
    if (!parsed.ok()) {
        if (parsed.cause.empty() || expression) __builtin_trap();
        return 0;
    }
    for (std::size_t row = 0; row < cases.CaseCount(); ++row) {
        const double value = expression->Evaluate(cases, row);
        if (!std::isfinite(value)) __builtin_trap();
        if (expression->IsTrue(cases, row) != (value != engine::kSystemMissing && value != 0))
            __builtin_trap();
    }
    return 0;
}
