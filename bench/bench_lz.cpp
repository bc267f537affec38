// Block codecs against zlib on the same 4 MB of text and picture data cut
// into blocks of 32768 bytes, each block coded on its own: decode and encode
// speed (bytes of uncompressed data per second) and compressed sizes. Also
// random reads from a 50 MB LZIS file, counting the blocks decoded.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>

#include "fs/compressed_file.h"
#include "fs/lzis.h"
#include "fs/lzss.h"
#include "fs/memory_file.h"
#include "lz_data.h"

namespace {

constexpr uint32_t kBlock = 32768;

const std::vector<uint8_t>& Data() {
  static const std::vector<uint8_t> data = SampleData();
  return data;
}

size_t BlockCount() { return (Data().size() + kBlock - 1) / kBlock; }

uint32_t BlockLength(size_t i) {
  return static_cast<uint32_t>(std::min<size_t>(kBlock, Data().size() - i * kBlock));
}

using Blocks = std::vector<std::vector<uint8_t>>;

using EncodeFn = ErrCode (*)(uint8_t, const uint8_t*, uint32_t, uint8_t*, uint32_t*,
                             int64_t*);

Blocks EncodeAll(EncodeFn encode, uint8_t parameter) {
  Blocks blocks;
  for (size_t i = 0; i < BlockCount(); ++i) {
    std::vector<uint8_t> out(kBlock * 2 + 300);
    uint32_t length = static_cast<uint32_t>(out.size());
    encode(parameter, Data().data() + i * kBlock, BlockLength(i), out.data(), &length,
           nullptr);
    out.resize(length);
    blocks.push_back(std::move(out));
  }
  return blocks;
}

Blocks DeflateAll(int level) {
  Blocks blocks;
  for (size_t i = 0; i < BlockCount(); ++i) {
    uLongf length = compressBound(kBlock);
    std::vector<uint8_t> out(length);
    compress2(out.data(), &length, Data().data() + i * kBlock, BlockLength(i), level);
    out.resize(length);
    blocks.push_back(std::move(out));
  }
  return blocks;
}

size_t TotalSize(const Blocks& blocks) {
  size_t total = 0;
  for (const auto& block : blocks) total += block.size();
  return total;
}

void Report(benchmark::State& state, const Blocks& blocks) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Data().size()));
  state.counters["ratio"] = static_cast<double>(TotalSize(blocks)) / Data().size();
  state.counters["compressed"] = static_cast<double>(TotalSize(blocks));
}

void BM_LzisDecode(benchmark::State& state) {
  const Blocks blocks = EncodeAll(LzisEncode, static_cast<uint8_t>(state.range(0)));
  std::vector<uint8_t> out(kBlock);
  for (auto _ : state) {
    for (const auto& block : blocks) {
      uint32_t length = kBlock;
      LzisDecode(block.data(), static_cast<uint32_t>(block.size()), out.data(), &length);
      benchmark::DoNotOptimize(out.data());
    }
  }
  Report(state, blocks);
}
BENCHMARK(BM_LzisDecode)->Arg(1)->Arg(2)->Arg(3);

void BM_ZlibInflate(benchmark::State& state) {
  const Blocks blocks = DeflateAll(static_cast<int>(state.range(0)));
  std::vector<uint8_t> out(kBlock);
  for (auto _ : state) {
    for (const auto& block : blocks) {
      uLongf length = kBlock;
      uncompress(out.data(), &length, block.data(), block.size());
      benchmark::DoNotOptimize(out.data());
    }
  }
  Report(state, blocks);
}
BENCHMARK(BM_ZlibInflate)->Arg(1)->Arg(6)->Arg(9);

void BM_LzssDecode(benchmark::State& state) {
  const auto parameter = static_cast<uint8_t>(state.range(0));
  const Blocks blocks = EncodeAll(LzssEncode, parameter);
  std::vector<uint8_t> out(kBlock);
  for (auto _ : state) {
    for (const auto& block : blocks) {
      uint32_t length = kBlock;
      LzssDecode(parameter, block.data(), static_cast<uint32_t>(block.size()), out.data(),
                 &length);
      benchmark::DoNotOptimize(out.data());
    }
  }
  Report(state, blocks);
}
BENCHMARK(BM_LzssDecode)->Arg(0xC4)->Arg(0xA2);

void BM_LzisEncode(benchmark::State& state) {
  Blocks blocks;
  for (auto _ : state) blocks = EncodeAll(LzisEncode, static_cast<uint8_t>(state.range(0)));
  Report(state, blocks);
}
BENCHMARK(BM_LzisEncode)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_LzssEncode(benchmark::State& state) {
  Blocks blocks;
  for (auto _ : state) blocks = EncodeAll(LzssEncode, static_cast<uint8_t>(state.range(0)));
  Report(state, blocks);
}
BENCHMARK(BM_LzssEncode)->Arg(0xC4)->Unit(benchmark::kMillisecond);

void BM_ZlibDeflate(benchmark::State& state) {
  Blocks blocks;
  for (auto _ : state) blocks = DeflateAll(static_cast<int>(state.range(0)));
  Report(state, blocks);
}
BENCHMARK(BM_ZlibDeflate)->Arg(6)->Unit(benchmark::kMillisecond);

// Counts the blocks it decodes.
class CCountingLzisFile : public CLzisFile {
 public:
  using CLzisFile::CLzisFile;
  ErrCode DecodeBlock(const uint8_t* source, uint32_t length, uint8_t* destination,
                      uint32_t* destination_length) override {
    ++decodes;
    return CLzisFile::DecodeBlock(source, length, destination, destination_length);
  }
  int64_t decodes = 0;
};

// Reads of 4 KB at random positions of a 50 MB file: every read lands in
// another block, so each costs one block decode and no more.
void BM_CompressedRandomRead(benchmark::State& state) {
  constexpr uint32_t kSize = 50 << 20;
  static const auto bytes = [] {
    auto stored = std::make_shared<std::string>();
    CLzisFile file(std::make_unique<CMemoryFile>(stored), kBlock, 1);
    for (uint32_t done = 0; done < kSize; done += static_cast<uint32_t>(Data().size()))
      file.Write(Data().data(), std::min<uint32_t>(static_cast<uint32_t>(Data().size()),
                                                   kSize - done),
                 nullptr);
    return stored;
  }();
  CCountingLzisFile file(std::make_unique<CMemoryFile>(bytes));
  std::mt19937 random(1);
  std::vector<uint8_t> buffer(4096);
  int64_t reads = 0;
  for (auto _ : state) {
    const uint32_t position = random() % (kSize - 4096);
    file.ReadAt(buffer.data(), position, 4096, nullptr);
    ++reads;
  }
  state.counters["decodes_per_read"] = static_cast<double>(file.decodes) / reads;
  state.counters["stored_MB"] = bytes->size() / 1048576.0;
  state.SetItemsProcessed(reads);
}
BENCHMARK(BM_CompressedRandomRead);

}  // namespace

BENCHMARK_MAIN();
