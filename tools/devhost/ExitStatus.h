#pragma once

namespace DevHost {

// The process exit status of every command; scripts test for these.
enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,           // bad command line
    ExitPluginFailed = 2,    // the DLL could not be loaded or refused a call
    ExitPortNotOpened = 3,   // the plug-in reported that it could not open the port
    ExitIncomplete = 4,      // bytes were not all sent or not all stored
    ExitRejected = 5,        // `set` refused a value; the settings file is unchanged
    ExitSettingsFile = 6,    // the settings file could not be written
    ExitDeviceGone = 7,      // the device went away during the exchange (cable pulled, adapter unplugged)
    ExitNothingFound = 8,    // `hunt` found no setting convincing
    ExitNoNewPort = 9,       // `ports --plug` ended by Ctrl+C before a new port came
};

}  // namespace DevHost
