// The dial-up component of the service object. Created with the service object so that it exists on every
// machine, with or without pppd; its operations arrive with the dial-up service.
#pragma once

namespace velmo::service {

class RasDialer {
  public:
    RasDialer() = default;
};

}  // namespace velmo::service
