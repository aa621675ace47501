#include "CliViews.h"

void TCliViews::ShowMessage(const std::string& text) {
    messages_ << "tvsupervisor-cli: " << text << '\n';
}

void TCliViews::SetLabelTime(const std::string& text) {
    lastTraffic_ = TClock::now();
    lastTrafficText_ = text;
}
