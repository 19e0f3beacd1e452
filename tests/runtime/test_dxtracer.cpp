#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "runtime/dxtracer.h"
#include "testsupport.h"

namespace {
const std::string kBanner =
    "****************************************TRACE BEGIN****************************************\n";
}

TEST(DxTracer, OpenedFileStartsWithTheBannerAndLinesCarryStampAndName) {
    testsupport::TempDir dir;
    DxTracer tracer;
    tracer.setXName("PYTHON");
    tracer.open(dir.file("PYTHON_trace.log"));
    tracer.write("first");
    std::string contents = testsupport::ReadFile(dir.file("PYTHON_trace.log"));
    ASSERT_EQ(contents.substr(0, kBanner.size()), kBanner);
    std::string line = contents.substr(kBanner.size());
    // "%x %X " stamp in the C locale: MM/DD/YY HH:MM:SS, then a blank.
    const std::string shape = "dd/dd/dd dd:dd:dd ";
    ASSERT_GT(line.size(), shape.size());
    for (size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd') {
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(line[i]))) << line;
        } else {
            EXPECT_EQ(line[i], shape[i]) << line;
        }
    }
    EXPECT_EQ(line.substr(shape.size()), "PYTHON>>first\n");
}

TEST(DxTracer, WriterNeverOpenedWritesNothing) {
    testsupport::TempDir dir;
    DxTracer tracer;
    tracer.open("");
    tracer.write("dropped");
    EXPECT_FALSE(tracer.isOpen());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(DxTracer, EveryLineIsOnDiskAsSoonAsItIsWritten) {
    testsupport::TempDir dir;
    DxTracer tracer;
    tracer.open(dir.file("t.log"));
    for (int i = 0; i < 3; ++i) tracer.write("line" + std::to_string(i));
    std::string contents = testsupport::ReadFile(dir.file("t.log"));
    EXPECT_NE(contents.find(">>line2\n"), std::string::npos);
}

TEST(DxTraceError, AppendsTheCodeSuffixEvenForZero) {
    testsupport::TraceCapture capture;
    DxTraceError("pipe ClosePipe", 0);
    DxTraceError("negative", -5);
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"pipe ClosePipe error code : 0.",
                                                         "negative error code : -5."}));
}
