// bench_convert: how long a full card takes to convert, per model, through
// convert/ alone, against a plain read of the same stream file; and how many
// cards per second the command-line path (read, convert, DataFileContents)
// handles. Prints figures only; no assertions on time.
//
//   bench_convert [REPEATS] [--cli PATH]   (default 200 repeats)
// With --cli, also times whole dedizivi-cli processes on each model's card.

#include "conversion.h"
#include "datafile.h"
#include "models.h"
#include "numberformat.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

namespace {

class BenchTarget final : public dz::ConversionTarget {
public:
  dz::CellGrid& Grid() override { return *m_grid; }
  void SetTitle(const std::string&) override {}
  void ProgressReset(int) override {}
  void ProgressStep() override { ++steps; }
  void HideRadiationPanel() override {}
  std::string RadiationOffsetText() override { return "6"; }
  std::string RadiationConstantText() override { return "10"; }
  int steps = 0;

private:
  std::unique_ptr<dz::CellGrid> m_grid = std::make_unique<dz::CellGrid>();
};

uint32_t g_seed = 12345;
int Random(int lo, int hi)
{
  g_seed = g_seed * 1664525u + 1013904223u;
  return lo + static_cast<int>((g_seed >> 8) % static_cast<uint32_t>(hi - lo + 1));
}

// A full card as the logger streams it, CR LF line ends, realistic words.
std::string MakeCard(const dz::ModelInfo& m)
{
  std::string s;
  const auto word = [&](int w) {
    const int r = w % 256;
    s += std::to_string(w / 256) + "\r\n" + std::to_string(r / 100) + "\r\n" + std::to_string(r / 10 % 10) + "\r\n" +
         std::to_string(r % 10) + "\r\n";
  };
  char buf[16];
  switch (m.Word) {
  case dz::WordSpelling::FourLines:
    for (int i = 0; i < 1024; ++i)
      word(Random(150, 900));
    break;
  case dz::WordSpelling::FourCharGroups:
    for (int i = 0; i < 1171; ++i) {
      for (int g = 0; g < 7; ++g) {
        const int w = g == 0 ? Random(100, 150) : Random(350, 1000);
        std::snprintf(buf, sizeof buf, "%d%03d", w / 256, w % 256);
        s += buf;
      }
      s += "\r\n";
    }
    break;
  case dz::WordSpelling::SixCharGroups:
    for (int i = 0; i < 1171; ++i) {
      for (int g = 0; g < 7; ++g) {
        const int w = Random(2831, 3131);
        std::snprintf(buf, sizeof buf, "%d%02d%03d", Random(0, 9), w / 256, w % 256);
        s += buf;
      }
      s += "\r\n";
    }
    break;
  }
  return s;
}

std::string ReadFile(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

} // namespace

int main(int argc, char** argv)
{
  int repeats = 200;
  const char* cli = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--cli" && i + 1 < argc)
      cli = argv[++i];
    else
      repeats = std::max(1, std::atoi(argv[i]));
  }
  dz::ProgramNumberFormat().DecimalSeparator = ',';
  char dir[] = "/tmp/bench_convert.XXXXXX";
  if (!::mkdtemp(dir)) {
    std::perror("mkdtemp");
    return 1;
  }

  std::printf("bench_convert: %d repeats per model, full cards, times per card\n\n", repeats);
  std::printf("%-5s %-38s %9s %11s %11s %7s %11s %9s\n", "model", "selector text", "bytes", "plain read",
              "convert", "ratio", "cli path", "cards/s");
  double worstConvert = 0;
  double worstCliRate = 1e18;
  for (const auto& m : dz::AllModels()) {
    const std::string card = MakeCard(m);
    const std::string path = std::string(dir) + "/model" + std::to_string(m.Index) + ".raw";
    std::ofstream(path, std::ios::binary) << card;

    // Plain read of the file.
    std::size_t sink = 0;
    auto t0 = Clock::now();
    for (int r = 0; r < repeats; ++r)
      sink += ReadFile(path).size();
    const double plain = Seconds(Clock::now() - t0) / repeats;

    // Read + line buffer + conversion into a grid (what the window does on close).
    t0 = Clock::now();
    for (int r = 0; r < repeats; ++r) {
      dz::LineBuffer buffer;
      buffer.Append(ReadFile(path));
      BenchTarget target;
      dz::RunConversion(m.Index, buffer, target);
      sink += static_cast<std::size_t>(target.steps);
    }
    const double convert = Seconds(Clock::now() - t0) / repeats;

    // The command-line path: read, convert into an empty grid, lay out the file.
    t0 = Clock::now();
    for (int r = 0; r < repeats; ++r) {
      dz::LineBuffer buffer;
      buffer.Append(ReadFile(path));
      BenchTarget target;
      dz::RunConversion(m.Index, buffer, target);
      sink += dz::DataFileContents(m.Index, target.Grid()).size();
    }
    const double cliPath = Seconds(Clock::now() - t0) / repeats;
    if (sink == 0)
      std::printf("?");

    worstConvert = std::max(worstConvert, convert);
    worstCliRate = std::min(worstCliRate, 1.0 / cliPath);
    std::printf("%-5d %-38.*s %9zu %8.3f ms %8.3f ms %6.1fx %8.3f ms %9.0f\n", m.Index,
                static_cast<int>(m.SelectorText.size()), m.SelectorText.data(), card.size(), plain * 1e3,
                convert * 1e3, convert / plain, cliPath * 1e3, 1.0 / cliPath);
  }
  std::printf("\nslowest full-card conversion: %.3f ms (target under 20 ms)\n", worstConvert * 1e3);
  std::printf("slowest command-line path: %.0f cards/s (target 100 cards/s)\n", worstCliRate);

  if (cli != nullptr) {
    const int runs = std::max(1, std::min(repeats, 50));
    std::printf("\nwhole dedizivi-cli processes (%d runs per model):\n", runs);
    for (const auto& m : dz::AllModels()) {
      const std::string path = std::string(dir) + "/model" + std::to_string(m.Index) + ".raw";
      const std::string cmd = std::string(cli) + " convert --model " + std::to_string(m.Index) +
                              " --constant 10 --offset 6 " + path + " -o " + dir + "/out.txt";
      const auto t0 = Clock::now();
      for (int r = 0; r < runs; ++r)
        if (std::system(cmd.c_str()) != 0) {
          std::printf("  model %d: dedizivi-cli failed\n", m.Index);
          break;
        }
      const double per = Seconds(Clock::now() - t0) / runs;
      std::printf("  model %d: %.3f ms per process, %.0f cards/s\n", m.Index, per * 1e3, 1.0 / per);
    }
  }

  for (const auto& m : dz::AllModels())
    ::unlink((std::string(dir) + "/model" + std::to_string(m.Index) + ".raw").c_str());
  ::unlink((std::string(dir) + "/out.txt").c_str());
  ::rmdir(dir);
  return 0;
}
