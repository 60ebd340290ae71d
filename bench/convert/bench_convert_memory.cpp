// bench_convert_memory: the peak memory of whole `dedizivi-cli convert`
// processes, side by side: an empty input (the process alone), full cards of
// the largest models, an input at the size limit, and inputs no card can be
// (100 MB of digits, /dev/zero), which must be refused without growing.
// Prints the peak resident sizes and their ratios to the empty run; asserts
// nothing but that each run ended as expected.
//
//   bench_convert_memory [--cli PATH] [--old-cli PATH]
// With --old-cli, the same runs of another build are printed beside them.

#include "card.h"
#include "models.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run {
  int Status = -1;
  long PeakKb = 0;
};

// One process, its output thrown away; the peak from the kernel's accounting.
Run RunConvert(const std::string& cli, int model, const std::string& input)
{
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    const std::string m = std::to_string(model);
    ::execl(cli.c_str(), cli.c_str(), "convert", "--model", m.c_str(), input.c_str(), "-o", "/dev/null",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  Run run;
  int status = 0;
  rusage usage {};
  if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid) {
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.PeakKb = usage.ru_maxrss;
  }
  return run;
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
  std::string cli = DZ_CLI_PATH;
  std::string oldCli;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--cli")
      cli = argv[i + 1];
    else if (a == "--old-cli")
      oldCli = argv[i + 1];
  }
  char dir[] = "/tmp/bench_convert_memory.XXXXXX";
  if (!::mkdtemp(dir)) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string d = dir;

  struct Case {
    const char* Name;
    int Model;
    std::string Input;
    int Expected; // exit status
  };
  std::vector<Case> cases;
  WriteFile(d + "/empty.raw", "");
  cases.push_back({"empty input", 0, d + "/empty.raw", 1});
  for (const int model : {0, 3, 8}) {
    const std::string path = d + "/card" + std::to_string(model) + ".raw";
    WriteFile(path, vexa::GenerateCard(model, 7, vexa::Eol::CrLf));
    cases.push_back({model == 0 ? "full card, model 0" : model == 3 ? "full card, model 3" : "full card, model 8",
                     model, path, 0});
  }
  // A full card padded with extra lines up to the limit: still converted.
  std::string padded = vexa::GenerateCard(3, 7, vexa::Eol::CrLf);
  while (padded.size() + 44 <= static_cast<std::size_t>(dz::kMaxStreamBytes))
    padded += std::string(42, '0') + "\r\n";
  WriteFile(d + "/limit.raw", padded);
  cases.push_back({"card padded to the limit", 3, d + "/limit.raw", 0});
  {
    std::ofstream big(d + "/big.raw", std::ios::binary);
    const std::string block(1 << 20, '7');
    for (int i = 0; i < 100; ++i)
      big << block;
  }
  cases.push_back({"100 MB of digits", 0, d + "/big.raw", 1});
  cases.push_back({"/dev/zero", 0, "/dev/zero", 1});

  std::printf("peak resident memory of 'dedizivi-cli convert' processes\n");
  std::printf("%-26s %10s %9s %7s", "input", "bytes", "peak", "ratio");
  if (!oldCli.empty())
    std::printf(" %12s %7s %9s", "before", "ratio", "now/bef.");
  std::printf("\n");
  long base = 0;
  long baseOld = 0;
  bool ok = true;
  for (const Case& c : cases) {
    const Run run = RunConvert(cli, c.Model, c.Input);
    ok = ok && run.Status == c.Expected;
    if (base == 0)
      base = run.PeakKb;
    std::ifstream in(c.Input, std::ios::binary | std::ios::ate);
    const long long bytes = c.Input == "/dev/zero" ? -1 : static_cast<long long>(in.tellg());
    std::printf("%-26s %10s %6ld KB %6.2fx", c.Name, bytes < 0 ? "endless" : std::to_string(bytes).c_str(),
                run.PeakKb, static_cast<double>(run.PeakKb) / static_cast<double>(base));
    if (run.Status != c.Expected)
      std::printf("  (status %d, expected %d)", run.Status, c.Expected);
    // The build before may read /dev/zero until it runs out of memory: not asked.
    if (!oldCli.empty() && c.Input != "/dev/zero") {
      const Run old = RunConvert(oldCli, c.Model, c.Input);
      if (baseOld == 0)
        baseOld = old.PeakKb;
      std::printf(" %9ld KB %6.2fx %8.2fx", old.PeakKb, static_cast<double>(old.PeakKb) / static_cast<double>(baseOld),
                  static_cast<double>(run.PeakKb) / static_cast<double>(old.PeakKb));
    }
    std::printf("\n");
  }
  for (const char* name : {"empty.raw", "card0.raw", "card3.raw", "card8.raw", "limit.raw", "big.raw"})
    ::unlink((d + "/" + name).c_str());
  ::rmdir(dir);
  return ok ? 0 : 1;
}
