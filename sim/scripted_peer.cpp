#include "sim/scripted_peer.h"

namespace ralvex::sim {

void ScriptedPeer::Attach(SerialLine* line) {
  std::lock_guard<std::mutex> lock(mutex_);
  line_ = line;
}

void ScriptedPeer::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  line_ = nullptr;
}

void ScriptedPeer::OnHostBytes(const uint8_t* data, size_t length) {
  Handler handler;
  SerialLine* line;
  Answer answer;
  bool answering = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.insert(received_.end(), data, data + length);
    line = line_;
    handler = handler_;
    if (!handler && !answers_.empty()) {
      answer = std::move(answers_.front());
      answers_.pop_front();
      answering = true;
    }
  }
  // The line is called without the peer's lock: it may call straight back into the device.
  if (line == nullptr) return;
  if (handler) {
    handler(data, length, *line);
  } else if (answering && !answer.bytes.empty()) {
    if (answer.delayMs == 0) {
      line->SendToHost(answer.bytes.data(), answer.bytes.size());
    } else {
      line->SendToHostAfter(answer.delayMs, answer.bytes.data(), answer.bytes.size());
    }
  }
}

void ScriptedPeer::OnOpen() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++opens_;
}

void ScriptedPeer::OnClose() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++closes_;
}

void ScriptedPeer::SetHandler(Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handler_ = std::move(handler);
}

void ScriptedPeer::QueueAnswer(std::vector<uint8_t> bytes, uint32_t delayMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.push_back({std::move(bytes), delayMs});
}

bool ScriptedPeer::Send(const std::vector<uint8_t>& bytes) {
  SerialLine* line;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    line = line_;
  }
  if (line == nullptr) return false;
  line->SendToHost(bytes.data(), bytes.size());
  return true;
}

bool ScriptedPeer::SendAfter(uint32_t delayMs, const std::vector<uint8_t>& bytes) {
  SerialLine* line;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    line = line_;
  }
  if (line == nullptr) return false;
  line->SendToHostAfter(delayMs, bytes.data(), bytes.size());
  return true;
}

std::vector<uint8_t> ScriptedPeer::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void ScriptedPeer::ClearReceived() {
  std::lock_guard<std::mutex> lock(mutex_);
  received_.clear();
}

bool ScriptedPeer::Attached() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return line_ != nullptr;
}

uint32_t ScriptedPeer::OpenCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opens_;
}

uint32_t ScriptedPeer::CloseCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closes_;
}

}  // namespace ralvex::sim
