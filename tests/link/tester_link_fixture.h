// A bench with one bridge device whose serial side is a scripted tester: each frame the link
// writes goes to a responder that the test sets, and its answers go back framed, at once or
// after a delay. The default responder behaves like a healthy tester.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "link/frame.h"
#include "platform/win32.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/scripted_peer.h"

namespace ralvex::link::testing {

inline constexpr const char* TEST_SERIAL = "KORA0001";

using Bytes = std::vector<uint8_t>;

inline Bytes Framed(const Bytes& payload) {
  Bytes frame(payload.size() + FRAME_OVERHEAD);
  frame.resize(BuildFrame(payload, frame));
  return frame;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct Answer {
  Bytes payload;  // framed before it is sent
  uint32_t delayMs = 0;
};

// Payload of the request frame (command byte first), or empty for a malformed one.
inline Bytes PayloadOf(std::span<const uint8_t> frame) {
  if (frame.size() < FRAME_OVERHEAD || frame[1] + FRAME_OVERHEAD != frame.size()) return {};
  return Bytes(frame.begin() + 2, frame.end() - 2);
}

// What the healthy tester answers. Settings read back 1, 0x1234, 1 and 0x5678.
inline std::vector<Answer> HealthyAnswer(const Bytes& request) {
  if (request.empty()) return {};
  switch (request[0]) {
    case 0x01:
      return {{{0x01, 0x15, 0x07}}};
    case 0xE1:
      switch (request.size() > 1 ? request[1] : 0xFF) {
        case 0:
          return {{{0xE1, 0x01}}};
        case 2:
          return {{{0xE1, 0x34, 0x12}}};
        case 3:
          return {{{0xE1, 0x01}}};
        case 4:
          return {{{0xE1, 0x78, 0x56}}};
        default:
          return {};
      }
    case 0x0A:
      return {{{0x0A, 0x01, 0x03, 0x05, 0x00, 0x88, 0x13, 0xB8, 0x0B, 0x98, 0x3A, 0x00, 0x00}}};
    case 0x0C:
      return {{{0x0C, 0x00, 0x19, 0x88, 0x13, 0xE8, 0x03, 0xE6, 0x03, 0x00, 0x00}}};
    case 0x0B: {
      Bytes list = {0x0B, 0x02, 0x00,
                    // class 5 subtype 0, id 1: 5 V 3 A
                    0x51, 0x00, 0x00, 0x00, 0x88, 0x13, 0xB8, 0x0B,
                    // PD-APDO id 2: 3.3-11 V 5 A
                    0x52, 0x03, 0xE4, 0x0C, 0xF8, 0x2A, 0x88, 0x13};
      list.resize(59, 0);
      return {{list}};
    }
    default:
      // The set commands: the tester acknowledges with the command byte.
      return {{{request[0]}}};
  }
}

class LinkBench {
 public:
  using Responder = std::function<std::vector<Answer>(const Bytes& request)>;

  // `refusedSlots`: driver requests the bridge refuses although they are valid. `wireModel`: bytes
  // take their time on the line and reach the host in the bridge's USB packets.
  explicit LinkBench(const char* serial = TEST_SERIAL, std::vector<uint32_t> refusedSlots = {},
                     bool wireModel = false)
      : peer_(std::make_shared<sim::ScriptedPeer>()) {
    sim::BridgeDeviceConfig config;
    config.serial = serial;
    config.refuse = std::move(refusedSlots);
    config.wireModel = wireModel;
    device_ = &bench_.AddDevice(config, peer_);
    responder_ = HealthyAnswer;
    peer_->SetHandler([this](const uint8_t* data, std::size_t length, sim::SerialLine& line) {
      Responder responder;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        responder = responder_;
      }
      for (const Answer& answer : responder(PayloadOf({data, length}))) {
        const Bytes frame = Framed(answer.payload);
        if (answer.delayMs == 0) {
          line.SendToHost(frame.data(), frame.size());
        } else {
          line.SendToHostAfter(answer.delayMs, frame.data(), frame.size());
        }
      }
    });
  }

  void SetResponder(Responder responder) {
    std::lock_guard<std::mutex> lock(mutex_);
    responder_ = std::move(responder);
  }

  sim::ScriptedPeer& Peer() { return *peer_; }
  sim::BridgeDevice& Device() { return *device_; }

  // Waits (bounded) until no file is open on the device: the I/O thread has closed it.
  bool WaitUntilClosed(DWORD timeoutMs = 5000) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 5) {
      if (!device_->IsOpen()) return true;
      Sleep(5);
    }
    return !device_->IsOpen();
  }

 private:
  sim::Bench bench_;
  std::shared_ptr<sim::ScriptedPeer> peer_;
  sim::BridgeDevice* device_ = nullptr;
  std::mutex mutex_;
  Responder responder_;
};

// The frames a successful Open sends, in order.
inline Bytes OpenFrames() {
  return Concat({{0x02, 0x01, 0x01, 0x01, 0x03},
                 {0x02, 0x02, 0xE1, 0x00, 0xE2, 0x03},
                 {0x02, 0x02, 0xE1, 0x02, 0xE0, 0x03},
                 {0x02, 0x02, 0xE1, 0x03, 0xE1, 0x03},
                 {0x02, 0x02, 0xE1, 0x04, 0xE6, 0x03}});
}

}  // namespace ralvex::link::testing
