// The rule that tells a failed read from a reply's own code, which the
// library's call frame and the engine's server both follow.
#include <gtest/gtest.h>

#include <cerrno>

#include "codec/protocol.h"
#include "runtime/statuscodes.h"

namespace {

TEST(ProtocolReadFailure, AWholeMessageIsNoFailureWhateverItsOwnCode) {
    EXPECT_EQ(protocol::ReadFailure(0, 0), 0);
    // A block whose language died answers EPIPE in a whole reply.
    EXPECT_EQ(protocol::ReadFailure(EPIPE, EPIPE), 0);
    EXPECT_EQ(protocol::ReadFailure(VEXA_EMPTY_READ, VEXA_EMPTY_READ), 0);
    EXPECT_EQ(protocol::ReadFailure(protocol::kEndOfSplit, protocol::kEndOfSplit), 0);
}

TEST(ProtocolReadFailure, AFailedReadKeepsItsCodeBesideAFreshMessage) {
    EXPECT_EQ(protocol::ReadFailure(EPIPE, 0), EPIPE);
    EXPECT_EQ(protocol::ReadFailure(VEXA_EMPTY_READ, 0), VEXA_EMPTY_READ);
    EXPECT_EQ(protocol::ReadFailure(VEXA_MALFORMED_MESSAGE, 0), VEXA_MALFORMED_MESSAGE);
    // A partial image that decoded an error code before failing is still a failure.
    EXPECT_EQ(protocol::ReadFailure(EPIPE, protocol::kEndOfData), EPIPE);
}

}  // namespace
