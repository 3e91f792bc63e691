#pragma once
#include <string>

// Pulls the null-modem cable out and plugs it back in while a test runs.
// Under Wine the rig's script ends and restarts the relay joining the pair
// in the prefix named by NULLMODEM_PREFIX (a Unix path, set by CTest);
// without it the cable cannot be pulled and Available is false.
namespace RigCable {

bool Available();
// Both return once the plug-in's end of the pair is gone or back as a
// serial port; false when that did not happen in time. Plugging a cable
// that is in does nothing.
bool Pull();
bool Plug();

}  // namespace RigCable
