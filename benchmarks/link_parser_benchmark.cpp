// Throughput of the receive parser on a stream of typical tester replies, delivered in the read
// lengths the parser asks for, as the link's I/O thread does.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/commands.h"
#include "link/frame.h"
#include "link/receive_parser.h"

namespace {

using ralvex::link::ReceiveParser;

std::vector<uint8_t> Framed(std::vector<uint8_t> payload) {
  std::vector<uint8_t> out(payload.size() + ralvex::link::FRAME_OVERHEAD);
  out.resize(ralvex::link::BuildFrame(payload, out));
  return out;
}

// One of each reply the program asks for, plus a notification, at their real sizes.
std::vector<uint8_t> MixedStream() {
  using namespace ralvex::link;
  std::vector<uint8_t> stream;
  auto add = [&](std::vector<uint8_t> payload) {
    const auto f = Framed(std::move(payload));
    stream.insert(stream.end(), f.begin(), f.end());
  };
  add({CMD_HELLO, 21, 0});
  add({CMD_GET_SETTING, 1});
  add({CMD_GET_CONNECTION, 1, 3, 5, 0, 0x88, 0x13, 0xB8, 0x0B, 0x98, 0x3A, 0, 0});
  std::vector<uint8_t> profiles(59, 0);
  profiles[0] = CMD_GET_PROFILES;
  profiles[1] = 7;
  add(profiles);
  add({CMD_GET_STATS, 0, 25, 0x88, 0x13, 0xE8, 0x03, 0xE6, 0x03, 0, 0});
  add({0x21});
  return stream;
}

void Run(benchmark::State& state, const std::vector<uint8_t>& stream) {
  auto parser = std::make_unique<ReceiveParser>();
  int64_t frames = 0;
  for (auto _ : state) {
    uint32_t readLength = ReceiveParser::StartReadLength();
    std::size_t at = 0;
    while (at < stream.size()) {
      const std::size_t n = std::min<std::size_t>(readLength, stream.size() - at);
      const auto r = parser->Feed({stream.data() + at, n});
      frames += (r.replyReady || r.notification != 0) ? 1 : 0;
      readLength = r.readLength;
      at += n;
    }
    benchmark::DoNotOptimize(parser->Reply().data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
  state.counters["frames"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

void ParserTypicalReplies(benchmark::State& state) {
  Run(state, MixedStream());
}
BENCHMARK(ParserTypicalReplies);

void ParserLongestFrames(benchmark::State& state) {
  std::vector<uint8_t> payload(ralvex::link::FRAME_MAX_PAYLOAD, 0x5A);
  payload[0] = ralvex::link::CMD_GET_STATS;
  Run(state, Framed(payload));
}
BENCHMARK(ParserLongestFrames);

}  // namespace

BENCHMARK_MAIN();
