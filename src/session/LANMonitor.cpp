#include "LANMonitor.h"

#include "EventPump.h"

#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

struct TDepth {
    int& depth;
    explicit TDepth(int& d) : depth(d) { ++depth; }
    ~TDepth() { --depth; }
    TDepth(const TDepth&) = delete;
    TDepth& operator=(const TDepth&) = delete;
};

// A misbehaving device that keeps sending rows after its table is complete
// would otherwise grow it without end; a row index is one byte.
constexpr int kMaxTableRows = 256;
// Bounds the wait for the link to hand over what is still moving before
// it is ended; a site that never stops talking must not hold the stop.
constexpr auto kStopDrainLimit = std::chrono::seconds(2);
constexpr std::size_t kHistoryRecordSize = 13;

// State bytes of these device types behind a hub mean something to the
// parameters view; others are left alone.
bool ChildStateShown(int devId) {
    switch (devId) {
    case 11:
    case 30:
    case 31:
    case 32:
    case 40:
    case 41:
    case 42:
    case 43:
        return true;
    default:
        return false;
    }
}

// The row rule: a table that has not yet reached its announced count gains
// a default row that the body then fills; once it holds more rows than
// announced, rows update in place.
template <class Tab> void ApplyRow(Tab& tab, int announced, TMemoryStream& body, bool child) {
    if (announced < tab.ItemCount()) {
        child ? tab.ReadChildRow(body) : tab.ReadRow(body);
    } else if (tab.ItemCount() < kMaxTableRows) {
        child ? tab.AddChildRow(body) : tab.AddRow(body);
    }
}

bool Pause() {
    Delay(1);
    return true;
}

} // namespace

std::string DateTimeText(const TDeviceClock& c) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", c.day, c.month, c.year,
                  c.hour, c.minute, c.second);
    return text;
}

std::string NowText() {
    return DateTimeText(TSessionRequests::LocalClock());
}

TLANMonitor::TLANMonitor(ISessionViews& views, TCommPort* port, TObjectsList& devices)
    : TSessionRequests(TSessionQueues::OutQueue, devices, [this] { WakeLinks(); }), views_(views),
      port_(port), devices_(devices), context_(std::make_unique<QObject>()) {
    NotConnected = true;
}

TLANMonitor::~TLANMonitor() {
    TerminateLinks();
    // A modem link too: a call left up would keep the line (and its bill)
    // running after the window is gone.
    if (port_ && port_->Handle() && (busLink_ || modemLink_)) StopNow();
    // Deferred steps and end handlers must not reach a controller that is
    // gone; the threads are joined by their own destructors.
    context_.reset();
    busLink_.reset();
    modemLink_.reset();
}

void TLANMonitor::WakeLinks() {
    if (busLink_) busLink_->FrameQueued();
    if (modemLink_) modemLink_->FrameQueued();
}

void TLANMonitor::StampTime() {
    views_.SetLabelTime(NowText());
}

// ---- Opening and closing

void TLANMonitor::StartSession() {
    // A session still running would keep the port's old device.
    if (busLink_ || modemLink_) StopNow();
    const TDepth depth(stepDepth_);
    dialer_.reset();
    NotConnected = false;
    EnableSessionActions();
    // The view lets go of the devices before they are freed.
    views_.Clear();
    devices_.Clear();
    for (TMessagesList* q : {&OutQueue(), &InQueue()}) {
        TBusyHold hold(*q, Pause);
        q->FreeAll();
    }
    NotConnected = true;
    AccessGranted = false;
    DeviceCounter = 0;
    AbortDialing = false;
    ClearHubState();

    if (!port_ || !port_->Open()) {
        FailSession();
        return;
    }
    if (!port_->IsModem) {
        AccessGranted = true;
        if ((port_->ModemStatus() & 0x90) == 0x90) {
            // The cable leads to a modem that is already online.
            NotConnected = false;
            StartModemLink("");
            views_.Enable(true);
            Delay(kModemStartPauseMs);
        } else {
            Delay(kBusStartPauseMs);
            NotConnected = false;
            StartBusLink();
            views_.Enable(true);
        }
        RediscoverNow();
    } else if (port_->PhoneNumber != "0") {
        views_.ShowCancelDialing(true);
        const std::string password = views_.AskPassword().value_or("");
        dialer_ = std::make_unique<TModemDialing>(*port_, *this);
        dialer_->Dial();
        dialer_.reset();
        views_.ShowCancelDialing(false);
        NotConnected = port_->LinkState != "CONNECTED";
        if (!NotConnected) {
            DispatchEnabled = false;
            ResetLinkAndTree();
            Delay(kResetPollPauseMs);
            DispatchEnabled = true;
            StartModemLink(password);
            views_.Enable(true);
            // Discovery waits for the devices to grant access.
            Delay(kModemStartPauseMs);
        }
    } else {
        views_.ShowMessage("Error Phone number");
        NotConnected = true;
    }
    DispatchEnabled = true;
    if (NotConnected)
        FailSession();
    else
        EnableSessionActions();
}

void TLANMonitor::FailSession() {
    views_.StopAnimation();
    // Told after the current handler has returned, as the window closes
    // the connection in answer.
    QTimer::singleShot(0, context_.get(), [this] { views_.SessionLost(); });
    ClearHubState();
    AccessGranted = false;
}

bool TLANMonitor::StopSession() {
    if (Busy()) AbortDialing = true;
    return WhenIdle(&TLANMonitor::StopNow, stopPending_);
}

bool TLANMonitor::Rediscover() {
    return WhenIdle(&TLANMonitor::RediscoverNow, rediscoverPending_);
}

bool TLANMonitor::WhenIdle(TStep step, bool& pending) {
    if (!Busy()) {
        pending = false;
        (this->*step)();
        return true;
    }
    // The rest of a dispatch below us drops what it still holds.
    if (dispatchDepth_ > 0) DispatchEnabled = false;
    // Asked twice, it is still carried out once.
    if (!pending) {
        pending = true;
        RetryWhenIdle(step, pending);
    }
    return false;
}

void TLANMonitor::RetryWhenIdle(TStep step, bool& pending) {
    // Looked at again shortly; a dial or the modem's start takes seconds.
    QTimer::singleShot(5, context_.get(), [this, step, &pending] {
        if (!pending) return;
        if (Busy()) {
            RetryWhenIdle(step, pending);
            return;
        }
        pending = false;
        (this->*step)();
    });
}

void TLANMonitor::StopNow() {
    // Its waits run window handlers too: a second stop or a new discovery
    // asked in them waits until this one is over (and then finds the port
    // closed).
    const TDepth depth(stepDepth_);
    DispatchEnabled = false;
    views_.Enable(false);
    DisableSessionActions();
    AccessGranted = false;
    ClearHubState();
    if (!port_ || !port_->Handle()) return;

    const auto drain = [this] {
        const auto until = std::chrono::steady_clock::now() + kStopDrainLimit;
        while (InQueue().Count() > 0 && OutQueue().Count() > 0 &&
               std::chrono::steady_clock::now() < until)
            Delay(5);
    };
    if (busLink_) {
        drain();
        busLink_->Terminate();
        WaitLinkGone([this] { return busLink_ == nullptr; });
    }
    ProcessPendingEvents();
    if (modemLink_) {
        drain();
        modemLink_->Terminate();
        WaitLinkGone([this] { return modemLink_ == nullptr; });
    }
    HangUpIfConnected();
    ProcessPendingEvents();
    for (TMessagesList* q : {&OutQueue(), &InQueue()}) {
        TBusyHold hold(*q, Pause);
        q->FreeAll();
    }
    port_->Close();
}

void TLANMonitor::HangUpIfConnected() {
    if (!port_->IsModem || port_->LinkState.find("CONNECT") == std::string::npos) return;
    dialer_ = std::make_unique<TModemDialing>(*port_, *this);
    dialer_->HangUp();
    dialer_.reset();
}

void TLANMonitor::WaitLinkGone(const std::function<bool()>& gone) {
    // The thread's end handler runs from the event loop and frees it.
    while (!gone())
        Delay(5);
}

void TLANMonitor::RediscoverNow() {
    // Asked before a stop that has closed the session since.
    if (!port_ || !port_->Handle()) return;
    const TDepth depth(stepDepth_);
    DispatchEnabled = false;
    ResetLinkAndTree();
    Delay(kResetPollPauseMs);
    DispatchEnabled = true;
    SendPoll();
}

void TLANMonitor::ResetLinkAndTree() {
    const auto reset = [this](auto& link) {
        link->RequestReset();
        while (link && link->ResetRequested() && link->isRunning())
            Delay(1);
        views_.Clear();
        devices_.Clear();
    };
    if (busLink_) reset(busLink_);
    if (modemLink_) reset(modemLink_);
}

void TLANMonitor::StartBusLink() {
    if (busLink_ || !port_) return;
    busLink_ = std::make_unique<TLANReader>(*this, OutQueue(), InQueue(), *port_);
    TLANReader* link = busLink_.get();
    QObject::connect(link, &QThread::finished, context_.get(), [this, link] {
        if (busLink_.get() == link) busLink_.reset();
    });
    link->start();
}

void TLANMonitor::StartModemLink(const std::string& password) {
    if (modemLink_ || !port_) return;
    modemLink_ = std::make_unique<TLANReaderModem>(*this, password, OutQueue(), InQueue(), *port_);
    TLANReaderModem* link = modemLink_.get();
    QObject::connect(link, &QThread::finished, context_.get(), [this, link] {
        if (modemLink_.get() == link) modemLink_.reset();
    });
    link->start();
}

void TLANMonitor::TerminateLinks() {
    if (busLink_) busLink_->Terminate();
    if (modemLink_) modemLink_->Terminate();
}

void TLANMonitor::SessionLost() {
    // Reported by the modem link as it ends; the window closes the session
    // in answer, which must not happen inside the link's own call.
    QTimer::singleShot(0, context_.get(), [this] { views_.SessionLost(); });
}

void TLANMonitor::SelectHub(std::uint8_t hub) {
    if (!HubState.Present) return;
    const TDepth depth(stepDepth_);
    const TMemoryStream body{hub};
    SendRequest(HubState.ControllerAddress, opSelectHub, &body);
    Delay(kHubSelectPauseMs);
    SendPoll();
}

// ---- Dispatch

void TLANMonitor::DispatchReceived() {
    const TDepth depth(dispatchDepth_);

    const auto dropAll = [this] {
        TBusyHold hold(InQueue(), Pause);
        InQueue().FreeAll();
    };
    if (!DispatchEnabled) {
        dropAll();
        return;
    }
    Body.Clear();
    for (;;) {
        if (!DispatchEnabled) {
            // A stop or a reset was asked for in one of the pauses below.
            dropAll();
            return;
        }
        if (InQueue().Count() == 0) {
            StampTime();
            return;
        }
        std::uint8_t address = 0, opcode = 0;
        {
            TBusyHold hold(InQueue(), Pause);
            if (!hold.Held() || InQueue().Count() == 0) continue;
            InQueue().SetCurrent(0);
            address = InQueue().GetSource();
            opcode = InQueue().GetOpcode();
            Body.Clear();
            if (InQueue().GetLength() >= 2) {
                InQueue().GetBody(Body);
                Body.SetPosition(0);
            }
            InQueue().DeleteMessage(0);
        }
        if (opcode == opAccessGranted && !AccessGranted) {
            AccessGranted = true;
            Delay(kGrantedPollPauseMs);
            SendPoll();
            ProcessPendingEvents();
            StampTime();
        }
        if (opcode == opIllegalPassword && !AccessGranted) {
            StampTime();
            ProcessPendingEvents();
            views_.ShowMessage("Illegal password. Access disabled.");
            if (modemLink_) modemLink_->RequestHangUp();
        }
        // Before access is granted each call takes one frame; the link
        // thread calls again for the rest.
        if (!AccessGranted) return;
        if (!DispatchEnabled) continue;

        if (opcode == opPresent) {
            if (!devices_.FindByAddress(address)) SendGetDefinition(address);
        } else if (TLANObject* d = devices_.FindByAddress(address)) {
            ApplyFrame(*d, opcode);
        } else if (opcode == opDefinition && Body.Size() >= 5) {
            AddDeviceFromDefinition(address);
        }
        ProcessPendingEvents();
    }
}

void TLANMonitor::AddDeviceFromDefinition(std::uint8_t address) {
    TLANObject* d = devices_.AddDevice();
    d->Definition().ReadDefinition(Body);
    d->SetLanAddress(address);
    d->Order = static_cast<std::uint8_t>(DeviceCounter & 0xFF);
    ++DeviceCounter;
    views_.DeviceAdded(*d);
}

TLANObject* TLANMonitor::FindChild(TLANObject& hub) {
    if (hub.GetChildDevCount() == 0 || Body.Size() < 1) return nullptr;
    return hub.Children().FindByAddress(Body.Data()[0]);
}

void TLANMonitor::ChildDefinition(TLANObject& hub) {
    if (Body.Size() < 1) return;
    const std::uint8_t x = Body.Data()[0];
    const auto owner = static_cast<std::uint8_t>(hub.GetLanAddress());
    if (TLANObject* c = hub.Children().FindByAddress(x)) {
        c->Definition().ReadChildDefinition(Body);
        c->SetLanAddress(x);
        c->SetOwnerAddress(owner);
        if (c->IsComplete()) views_.Rebuild(ISessionViews::TView::Objects);
        return;
    }
    TLANObject* c = hub.Children().AddDevice();
    c->Definition().ReadChildDefinition(Body);
    c->SetLanAddress(x);
    c->Order = static_cast<std::uint8_t>(hub.Children().Count() - 1);
    c->SetOwnerAddress(owner);
    devices_.AppendReference(c);
}

void TLANMonitor::StoreHistory(TLANObject& d) {
    THISTORY& history = devices_.History();
    history.Device = &d;
    Body.SetPosition(0);
    const std::size_t announced = ReadByteOrZero(Body);
    // Only whole records: a short body must not invent rows of zeros.
    const std::size_t whole = std::min(announced, (Body.Size() - 1) / kHistoryRecordSize);
    for (std::size_t i = 0; i < whole; ++i) {
        const std::uint8_t* r = Body.Data().data() + 1 + i * kHistoryRecordSize;
        history.Append();
        history.SetDate(DateTimeText(DecodeClock(r, kClockFormSize)));
        history.SetDevAddress(r[7]);
        history.SetParamID(r[8]);
        history.SetValue(static_cast<std::uint16_t>(r[9] | (r[10] << 8)));
        history.SetState(r[11]);
        history.SetDevState(r[12]);
    }
    views_.FillHistory();
}

void TLANMonitor::ApplyFrame(TLANObject& d, std::uint8_t opcode) {
    using V = ISessionViews::TView;
    const std::size_t size = Body.Size();
    // A table row of a device behind the hub: the row rule on the child,
    // and the objects view once the child is complete.
    const auto childRow = [&](auto tab, auto table, auto announced) {
        if (size < 2) return;
        TLANObject* c = FindChild(d);
        if (!c || !(c->*table)()) return;
        ApplyRow((c->*tab)(), (c->*announced)(), Body, true);
        if (c->IsComplete()) views_.Rebuild(V::Objects);
    };
    switch (opcode) {
    case opDefinition:
        d.Definition().ReadDefinition(Body);
        break;
    case opState:
        if (size < 1) break;
        d.Definition().SetState(Body.Data()[0]);
        views_.UpdateIndicators();
        break;
    case opChildState: {
        if (size < 1) break;
        TLANObject* c = FindChild(d);
        if (!c || !ChildStateShown(c->GetDevID())) break;
        c->Definition().SetState(size >= 2 ? Body.Data()[1] : 0);
        views_.UpdateIndicators();
        break;
    }
    case opChildDefinition:
        if (d.GetChildDevCount() != 0) ChildDefinition(d);
        break;
    case opAttributeRow:
        if (size < 2 || !d.AttributesTable()) break;
        ApplyRow(d.Attributes(), d.GetAttrCount(), Body, false);
        if (d.IsComplete()) views_.Rebuild(V::Attributes);
        break;
    case opChildAttributeRow:
        childRow(&TLANObject::Attributes, &TLANObject::AttributesTable, &TLANObject::GetAttrCount);
        break;
    case opAttributeText:
        if (size < 2 || !d.AttributesTable() || !d.IsComplete()) break;
        if (d.Attributes().ReadText(Body))
            views_.SetAttributeValue(d.Attributes().GetCurrent(), d.Attributes().GetValue());
        break;
    case opChildAttributeText: {
        if (size < 4) break;
        TLANObject* c = FindChild(d);
        if (!c || !c->AttributesTable() || c->GetAttrCount() != c->AttributeCount()) break;
        if (c->Attributes().ReadChildText(Body))
            views_.SetAttributeValue(c->Attributes().GetCurrent(), c->Attributes().GetValue());
        break;
    }
    case opParameterRow:
        if (size < 2 || !d.ParametersTable()) break;
        ApplyRow(d.Parameters(), d.GetParamCount(), Body, false);
        if (d.IsComplete()) {
            views_.Rebuild(V::Objects);
            views_.Rebuild(V::Parameters);
            if (d.GetControlsCount() == 0 && d.GetCommandCount() == 0) SendPoll();
        }
        break;
    case opChildParameterRow: {
        if (size < 5) break;
        TLANObject* c = FindChild(d);
        if (!c || !c->ParametersTable()) break;
        ApplyRow(c->Parameters(), c->GetParamCount(), Body, true);
        if (c->GetParamCount() == c->ParameterCount()) {
            views_.Rebuild(V::Parameters);
            if (c->GetCommandCount() == 0 && c->GetControlsCount() == 0) SendPoll();
        }
        if (c->IsComplete()) views_.Rebuild(V::Objects);
        break;
    }
    case opParameterValues:
        if (size < 2 || !d.ParametersTable() || d.GetParamCount() != d.ParameterCount()) break;
        d.Parameters().ReadValues(Body);
        views_.UpdateValues();
        break;
    case opChildParameterValues: {
        if (size < 4) break;
        TLANObject* c = FindChild(d);
        if (!c || !c->ParametersTable() || c->GetParamCount() != c->ParameterCount()) break;
        c->Parameters().ReadChildValues(Body);
        views_.UpdateValues();
        break;
    }
    case opControlRow:
        if (size < 2 || !d.ControlsTable()) break;
        ApplyRow(d.Controls(), d.GetControlsCount(), Body, false);
        if (d.IsComplete()) {
            views_.Rebuild(V::Objects);
            views_.Rebuild(V::Controls);
            if (d.GetCommandCount() == 0) SendPoll();
        }
        break;
    case opChildControlRow:
        childRow(&TLANObject::Controls, &TLANObject::ControlsTable, &TLANObject::GetControlsCount);
        break;
    case opControlValue:
        if (size < 2 || !d.ControlsTable() || d.GetControlsCount() != d.ControlCount()) break;
        if (d.Controls().ReadValue(Body))
            views_.SetControlValue(d.Controls().GetCurrent(), d.Controls().GetValue());
        break;
    case opChildControlValue: {
        if (size < 2) break;
        TLANObject* c = FindChild(d);
        if (!c || !c->ControlsTable() || c->GetControlsCount() != c->ControlCount()) break;
        if (c->Controls().ReadChildValue(Body))
            views_.SetControlValue(c->Controls().GetCurrent(), c->Controls().GetValue());
        break;
    }
    case opCommandRow:
        if (size < 2 || !d.CommandsTable()) break;
        ApplyRow(d.Commands(), d.GetCommandCount(), Body, false);
        if (d.IsComplete()) {
            views_.Rebuild(V::Objects);
            views_.Rebuild(V::Commands);
            SendPoll();
        }
        break;
    case opChildCommandRow:
        childRow(&TLANObject::Commands, &TLANObject::CommandsTable, &TLANObject::GetCommandCount);
        break;
    case opTextMessage: {
        // The device's text becomes one line of the log, whatever it holds.
        std::string text = ReadShortString(Body);
        std::replace_if(
            text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; },
            ' ');
        if (port_) port_->Log(text);
        break;
    }
    case opReply50:
    case opReply52:
    case opReply54:
        ReadShortString(Body);
        break;
    case opDateTime:
        if (size >= 5 && views_.SettingsDialogOpen())
            views_.ShowDeviceClock(DecodeClock(Body.Data().data(), size));
        break;
    case opCalibration:
        if (size >= 1 && views_.SettingsDialogOpen())
            views_.ShowCalibration(DecodeCalibration(Body.Data()[0]));
        break;
    case opHistory:
        if (size >= 1) StoreHistory(d);
        break;
    case opHubState: {
        if (size < 1 || !d.AttributesTable() || !d.IsComplete()) break;
        const std::uint8_t state = Body.Data()[0];
        d.Definition().SetState(state);
        HubState.Present = true;
        HubState.Hub1 = (state & 0x10) != 0;
        HubState.Hub2 = (state & 0x20) != 0;
        HubState.Hub3 = (state & 0x40) != 0;
        HubState.Hub4 = (state & 0x80) != 0;
        HubState.ControllerAddress = static_cast<std::uint8_t>(d.GetLanAddress());
        views_.ShowHubState(state);
        views_.Rebuild(V::Attributes);
        break;
    }
    default:
        break;
    }
}
