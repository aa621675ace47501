#include "PortsList.h"

#include <variant>

namespace {

constexpr char kSection[] = "DIALING";

// The settings in the order the file keeps them.
struct TKeyText {
    const char* key;
    std::string TDialSettings::*field;
};
struct TKeyFlag {
    const char* key;
    bool TDialSettings::*field;
};
using TKey = std::variant<TKeyText, TKeyFlag>;

const TKey kKeys[] = {
    TKeyText{"DialUsing", &TDialSettings::DialUsing},
    TKeyText{"AccesOutideCallLocal", &TDialSettings::AccesOutideCallLocal},
    TKeyText{"AccesOutideCallDistance", &TDialSettings::AccesOutideCallDistance},
    TKeyFlag{"WaitDialtone", &TDialSettings::WaitDialtone},
    TKeyFlag{"CancelCall", &TDialSettings::CancelCall},
    TKeyText{"CancelCallTime", &TDialSettings::CancelCallTime},
    TKeyFlag{"Autoanswer", &TDialSettings::Autoanswer},
    TKeyText{"NumberRings", &TDialSettings::NumberRings},
    TKeyText{"AreaCode", &TDialSettings::AreaCode},
    TKeyText{"Phone", &TDialSettings::Phone},
    TKeyText{"PinCode", &TDialSettings::PinCode},
    TKeyText{"TryToConnect", &TDialSettings::TryToConnect},
    TKeyText{"WaitAttempts", &TDialSettings::WaitAttempts},
    TKeyFlag{"EnableIdleDisconnect", &TDialSettings::EnableIdleDisconnect},
    TKeyText{"DisconnectIfIdle", &TDialSettings::DisconnectIfIdle},
};

} // namespace

TCommPortsList::TCommPortsList(ISerialProvider& provider, TPortMonitor* monitor, TIniFile& ini,
                               std::string iniPath, const std::string& portListPath,
                               IOperatorMessages* messages, TPortTimings timings)
    : Monitor(monitor), ini_(ini), iniPath_(std::move(iniPath)), messages_(messages),
      enabledPorts_(std::make_unique<TEnCOMList>(portListPath, messages)) {
    LoadDialSettings();
    for (int i = 0; i < enabledPorts_->Count(); ++i) {
        const std::string name = enabledPorts_->Name(i);
        // Opened once and let go at once: a port that is missing or held
        // by another program is only unmarked, without a message.
        if (!provider.Open(name)) {
            enabledPorts_->SetMark(i, 0);
            continue;
        }
        auto port = std::make_unique<TCommPort>(name, provider, Monitor, timings);
        port->Messages = messages_;
        port->DialSettings = &DialSettings;
        ports_.push_back(std::move(port));
    }
}

TCommPortsList::~TCommPortsList() {
    ports_.clear();
    SaveDialSettings();
}

TCommPort* TCommPortsList::Item(int index) const {
    return index >= 0 && index < Count() ? ports_[static_cast<std::size_t>(index)].get() : nullptr;
}

TCommPort* TCommPortsList::FindPort(const std::string& name) const {
    for (const auto& port : ports_)
        if (port->Name() == name) return port.get();
    return nullptr;
}

bool TCommPortsList::IsSerialPort(const std::string& name) const {
    const TCommPort* port = FindPort(name);
    return port && port->IsSerial;
}

void TCommPortsList::LoadDialSettings() {
    for (const TKey& key : kKeys) {
        if (const auto* t = std::get_if<TKeyText>(&key)) {
            DialSettings.*t->field = ini_.ReadString(kSection, t->key, DialSettings.*t->field);
        } else {
            const auto& f = std::get<TKeyFlag>(key);
            // Any integer but 0 is true; a value that is no integer keeps
            // the default.
            DialSettings.*f.field =
                ini_.ReadInteger(kSection, f.key, DialSettings.*f.field ? 1 : 0) != 0;
        }
    }
}

bool TCommPortsList::SaveDialSettings() {
    for (const TKey& key : kKeys) {
        if (const auto* t = std::get_if<TKeyText>(&key))
            ini_.WriteString(kSection, t->key, DialSettings.*t->field);
        else
            ini_.WriteBool(kSection, std::get<TKeyFlag>(key).key,
                           DialSettings.*std::get<TKeyFlag>(key).field);
    }
    if (iniPath_.empty() || ini_.Save(iniPath_)) return true;
    if (messages_) messages_->ShowMessage("The dialling settings were not saved: " + ini_.Error());
    return false;
}
