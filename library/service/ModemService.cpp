#include "ModemService.h"

#include "Credentials.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace velmo::service {

using protocol::CommandCode;

ModemService::ModemService(platform::IClock& clock) {
    lastResult_.store(kResultOk);
    engine_.reset(new (std::nothrow) protocol::Engine(clock));
    if (engine_) {
        engine_->SetUnsolicitedHandler(&notifier_);
        comm_.reset(new (std::nothrow) transport::CComm(*engine_, clock));
        if (comm_) {
            net_.reset(new (std::nothrow) transport::NetLink(*engine_, comm_->NetReaderRunning,
                                                             comm_->NetReaderStop, clock));
        }
    }
    dialer_.reset(new (std::nothrow) RasDialer());
    if (!dialer_ || !engine_ || !comm_ || !net_) {
        lastResult_.store(kResultNoEngine);
    }
}

ModemService::~ModemService() {
    ClosePort();
    if (engine_) {
        engine_->SetTransport(nullptr);
    }
    net_.reset();
    comm_.reset();
    engine_.reset();
    dialer_.reset();
}

int32_t ModemService::AbortWait() {
    if (engine_) {
        engine_->AbortFlag.store(1);
    }
    return 0;
}

int32_t ModemService::SetNotifyWindow(IModemNotifyTarget* target) {
    notifier_.SetTarget(target);
    lastResult_.store(kResultOk);
    return kResultOk;
}

int32_t ModemService::OpenSerialPort(int32_t port, int32_t baudRate) {
    if (port == 0) {
        return kResultBadArgument;
    }
    if (!engine_ || !comm_) {
        return kResultNoEngine;
    }
    // Only numbers a port can have; the low 8 bits of anything else would open an unrelated port.
    if (port < 1 || port > 255) {
        return kResultBadArgument;
    }
    engine_->NetworkMode.store(0);
    serialSettings_ = transport::CommSettings{};
    serialSettings_.portNumber = static_cast<uint8_t>(port);
    serialSettings_.baudRate = static_cast<uint32_t>(baudRate);

    // Every open first closes whatever transport is open.
    CloseTransports();

    comm_->Configure(serialSettings_);
    comm_->CreateIoEvents();
    if (comm_->OpenPort() == 0) {
        return kResultPortOpenFailed;
    }
    engine_->SetTransport(comm_.get());
    if (engine_->StartupHandshake() == 0) {
        return kResultHandshakeFailed;
    }
    return kResultOk;
}

int32_t ModemService::OpenNetworkLink(int32_t) {
    if (!engine_) {
        return 0;
    }
    engine_->NetworkMode.store(1);
    if (!net_->IsOpen()) {
        // A second open keeps an existing connection; a serial port, though, goes first.
        CloseTransports();
    }
    // An aborted service object stays aborted: nothing can be sent, so the handshake is not even tried.
    if (net_->OpenNetwork(engine_->AbortFlag) == 0 || engine_->AbortFlag.load() != 0) {
        return 0;
    }
    engine_->SetTransport(net_.get());
    return engine_->StartupHandshake() != 0 ? 1 : 0;
}

void ModemService::CloseTransports() {
    engine_->SetTransport(nullptr);
    net_->Close();
    comm_->ShutdownComm();
    engine_->ResetReceiver();
}

uint8_t ModemService::ClosePort() {
    if (!engine_ || !comm_ || !net_) {
        return 0;
    }
    engine_->SetTransport(nullptr);
    net_->Close();
    return comm_->ShutdownComm() ? 1 : 0;
}

int32_t ModemService::GetDiscoveredAddress(char* out256) {
    if (out256 != nullptr) {
        const auto address =
            net_ ? net_->DiscoveredAddress() : std::array<char, transport::kDiscoveredAddressSize>{};
        std::memcpy(out256, address.data(), address.size());
    }
    lastResult_.store(kResultOk);
    return kResultOk;
}

int32_t ModemService::GetLibraryVersion(const char** out) {
    if (out != nullptr) {
        *out = kLibraryVersion;
    }
    lastResult_.store(kResultOk);
    return kResultOk;
}

int32_t ModemService::SendRequest60Common(const uint8_t* request, int32_t count, uint8_t* out,
                                          size_t outSize) {
    lastResult_.store(kResultServiceParameterFailed);
    if (out != nullptr) {
        std::memset(out, 0, outSize);
    }
    if (!engine_ || request == nullptr || out == nullptr || count < 1 ||
        static_cast<size_t>(count) > engine_->request.size()) {
        return lastResult_.load();
    }
    engine_->request.fill(0);
    std::memcpy(engine_->request.data(), request, static_cast<size_t>(count));
    // Only the caller's bytes are valid: a layout that needs more is refused, nothing is sent.
    if (engine_->BuildRequest(CommandCode::Request60, engine_->request.data(), static_cast<size_t>(count)) !=
        0) {
        return lastResult_.load();
    }
    if (!engine_->SendBuilt() ||
        engine_->WaitReply(protocol::Command(CommandCode::Request60).timeoutMs) != 1) {
        return lastResult_.load();
    }
    engine_->CopyBlock(CommandCode::Request60, out, outSize);
    lastResult_.store(kResultOk);
    return kResultOk;
}

int32_t ModemService::SendRequest60(const uint8_t* request, int32_t count, uint8_t* out128) {
    return SendRequest60Common(request, count, out128, kRequest60ReplySize);
}

int32_t ModemService::SendRequest60Large(const uint8_t* request, int32_t count, uint8_t* out1086) {
    return SendRequest60Common(request, count, out1086, kRequest60LargeReplySize);
}

int32_t ModemService::StorePassword(const char* password) {
    return StorePasswordFile(password);
}

int32_t ModemService::LoadPassword(char* out32) {
    return LoadPasswordFile(out32);
}

}  // namespace velmo::service
