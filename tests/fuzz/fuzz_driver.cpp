// Runs a libFuzzer target without libFuzzer, for the bounded run every test run
// makes (under the sanitizers in the sanitized build): each seed file as it is,
// then RUNS inputs made from the seeds by the mutations a fuzzer starts with
// (bytes flipped, dropped, repeated, spliced from another seed, numbers at their
// edges), from a fixed start so that a failure comes back the same. A longer
// search is libFuzzer's, on the same target (README, "Fuzzing").
//   fuzz_run SEED_FOLDER [RUNS]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::vector<std::uint8_t>;

class Random {
 public:
  std::uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

const char* const kEdges[] = {"0", "-1", "2147483647", "2147483648", "-2147483649", "99999999999",
                              "9223372036854775807", "1e999", "nan", "-0", "\xe2\x80\xae", "\x1b[31m", "\xff\xfe"};

Bytes mutated(const std::vector<Bytes>& seeds, Random& random) {
  Bytes b = seeds[random.below(seeds.size())];
  const int steps = 1 + static_cast<int>(random.below(4));
  for (int i = 0; i < steps; ++i) {
    const std::size_t at = random.below(b.size() + 1);
    switch (random.below(6)) {
      case 0:
        if (!b.empty()) b[at % b.size()] ^= static_cast<std::uint8_t>(1u << random.below(8));
        break;
      case 1:
        if (!b.empty()) b.erase(b.begin() + static_cast<long>(at % b.size()), b.begin() + static_cast<long>(std::min(b.size(), at % b.size() + 1 + random.below(16))));
        break;
      case 2: {
        const std::size_t from = random.below(b.size()), length = std::min<std::size_t>(b.size() - from, 1 + random.below(32));
        const Bytes chunk(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + length));
        b.insert(b.begin() + static_cast<long>(std::min(at, b.size())), chunk.begin(), chunk.end());
        break;
      }
      case 3: {
        const Bytes& other = seeds[random.below(seeds.size())];
        const std::size_t from = random.below(other.size()), length = std::min<std::size_t>(other.size() - from, 1 + random.below(64));
        b.insert(b.begin() + static_cast<long>(std::min(at, b.size())), other.begin() + static_cast<long>(from),
                 other.begin() + static_cast<long>(from + length));
        break;
      }
      case 4: {
        const char* edge = kEdges[random.below(std::size(kEdges))];
        b.insert(b.begin() + static_cast<long>(std::min(at, b.size())), edge, edge + std::strlen(edge));
        break;
      }
      default:
        if (!b.empty()) b[at % b.size()] = static_cast<std::uint8_t>(random.next());
        break;
    }
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SEED_FOLDER [RUNS]\n", argv[0]);
    return 2;
  }
  std::vector<Bytes> seeds;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1], error)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream file(entry.path(), std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  if (seeds.empty()) seeds.emplace_back();
  // Each input is kept in a file until it has passed: one that crashes the target
  // stays there, to be kept as a seed of its own once what it found is mended.
  const std::string kept = (std::filesystem::temp_directory_path() /
                            (std::filesystem::path(argv[0]).filename().string() + ".input")).string();
  const auto run = [&kept](const Bytes& input) {
    std::ofstream(kept, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    LLVMFuzzerTestOneInput(input.data(), input.size());
  };
  std::fprintf(stderr, "each input is kept in %s until it passes\n", kept.c_str());
  for (const Bytes& seed : seeds) run(seed);
  const long runs = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1000;
  Random random;
  for (long i = 0; i < runs; ++i) run(mutated(seeds, random));
  std::filesystem::remove(kept, error);
  std::printf("%zu seeds and %ld inputs made from them, none failed\n", seeds.size(), runs);
  return 0;
}
