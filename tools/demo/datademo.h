// The demo's data-step and bulk-transport parts, for the running engine the
// demo started. Each prints what it does and returns 0 or the first failure.
#pragma once

namespace demo {

// Creates a dataset in a data step, gives it variables and cases, writes
// cells and reads them back through the batch.
int DataStep();

// Moves the active dataset out of the engine over a loopback socket and back
// into it, printing the row counts on each side.
int BulkTransport();

}  // namespace demo
