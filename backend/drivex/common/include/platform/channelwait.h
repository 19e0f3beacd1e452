// Connecting to a channel whose server may not have bound it yet, without
// a fixed pause between attempts: on POSIX the attempt is repeated when an
// entry appears in the pipe directory, so a server that binds a moment later
// is reached at once.
#pragma once

#include <string>

#include "platform/localchannel.h"

namespace platform {

// As ChannelConnection::Connect, but while the channel is missing, or bound
// and not yet listening, it waits for it up to `milliseconds`. The errno of
// the last attempt once the limit has passed (ENOENT, ECONNREFUSED); any
// other failure at once.
int ConnectChannelWithin(const std::string& path, ChannelConnection& out, unsigned milliseconds);

}  // namespace platform
