#include "PortMonitor.h"

#include <QThread>
#include <algorithm>
#include <cctype>

TPortMonitor::TPortMonitor(IOperatorMessages* messages, QObject* parent)
    : QObject(parent), messages_(messages) {
    Reset();
}

template <class F> void TPortMonitor::OnOwnThread(F f) {
    if (QThread::currentThread() == thread())
        f();
    else
        QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

void TPortMonitor::AddView(IPortMonitorView* view) {
    views_.push_back(view);
}

void TPortMonitor::RemoveView(IPortMonitorView* view) {
    std::erase(views_, view);
}

void TPortMonitor::PanelChanged() {
    for (auto* v : views_)
        v->PanelChanged(*this);
}

void TPortMonitor::Reset() {
    OnOwnThread([this] {
        lines_.clear();
        for (auto* v : views_)
            v->MemoCleared();
        sent_ = received_ = errors_ = 0;
        inQueue_ = outQueue_ = 0;
        gsmLevel_.assign(1, '0'); // not = "0": GCC 12 -O3 warns falsely (-Wrestrict)
        lamps_[static_cast<std::size_t>(TLamp::TX)] = false;
        lamps_[static_cast<std::size_t>(TLamp::RX)] = false;
        PanelChanged();
    });
}

void TPortMonitor::AddLine(const std::string& text) {
    OnOwnThread([this, text] {
        // Emptied rather than trimmed, so that appending stays cheap on a
        // long session.
        if (lines_.size() > kMemoLimit) {
            lines_.clear();
            for (auto* v : views_)
                v->MemoCleared();
        }
        lines_.push_back(text);
        for (auto* v : views_)
            v->LineAdded(text);
    });
}

void TPortMonitor::ShowState(const std::string& text) {
    OnOwnThread([this, text] {
        state_ = text;
        PanelChanged();
    });
}

void TPortMonitor::CountSent() {
    OnOwnThread([this] {
        ++sent_;
        PanelChanged();
    });
}

void TPortMonitor::CountReceived() {
    OnOwnThread([this] {
        ++received_;
        PanelChanged();
    });
}

void TPortMonitor::CountErrors() {
    OnOwnThread([this] {
        ++errors_;
        PanelChanged();
    });
}

void TPortMonitor::ShowInQueue(std::size_t n) {
    OnOwnThread([this, n] {
        inQueue_ = n;
        PanelChanged();
    });
}

void TPortMonitor::ShowOutQueue(std::size_t n) {
    OnOwnThread([this, n] {
        outQueue_ = n;
        PanelChanged();
    });
}

void TPortMonitor::SetLamp(TLamp lamp, bool on) {
    OnOwnThread([this, lamp, on] {
        lamps_[static_cast<std::size_t>(lamp)] = on;
        PanelChanged();
    });
}

void TPortMonitor::ShowModemStatus(std::uint8_t status) {
    OnOwnThread([this, status] {
        lamps_[static_cast<std::size_t>(TLamp::DSR)] = (status & kStatusDsr) != 0;
        lamps_[static_cast<std::size_t>(TLamp::CTS)] = (status & kStatusCts) != 0;
        lamps_[static_cast<std::size_t>(TLamp::RI)] = (status & kStatusRi) != 0;
        lamps_[static_cast<std::size_t>(TLamp::DCD)] = (status & kStatusDcd) != 0;
        PanelChanged();
    });
}

void TPortMonitor::ShowSignal(const std::string& reply) {
    OnOwnThread([this, reply] {
        if (reply.empty() || reply == "OK" || reply == "ERROR") return;
        const std::string head = reply.substr(0, reply.find(','));
        bool any = false;
        int n = 0;
        for (const char c : head) {
            if (!std::isdigit(static_cast<unsigned char>(c))) continue;
            any = true;
            // Past two digits it is no reading a modem gives; keep it from
            // overflowing and let the range check below refuse it.
            n = std::min(n * 10 + (c - '0'), 1000);
        }
        if (!any) {
            gsmLevel_ = ">-113 dBm";
        } else {
            // 99 is the modem's "not known"; 32..98 and above are no
            // reading at all. Neither is a level to show as dBm.
            const bool measured = n <= 31 && n != 99;
            if (n < 2 || !measured) {
                if (messages_) messages_->ShowMessage("Received signal less than 110 dBm");
            }
            if (measured) {
                gsmLevel_ = std::to_string(2 * n - 113);
                gsmLevel_.append("dBm");
            } else {
                gsmLevel_ = ">-113 dBm";
            }
        }
        PanelChanged();
    });
}

void TPortMonitor::ShowGsmLevel(bool visible) {
    OnOwnThread([this, visible] {
        gsmVisible_ = visible;
        PanelChanged();
    });
}
