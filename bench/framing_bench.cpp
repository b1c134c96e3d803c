// The receive path's per-frame work against plain copies of the same bytes:
// reading fragments into the reassembly buffer over a socket pair, and
// parsing a live block.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <thread>
#include <vector>

#include "orva/link/reassembly.h"
#include "orva/media/stream_frames.h"

namespace {

constexpr size_t kBlock = 200000;  // a large key frame
constexpr size_t kFragment = 65535;

// Baseline: the same bytes read with plain recv() calls into one buffer.
void BM_PlainRecv(benchmark::State& state) {
  int fds[2];
  socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
  std::vector<uint8_t> out(kBlock), in(kBlock, 0x5A);
  for (auto _ : state) {
    std::thread writer([&] {
      size_t sent = 0;
      while (sent < kBlock) sent += static_cast<size_t>(write(fds[1], in.data() + sent, kBlock - sent));
    });
    size_t got = 0;
    while (got < kBlock) got += static_cast<size_t>(read(fds[0], out.data() + got, kBlock - got));
    writer.join();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBlock));
  close(fds[0]);
  close(fds[1]);
}
BENCHMARK(BM_PlainRecv);

// The reassembly path: header-delimited fragments read straight into place.
void BM_Reassembly(benchmark::State& state) {
  int fds[2];
  socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
  std::vector<uint8_t> in(kBlock, 0x5A);
  orva::FrameReassembly reassembly;
  for (auto _ : state) {
    std::thread writer([&] {
      size_t sent = 0;
      while (sent < kBlock) {
        size_t n = std::min(kFragment, kBlock - sent);
        size_t done = 0;
        while (done < n) done += static_cast<size_t>(write(fds[1], in.data() + sent + done, n - done));
        sent += n;
      }
    });
    size_t got = 0;
    while (got < kBlock) {
      size_t n = std::min(kFragment, kBlock - got);
      orva::MessageHeader h = orva::MakeHeader(18, static_cast<uint16_t>(n));
      if (got + n == kBlock) h.streamFlags |= orva::kLastFragment;
      reassembly.ReadFragment(fds[0], h);
      got += n;
    }
    writer.join();
    benchmark::DoNotOptimize(reassembly.Block().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBlock));
  close(fds[0]);
  close(fds[1]);
}
BENCHMARK(BM_Reassembly);

// Parsing a live video block against copying its frame data once.
std::vector<uint8_t> Block() {
  std::vector<uint8_t> b(4 + 192 + 20 + 30000, 0);
  orva::StoreBE32(b.data(), 192 + 20 + 30000);
  orva::StoreBE32(b.data() + 20, orva::ENC_HEADER_TYPE_VIDEO);
  orva::StoreBE32(b.data() + 196, 1);
  orva::StoreBE32(b.data() + 200, ((20 + 30000 + 3) / 4) << 8);
  orva::StoreBE32(b.data() + 204, 1 << 3);
  return b;
}

void BM_CopyFrameData(benchmark::State& state) {
  auto block = Block();
  for (auto _ : state) {
    std::vector<uint8_t> copy(block.begin() + 196, block.end());
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_CopyFrameData);

void BM_ParseAndCopyFrame(benchmark::State& state) {
  auto block = Block();
  for (auto _ : state) {
    orva::LiveBlock parsed = orva::ParseLiveBlock(block);
    std::vector<uint8_t> copy(parsed.frame.begin(), parsed.frame.end());
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_ParseAndCopyFrame);

}  // namespace
