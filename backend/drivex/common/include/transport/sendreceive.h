// Moves one whole command message over a pipe end or the Java extension
// socket, and the extension message over the socket. The image's own total
// size T (its first 4 bytes) is the only framing: the writer cuts the image
// into pieces of at most 8192 bytes, the reader appends pieces until T bytes
// have arrived. No state, no locks; one conversation per channel.
#pragma once

class CleXDSmb;
class JavaExtensionSmb;
class JavaPlugInSocket;
class VexaPipe;

// Encodes and writes the message; on success the message is cleaned up, on
// failure it keeps its values and the transport code is returned.
int SendData(VexaPipe& end, CleXDSmb& message);
// With serverEnd false the client end is opened first when it has no pipe.
int SendData(VexaPipe& end, CleXDSmb& message, bool serverEnd);

// Reads one image and appends it to the message. Returns a transport code,
// 99103 for an empty read, 99105 for an image that breaks its own framing,
// else the received message's error code.
int ReceiveData(VexaPipe& end, CleXDSmb& message);
int ReceiveData(VexaPipe& end, CleXDSmb& message, bool serverEnd);

// The socket forms: the same framing on a byte stream. The receive reads the
// 4 bytes of T before anything else and never more than T bytes in all, so
// a following image stays on the connection.
int SendData(JavaPlugInSocket& socket, CleXDSmb& message);
int ReceiveData(JavaPlugInSocket& socket, CleXDSmb& message);

// Writes exactly the extension message's bytes, with no framing of their own;
// on success the extension message is cleaned up.
int SendData(JavaPlugInSocket& socket, JavaExtensionSmb& message);
// Nothing travels back as an extension message: returns 0 and reads nothing.
int ReceiveData(JavaPlugInSocket& socket, JavaExtensionSmb& message);
