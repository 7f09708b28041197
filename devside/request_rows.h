// The request dispatch of a bridge driver: the device file lists one row per slot it serves
// {slot, shortest input, shortest output, handler}, and a RequestDispatcher built on those rows
// answers the control codes. A slot without a row is refused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "devside/little_endian.h"
#include "devside/request_slots.h"
#include "platform/win32.h"

namespace ralvex::devside {

// One control request on its way through a handler. A driver that needs more per call derives
// from it.
struct RequestCall {
  uint32_t slot = 0;
  std::span<const uint8_t> in;  // at least the row's shortest input
  std::span<uint8_t> out;       // at least the row's shortest output
  uint32_t returned = 0;        // the bytes of `out` the handler filled
};

// Answers a request whose reply is one 32-bit word.
inline uint32_t Reply32(RequestCall& call, uint32_t value) {
  Put32(call.out.data(), value);
  call.returned = 4;
  return 0;
}

// A handler returns the Win32 error the request answers (0: done).
template <typename Device, typename Call = RequestCall>
struct RequestRow {
  uint32_t slot;
  uint32_t minInput;
  uint32_t minOutput;
  uint32_t (*handle)(Device& device, Call& call);
};

// A control request as the platform hands it over.
struct ControlRequest {
  uint32_t code = 0;
  const void* in = nullptr;
  uint32_t inLength = 0;
  void* out = nullptr;
  uint32_t outLength = 0;
};

template <typename Device, typename Call = RequestCall>
class RequestDispatcher {
 public:
  using Row = RequestRow<Device, Call>;

  // Rows past REQUEST_SLOT_COUNT are ignored; of two rows for one slot the later one counts.
  template <size_t N>
  explicit RequestDispatcher(const Row (&rows)[N]) {
    for (const Row& row : rows) {
      if (row.slot < REQUEST_SLOT_COUNT) bySlot_[row.slot] = &row;
    }
  }

  const Row* RowOf(uint32_t slot) const {
    return slot < REQUEST_SLOT_COUNT ? bySlot_[slot] : nullptr;
  }

  // Answers `request` from the table starting at `base`, in this order: a missing buffer with a
  // length is ERROR_INVALID_PARAMETER, a code without a row ERROR_INVALID_FUNCTION, then
  // `admit(row)` may refuse (nonzero: that error), buffers shorter than the row takes are
  // ERROR_INVALID_PARAMETER, and otherwise the handler answers. `call` carries the slot and the
  // buffers to the handler; *returned (may be null) is what the handler filled, else 0.
  template <typename Admit>
  uint32_t Answer(Device& device, const ControlRequest& request, uint32_t base, Call& call,
                  uint32_t* returned, Admit admit) const {
    uint32_t ignored = 0;
    if (returned == nullptr) returned = &ignored;
    *returned = 0;
    const auto* input = static_cast<const uint8_t*>(request.in);
    auto* output = static_cast<uint8_t*>(request.out);
    if ((input == nullptr && request.inLength > 0) ||
        (output == nullptr && request.outLength > 0)) {
      return ERROR_INVALID_PARAMETER;
    }
    const auto slot = SlotOfCode(request.code, base);
    const Row* row = slot ? RowOf(*slot) : nullptr;
    if (row == nullptr) return ERROR_INVALID_FUNCTION;
    call.slot = row->slot;
    if (const uint32_t refused = admit(*row)) return refused;
    if (request.inLength < row->minInput || request.outLength < row->minOutput) {
      return ERROR_INVALID_PARAMETER;
    }
    if (input != nullptr) call.in = {input, request.inLength};
    if (output != nullptr) call.out = {output, request.outLength};
    const uint32_t error = row->handle(device, call);
    *returned = call.returned;
    return error;
  }

  uint32_t Answer(Device& device, const ControlRequest& request, uint32_t base, Call& call,
                  uint32_t* returned) const {
    return Answer(device, request, base, call, returned, [](const Row&) { return 0u; });
  }

 private:
  std::array<const Row*, REQUEST_SLOT_COUNT> bySlot_{};
};

}  // namespace ralvex::devside
