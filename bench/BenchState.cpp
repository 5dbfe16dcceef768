// The settings file: encoding, decoding, saving and loading the shipped default, a typical and a
// large state, through the real POSIX file system in a temporary folder.
//
// Targets: LoadLarge (about 2 MB) within 20 ms, LoadTypical and LoadDefault within 1 ms.
//
// The large state has 200 profiles of 15 actions each (every control), 3 bundle IDs each.
// A third of each profile's actions are 10-step sequences mixing chords, mouse buttons, text
// and delays; the rest cycle through mouse button, keyboard shortcut, text and scroll. The
// typical state is the first 4 of those profiles.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "linux/PosixFileSystem.h"
#include "model/StateCodec.h"
#include "model/StateStore.h"

namespace {

using tandemo::AppState;
using tandemo::HostAction;
using tandemo::KeyChord;
using tandemo::SequenceStep;
using tandemo::Rival500::Button;

constexpr int largeProfileCount = 200;

// A fixed id per index, so the large document is the same size on every run.
tandemo::Uuid uuidFor(int index) {
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>((index * 37 + static_cast<int>(i) * 11) & 0xFF);
  }
  bytes[6] = static_cast<std::uint8_t>(0x40 | (bytes[6] & 0x0F));
  bytes[8] = static_cast<std::uint8_t>(0x80 | (bytes[8] & 0x3F));
  return tandemo::Uuid(bytes);
}

KeyChord chordFor(int n) {
  KeyChord chord;
  chord.keyCode = static_cast<std::uint16_t>(n % 50);
  chord.shift = n % 2 == 0;
  chord.control = n % 3 == 0;
  chord.option = n % 5 == 0;
  chord.command = n % 7 == 0;
  return chord;
}

HostAction sequenceFor(int seed) {
  HostAction::Sequence sequence;
  for (int step = 0; step < 10; ++step) {
    const int n = seed + step;
    switch (step % 4) {
      case 0: sequence.steps.push_back({SequenceStep::Chord{chordFor(n)}}); break;
      case 1: sequence.steps.push_back({SequenceStep::Mouse{3 + n % 13}}); break;
      case 2: sequence.steps.push_back({SequenceStep::Text{"/cast Spell " + std::to_string(n)}}); break;
      default: sequence.steps.push_back({SequenceStep::Delay{25 + n % 200}}); break;
    }
  }
  return {std::move(sequence)};
}

HostAction singleFor(int n) {
  switch (n % 4) {
    case 0: return {HostAction::MouseButton{3 + n % 13}};
    case 1: return {HostAction::Key{chordFor(n)}};
    case 2: return {HostAction::Text{"Hello from action " + std::to_string(n) + " \u00e9\u2713"}};
    default: return {HostAction::Scroll{n % 7 - 3, 3 - n % 5}};
  }
}

AppState generatedState(int profileCount) {
  AppState state = AppState::wowDefault();
  state.profiles.clear();
  for (int p = 0; p < profileCount; ++p) {
    tandemo::Profile profile;
    profile.id = uuidFor(p);
    profile.name = "Profile " + std::to_string(p);
    for (int b = 0; b < 3; ++b) {
      profile.bundleIDs.push_back("com.example.vendor" + std::to_string(p) + ".app" + std::to_string(b));
    }
    int index = 0;
    for (Button button : tandemo::Rival500::allButtons) {
      const int n = p * 15 + index;
      // Every third control (5 of 15) gets a sequence.
      profile.actions[button] = index % 3 == 2 ? sequenceFor(n) : singleFor(n);
      ++index;
    }
    state.profiles.push_back(std::move(profile));
  }
  state.pinnedProfileID = state.profiles[static_cast<std::size_t>(profileCount / 2)].id;
  return state;
}

const AppState& defaultState() {
  static const AppState state = AppState::wowDefault();
  return state;
}

const AppState& typicalState() {
  static const AppState state = generatedState(4);
  return state;
}

const AppState& bigState() {
  static const AppState state = generatedState(largeProfileCount);
  return state;
}

const std::string& bigText() {
  static const std::string text = tandemo::encodeState(bigState());
  return text;
}

// A fresh folder under the temporary directory, removed with the object.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tandemo-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void setSizeCounters(benchmark::State& state, const std::string& text) {
  state.counters["file_bytes"] = static_cast<double>(text.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

// ---- encode + save ----

void saveBenchmark(benchmark::State& state, const AppState& appState) {
  TempFolder folder;
  tandemo::linux_platform::PosixFileSystem files;
  tandemo::StateStore store(files, folder.path() / "Tandemo" / "state.json");
  for (auto _ : state) {
    auto saved = store.save(appState);
    if (!saved) {
      state.SkipWithError(saved.error().c_str());
      break;
    }
  }
  setSizeCounters(state, tandemo::encodeState(appState));
}

void BM_SaveDefault(benchmark::State& state) { saveBenchmark(state, defaultState()); }
void BM_SaveLarge(benchmark::State& state) { saveBenchmark(state, bigState()); }

// ---- load + decode ----

void loadBenchmark(benchmark::State& state, const AppState& appState) {
  TempFolder folder;
  tandemo::linux_platform::PosixFileSystem files;
  tandemo::StateStore store(files, folder.path() / "Tandemo" / "state.json");
  if (auto saved = store.save(appState); !saved) {
    state.SkipWithError(saved.error().c_str());
    return;
  }
  for (auto _ : state) {
    tandemo::LoadResult loaded = store.load();
    if (loaded.source != tandemo::LoadResult::Source::file) {
      state.SkipWithError(("load did not use the file: " + loaded.problem).c_str());
      break;
    }
    benchmark::DoNotOptimize(loaded);
  }
  setSizeCounters(state, tandemo::encodeState(appState));
}

void BM_LoadDefault(benchmark::State& state) { loadBenchmark(state, defaultState()); }
void BM_LoadTypical(benchmark::State& state) { loadBenchmark(state, typicalState()); }
void BM_LoadLarge(benchmark::State& state) { loadBenchmark(state, bigState()); }

// ---- the parts, without the disk ----

void BM_EncodeLarge(benchmark::State& state) {
  for (auto _ : state) {
    std::string text = tandemo::encodeState(bigState());
    benchmark::DoNotOptimize(text);
  }
  setSizeCounters(state, bigText());
}

void BM_DecodeLarge(benchmark::State& state) {
  for (auto _ : state) {
    auto decoded = tandemo::decodeState(bigText());
    if (!decoded) {
      state.SkipWithError(decoded.error().describe().c_str());
      break;
    }
    benchmark::DoNotOptimize(decoded);
  }
  setSizeCounters(state, bigText());
}

// The JSON parse alone, without the decoder's depth check: DecodeLarge minus this is that check
// and the decoder's walk over the parsed tree.
void BM_JsonParseLarge(benchmark::State& state) {
  for (auto _ : state) {
    auto document = nlohmann::json::parse(bigText());
    benchmark::DoNotOptimize(document);
  }
  setSizeCounters(state, bigText());
}

// The JSON lexer and grammar alone, building nothing: JsonParseLarge minus this is the cost of
// building (and freeing) nlohmann's document tree.
struct NullSax : nlohmann::json_sax<nlohmann::json> {
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }
};

void BM_JsonScanLarge(benchmark::State& state) {
  for (auto _ : state) {
    NullSax sax;
    const bool ok = nlohmann::json::sax_parse(bigText(), &sax);
    benchmark::DoNotOptimize(ok);
  }
  setSizeCounters(state, bigText());
}

// The same document without indentation: how much of the parse is whitespace.
void BM_JsonParseCompactLarge(benchmark::State& state) {
  const std::string compact = nlohmann::json::parse(bigText()).dump();
  for (auto _ : state) {
    auto document = nlohmann::json::parse(compact);
    benchmark::DoNotOptimize(document);
  }
  setSizeCounters(state, compact);
}

// Reading the file alone: LoadLarge minus DecodeLarge is roughly this.
void BM_ReadFileLarge(benchmark::State& state) {
  TempFolder folder;
  tandemo::linux_platform::PosixFileSystem files;
  const auto file = folder.path() / "state.json";
  if (auto written = files.writeAtomically(file, bigText()); !written) {
    state.SkipWithError(written.error().c_str());
    return;
  }
  for (auto _ : state) {
    auto text = files.readFile(file, tandemo::StateStore::maxFileBytes);
    benchmark::DoNotOptimize(text);
  }
  setSizeCounters(state, bigText());
}

// Saving waits for fsync, so wall-clock time is what the user feels.
BENCHMARK(BM_SaveDefault)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_LoadDefault)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_LoadTypical)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SaveLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodeLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonParseLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonScanLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonParseCompactLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFileLarge)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
