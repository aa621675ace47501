// The program-wide list of the serial ports that exist: one port object for
// each enabled-list candidate that could be opened at start-up, the
// enabled ports list itself, and the dialling settings of the INI section
// "DIALING", read at start and written back at the end.
#pragma once

#include "DialSettings.h"
#include "IniFile.h"
#include "SerialComm.h"
#include "SetEnabledCOM.h"

#include <memory>
#include <string>
#include <vector>

class TCommPortsList {
public:
    // Reads the dialling settings from `ini` and the enabled ports file at
    // `portListPath`, then opens each candidate once: a port that cannot be
    // opened loses its enabled mark (in memory only) and gets no port
    // object. `ini` is borrowed and shared with the rest of the program;
    // it is written to `iniPath` at the end.
    TCommPortsList(ISerialProvider& provider, TPortMonitor* monitor, TIniFile& ini,
                   std::string iniPath, const std::string& portListPath,
                   IOperatorMessages* messages, TPortTimings timings = {});
    // Frees the ports, saves the dialling settings, then lets the enabled
    // list write its file if the operator changed it.
    ~TCommPortsList();
    TCommPortsList(const TCommPortsList&) = delete;
    TCommPortsList& operator=(const TCommPortsList&) = delete;

    int Count() const { return static_cast<int>(ports_.size()); }
    TCommPort* Item(int index) const;
    // Exact name, letter case included.
    TCommPort* FindPort(const std::string& name) const;
    bool IsSerialPort(const std::string& name) const;

    void LoadDialSettings();
    // Writes every key in table order and saves the INI file; a file that
    // cannot be written is reported.
    bool SaveDialSettings();

    TEnCOMList& EnabledPorts() { return *enabledPorts_; }
    TDialSettings DialSettings;
    TPortMonitor* const Monitor;

private:
    TIniFile& ini_;
    std::string iniPath_;
    IOperatorMessages* messages_;
    std::unique_ptr<TEnCOMList> enabledPorts_;
    std::vector<std::unique_ptr<TCommPort>> ports_;
};
