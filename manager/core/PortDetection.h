// Finding the modem's diagnostic port among the serial ports its USB interfaces create. Stateless: every call
// looks at the devices present now. The numbers returned open the same node through the ports-folder rule
// (a comN link in the ports folder wins; otherwise ttyUSBk is port k + 1).
#pragma once

#include <cstdint>

namespace velmo::manager {

// The diagnostic port number, preferring the second candidate; 0 when none is found.
int32_t FindDiagnosticPort();
// True when port n belongs to a diagnostic interface of one of the modem's products.
bool IsDiagnosticPort(int32_t port);
// True when the modem's driver reports a device; always true with automatic detection off or on an old
// system class (4 or below).
bool DriverReportsDevice(bool automaticPort, int32_t osClass);

}  // namespace velmo::manager
