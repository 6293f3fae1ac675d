#pragma once
// The live chain without a window (`qex --headless`): the devices, buffers, priority, module
// and presets of the settings file, with access control as the settings file sets it. Reports
// one line per event on standard error: started, device errors, dropouts, stopped.

#include "audio_chain.h"

#include "security/security_manager.h"

#include <QTimer>

#include <cstdint>

class TDataMod;

class THeadlessProcessor {
public:
    explicit THeadlessProcessor(TDataMod& dataMod);
    ~THeadlessProcessor();
    THeadlessProcessor(const THeadlessProcessor&) = delete;
    THeadlessProcessor& operator=(const THeadlessProcessor&) = delete;

    // Reads the settings, logs the default login in when security is enabled, loads the module
    // and starts processing. False, with the reason on standard error, when it cannot start.
    bool Start();
    // Stops processing, unloads the module, closes the devices and gives the database its
    // resting name.
    void ShutDown();

private:
    bool ReadSettings();
    bool LoginAtStart(bool securityEnabled, const std::string& login, const std::string& password);
    void ReportDropouts();
    void KeepFirstStartDevices();

    TDataMod& dataMod_;
    TAudioChain chain_;
    TuilSecurityManager security_;
    QTimer dropoutCheck_;
    std::uint64_t reportedDropouts_ = 0;
    bool firstStart_ = false; // no settings file: the devices were chosen here
    bool started_ = false;
    bool shutDown_ = false;
};

// Runs the program headless until SIGTERM or SIGINT; returns the exit code: 0 after a clean
// stop, 1 when it could not start or a device failed.
int runHeadless();
