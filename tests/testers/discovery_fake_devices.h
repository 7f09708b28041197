// A stand-in for the enumeration call: a scripted list of serial numbers per scan pass, with
// devices whose serial cannot be read and a count query that can fail.
#pragma once

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "testers/discovery.h"

namespace ralvex::testers::test_support {

struct FakeDevices {
  // passes[i] is what pass i sees; the last entry repeats for every later pass.
  std::vector<std::vector<std::string>> passes;
  std::set<std::size_t> unreadable;  // device indexes whose serial query fails
  bool countFails = false;
  int countQueries = 0;                  // one per pass
  std::size_t reportedCount = SIZE_MAX;  // overrides the count the query returns
};

inline FakeDevices& Fake() {
  static FakeDevices fake;
  return fake;
}

inline void ResetFake(std::vector<std::vector<std::string>> passes) {
  Fake() = FakeDevices{};
  Fake().passes = std::move(passes);
}

inline const std::vector<std::string>& CurrentPass() {
  static const std::vector<std::string> none;
  FakeDevices& fake = Fake();
  if (fake.passes.empty()) return none;
  const std::size_t pass = fake.countQueries == 0 ? 0 : fake.countQueries - 1;
  return fake.passes[pass < fake.passes.size() ? pass : fake.passes.size() - 1];
}

inline FT_STATUS FT_CALL FakeListDevices(PVOID arg1, PVOID arg2, DWORD flags) {
  FakeDevices& fake = Fake();
  if (flags == FT_LIST_NUMBER_ONLY) {
    ++fake.countQueries;
    if (fake.countFails) return FT_IO_ERROR;
    const std::size_t count =
        fake.reportedCount != SIZE_MAX ? fake.reportedCount : CurrentPass().size();
    *static_cast<DWORD*>(arg1) = static_cast<DWORD>(count);
    return FT_OK;
  }
  if (flags != (FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER)) return FT_INVALID_PARAMETER;
  const auto index = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(arg1));
  const auto& devices = CurrentPass();
  if (index >= devices.size() || fake.unreadable.count(index) != 0) return FT_DEVICE_NOT_OPENED;
  // Like the access layer: at most 15 characters and the terminator.
  char* out = static_cast<char*>(arg2);
  const std::size_t length = devices[index].size() < 15 ? devices[index].size() : 15;
  std::memcpy(out, devices[index].data(), length);
  out[length] = '\0';
  return FT_OK;
}

}  // namespace ralvex::testers::test_support
