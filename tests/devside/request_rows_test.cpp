// The row dispatcher: how a control code finds its row, and the order of the checks before a
// handler runs.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "devside/request_rows.h"
#include "platform/win32.h"

namespace ralvex::devside {
namespace {

struct FakeDevice {
  uint32_t handled = 0;  // the slot of the last handler that ran
  uint32_t calls = 0;
};

uint32_t Echo(FakeDevice& device, RequestCall& call) {
  device.handled = call.slot;
  ++device.calls;
  if (!call.in.empty() && !call.out.empty()) call.out[0] = call.in[0];
  call.returned = call.out.empty() ? 0 : 1;
  return 0;
}

const RequestRow<FakeDevice> ROWS[] = {
    {3, 0, 0, Echo},
    {SLOT_SET_BAUD_RATE, 4, 0, Echo},
    {SLOT_GET_LATENCY_TIMER, 0, 1, Echo},
    {SLOT_GET_MODEM_STATUS, 0, 4, [](FakeDevice&, RequestCall& c) { return Reply32(c, 0x30); }},
    {SLOT_VENDOR_CMD_SET_EX, 2, 2, Echo},
    {REQUEST_SLOT_COUNT, 0, 0, Echo},  // past the table: never found
};

TEST(RequestSlotCodes, PrimaryAndAlternateTables) {
  EXPECT_EQ(PrimaryRequestCode(0), 0x00220000u);
  EXPECT_EQ(PrimaryRequestCode(SLOT_SET_BAUD_RATE), 0x00220104u);
  EXPECT_EQ(AlternateRequestCode(SLOT_SET_BAUD_RATE), 0x00222104u);
  EXPECT_EQ(SlotOfCode(0x00220104, PRIMARY_REQUEST_BASE), std::optional<uint32_t>(65));
  EXPECT_EQ(SlotOfCode(0x00220105, PRIMARY_REQUEST_BASE), std::nullopt);
  EXPECT_EQ(SlotOfCode(0x0021FFFC, PRIMARY_REQUEST_BASE), std::nullopt);
  // The primary codes lie below the alternate table; the alternate ones are slots far past the
  // end of the primary one.
  EXPECT_EQ(SlotOfCode(PrimaryRequestCode(65), ALTERNATE_REQUEST_BASE), std::nullopt);
  EXPECT_GE(*SlotOfCode(AlternateRequestCode(65), PRIMARY_REQUEST_BASE), REQUEST_SLOT_COUNT);
}

struct AnswerCase {
  const char* name;
  uint32_t code;
  uint32_t inLength;
  uint32_t outLength;
  bool nullIn;
  bool nullOut;
  uint32_t refuse;  // what the admission check answers
  uint32_t error;
  uint32_t returned;
  bool handled;
};

TEST(RequestDispatch, ChecksInOrderThenTheHandler) {
  const RequestDispatcher<FakeDevice> dispatcher(ROWS);
  const uint32_t baud = PrimaryRequestCode(SLOT_SET_BAUD_RATE);
  const uint32_t latency = PrimaryRequestCode(SLOT_GET_LATENCY_TIMER);
  const uint32_t P = ERROR_INVALID_PARAMETER, F = ERROR_INVALID_FUNCTION;
  const uint32_t GONE = ERROR_DEVICE_NOT_CONNECTED;
  for (const AnswerCase& c : std::vector<AnswerCase>{
           {"served", latency, 1, 1, false, false, 0, 0, 1, true},
           {"a slot that only succeeds", PrimaryRequestCode(3), 0, 0, true, true, 0, 0, 0, true},
           {"longer buffers than needed", baud, 8, 8, false, false, 0, 0, 1, true},
           {"input too short", baud, 3, 0, false, true, 0, P, 0, false},
           {"output too short", latency, 0, 0, true, true, 0, P, 0, false},
           {"missing input buffer with a length", baud, 4, 0, true, true, 0, P, 0, false},
           {"missing output buffer with a length", latency, 0, 1, true, true, 0, P, 0, false},
           {"missing buffer beats an unknown code", 0x1234, 4, 0, true, true, 0, P, 0, false},
           {"no row", PrimaryRequestCode(4), 0, 0, true, true, 0, F, 0, false},
           {"between two slots", baud + 2, 4, 0, false, true, 0, F, 0, false},
           {"the other table", AlternateRequestCode(SLOT_SET_BAUD_RATE), 4, 0, false, true, 0, F, 0,
            false},
           {"a row past the table", PrimaryRequestCode(REQUEST_SLOT_COUNT), 0, 0, true, true, 0, F,
            0, false},
           {"refused by the device", baud, 4, 0, false, true, GONE, GONE, 0, false},
           {"refusal beats short buffers", baud, 0, 0, true, true, GONE, GONE, 0, false},
       }) {
    FakeDevice device;
    std::vector<uint8_t> in(c.inLength, 0x5A), out(c.outLength, 0);
    const ControlRequest request{c.code, c.nullIn ? nullptr : in.data(), c.inLength,
                                 c.nullOut ? nullptr : out.data(), c.outLength};
    RequestCall call;
    uint32_t returned = 77;
    const uint32_t error = dispatcher.Answer(device, request, PRIMARY_REQUEST_BASE, call, &returned,
                                             [&](const auto&) { return c.refuse; });
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_EQ(returned, c.returned) << c.name;
    EXPECT_EQ(device.calls, c.handled ? 1u : 0u) << c.name;
    if (c.handled) {
      EXPECT_EQ(device.handled, *SlotOfCode(c.code, PRIMARY_REQUEST_BASE)) << c.name;
    }
  }
}

TEST(RequestDispatch, SameBufferInAndOutAndNoCountPointer) {
  const RequestDispatcher<FakeDevice> dispatcher(ROWS);
  FakeDevice device;
  uint8_t buffer[4] = {0x42, 0, 0, 0};
  RequestCall call;
  EXPECT_EQ(
      dispatcher.Answer(device, {PrimaryRequestCode(SLOT_VENDOR_CMD_SET_EX), buffer, 4, buffer, 4},
                        PRIMARY_REQUEST_BASE, call, nullptr),
      0u);
  EXPECT_EQ(buffer[0], 0x42);
  EXPECT_EQ(call.returned, 1u);

  uint8_t word[4] = {};
  uint32_t returned = 0;
  RequestCall status;
  EXPECT_EQ(
      dispatcher.Answer(device, {PrimaryRequestCode(SLOT_GET_MODEM_STATUS), nullptr, 0, word, 4},
                        PRIMARY_REQUEST_BASE, status, &returned),
      0u);
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(Get32(word), 0x30u);
}

TEST(RequestDispatch, RowsFoundBySlot) {
  const RequestDispatcher<FakeDevice> dispatcher(ROWS);
  std::vector<uint32_t> found;
  for (uint32_t slot = 0; slot < REQUEST_SLOT_COUNT + 2; ++slot) {
    if (dispatcher.RowOf(slot) != nullptr) found.push_back(slot);
  }
  EXPECT_EQ(found, (std::vector<uint32_t>{3, SLOT_SET_BAUD_RATE, SLOT_GET_MODEM_STATUS,
                                          SLOT_GET_LATENCY_TIMER, SLOT_VENDOR_CMD_SET_EX}));
}

}  // namespace
}  // namespace ralvex::devside
