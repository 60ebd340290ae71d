#include "card.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <stdexcept>

namespace vexa {

namespace {

// Every model is simulated at a 30-minute sampling interval, a setting all of
// the loggers offer (jumper, switches or integration time), so a card spans
// 10 to 24 days: several daily cycles.
constexpr double kHoursPerSample = 0.5;

// Radiation sensor as the simulated user would type it: 10 uA per
// 1000 umol s-1 m-2 and a logger offset of 6 words. The conversion computes
// PAR = (W - O) / 50 * 1000 / K, hence W = PAR * K / 20 + O.
constexpr double kParConstant = 10.0;
constexpr int kParOffset = 6;

bool SevenChannel(int model) { return model == 2 || model == 3; }

int SampleCount(int model)
{
  if (model == 0 || model == 1) return 512;
  if (SevenChannel(model)) return 1170;
  return 1024;
}

int ChannelCount(int model)
{
  if (model == 0 || model == 1) return 2;
  if (SevenChannel(model)) return 7;
  return 1;
}

void CheckModel(int model)
{
  if (model < 0 || model >= kModelCount)
    throw std::invalid_argument("model must be 0 to 8");
}

// Own generator rather than <random> distributions, whose results differ
// between standard libraries: a seed must give the same card everywhere.
class Rng {
public:
  explicit Rng(uint32_t seed) : state_(0x5EED0000ull ^ seed) {}
  uint64_t Next()
  {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Uniform() { return double(Next() >> 11) * 0x1.0p-53; }
  double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
  // Triangular noise in [-amp, amp]: cheap and bounded, unlike a Gaussian.
  double Noise(double amp) { return (Uniform() + Uniform() - 1.0) * amp; }

private:
  uint64_t state_;
};

// Day-to-day weather; values in between days are interpolated so the
// readings stay smooth across midnight.
class Weather {
public:
  Weather(Rng& rng, int samples)
  {
    const int days = int(samples * kHoursPerSample / 24.0) + 3;
    double mean = rng.Range(16.0, 19.0);
    for (int d = 0; d < days; ++d) {
      mean = std::clamp(mean + rng.Noise(1.5), 15.0, 20.0);
      mean_.push_back(mean);
      amp_.push_back(rng.Range(4.0, 7.0));
      cloud_.push_back(rng.Range(0.35, 1.0));
      humid_.push_back(rng.Range(50.0, 72.0));
    }
    startHour_ = double(rng.Next() % 24);
  }

  double Hours(int sample) const { return startHour_ + sample * kHoursPerSample; }
  double Mean(double h) const { return Lerp(mean_, h); }

  // Air temperature in degrees Celsius, warmest mid-afternoon; a sensor in
  // the shade or in soil sees a smaller, later swing.
  double Air(double h, double ampScale = 1.0, double lagHours = 0.0) const
  {
    const double phase = 2.0 * std::numbers::pi * (h - 15.0 - lagHours) / 24.0;
    return Lerp(mean_, h) + Lerp(amp_, h) * ampScale * std::cos(phase);
  }

  // Photosynthetically active radiation, umol s-1 m-2: a bell from 6 h to
  // 18 h peaking near 1900 on a clear day.
  double Par(double h) const
  {
    const double hour = std::fmod(h, 24.0);
    if (hour <= 6.0 || hour >= 18.0) return 0.0;
    const double bell = std::pow(std::sin(std::numbers::pi * (hour - 6.0) / 12.0), 1.5);
    return 1900.0 * bell * cloud_[size_t(h / 24.0)];
  }

  // Relative humidity in percent, falling as the day warms.
  double Humidity(double h) const
  {
    return Lerp(humid_, h) - 3.5 * (Air(h) - Mean(h));
  }

private:
  static double Lerp(const std::vector<double>& v, double h)
  {
    const double d = h / 24.0;
    const size_t i = size_t(d);
    const double f = d - double(i);
    return v[i] * (1.0 - f) + v[i + 1] * f;
  }

  std::vector<double> mean_, amp_, cloud_, humid_;
  double startHour_ = 0.0;
};

int Round(double v) { return int(std::lround(v)); }

struct Placement {
  double ampScale, lagHours, offset;
};

constexpr Placement kOpenAir{1.0, 0.0, 0.0};

Placement RandomPlacement(Rng& rng)
{
  return {rng.Range(0.6, 1.2), rng.Range(0.0, 2.0), rng.Range(-2.5, 2.5)};
}

void AppendLine(std::string& out, const std::string& line, Eol eol)
{
  out += line;
  out += EolText(eol);
}

std::string Digits(int value, int width)
{
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  return buf;
}

// One seven-channel record. The first character of an LM335 group carries no
// value: it marks the channel, 7 for the on-board reference (the logger's
// channel 7) and 1 to 6 for the sensor channels.
std::string SevenChannelLine(int model, const int* words)
{
  std::string line;
  for (int g = 0; g < 7; ++g) {
    const int w = words[g];
    if (model == 2) {
      line += Digits(w / 256, 1) + Digits(w % 256, 3);
    } else {
      line += Digits(g == 0 ? 7 : g, 1) + Digits(w / 256, 2) + Digits(w % 256, 3);
    }
  }
  return line;
}

} // namespace

const char* EolText(Eol eol)
{
  switch (eol) {
  case Eol::Lf: return "\n";
  case Eol::Cr: return "\r";
  case Eol::CrLf: break;
  }
  return "\r\n";
}

int CardLineCount(int model)
{
  CheckModel(model);
  return SevenChannel(model) ? 1171 : 4096;
}

int WordCount(int model)
{
  CheckModel(model);
  return SampleCount(model) * ChannelCount(model);
}

int MaxWord(int model)
{
  CheckModel(model);
  // The LM335 logger counts tenths of a kelvin (0 degrees C is 2731), beyond
  // ten bits; its layout spells up to 99 * 256 + 255.
  return model == 3 ? 99 * 256 + 255 : 1023;
}

char ModelTrigger(int model)
{
  CheckModel(model);
  return SevenChannel(model) ? '7' : '1';
}

std::vector<int> GenerateWords(int model, uint32_t seed)
{
  CheckModel(model);
  Rng rng(seed * 16u + uint32_t(model));
  const int samples = SampleCount(model);
  const Weather weather(rng, samples);
  std::vector<int> words;
  words.reserve(size_t(WordCount(model)));
  const auto push = [&](double w) {
    words.push_back(std::clamp(Round(w), 0, MaxWord(model)));
  };

  Placement place[6];
  for (Placement& p : place) p = RandomPlacement(rng);
  double millivolts = rng.Range(300.0, 700.0);

  for (int n = 0; n < samples; ++n) {
    const double h = weather.Hours(n);
    const auto sensor = [&](const Placement& p) {
      return weather.Air(h, p.ampScale, p.lagHours) + p.offset + rng.Noise(0.15);
    };
    switch (model) {
    case 0: // LM35, 10 mV per degree over a 240-word offset
      push(sensor(kOpenAir) * 10.0 + 240.0);
      push(sensor(place[0]) * 10.0 + 240.0);
      break;
    case 1: // NTC, linear: T = (W / 1024 - 0.29) / 0.0024
      push((sensor(kOpenAir) * 0.0024 + 0.29) * 1024.0);
      push((sensor(place[0]) * 0.0024 + 0.29) * 1024.0);
      break;
    case 2: { // thermocouple: channels read the difference from the board
      const double board = weather.Air(h, 0.5, 2.0) + rng.Noise(0.1);
      const int ref = std::clamp(Round(board * 5.0), 0, MaxWord(model));
      words.push_back(ref);
      // The program adds the reference as it decodes it, in steps of 0.2.
      const double refShown = ref / 10.0 * 2.0;
      for (const Placement& p : place) push((sensor(p) - refShown) * 10.0 + 500.0);
      break;
    }
    case 3: // LM335, tenths of a kelvin
      push((weather.Air(h, 0.5, 2.0) + rng.Noise(0.1)) * 10.0 + 2731.0);
      for (const Placement& p : place) push(sensor(p) * 10.0 + 2731.0);
      break;
    case 4:
      push(weather.Par(h) * kParConstant / 20.0 + kParOffset);
      break;
    case 5: { // humidity V 1/1: RH = (W / 100 - 0.64) / 0.0248
      const double rh = std::clamp(weather.Humidity(h) + rng.Noise(1.0), 5.0, 100.0);
      push((rh * 0.0248 + 0.64) * 100.0);
      break;
    }
    case 6: { // humidity V 2/2: RH = (W * 0.003027 - 0.64) / 0.0248
      const double rh = std::clamp(weather.Humidity(h) + rng.Noise(1.0), 5.0, 100.0);
      push((rh * 0.0248 + 0.64) / 0.003027);
      break;
    }
    case 7: { // millivolts: a slow drift held near mid-scale, plus a daily swing
      millivolts += rng.Noise(12.0) - 0.01 * (millivolts - 512.0);
      millivolts = std::clamp(millivolts, 40.0, 980.0);
      push(millivolts + 60.0 * std::cos(2.0 * std::numbers::pi * (h - 14.0) / 24.0));
      break;
    }
    case 8:
      push(sensor(kOpenAir) * 10.0 + 240.0);
      break;
    }
  }
  return words;
}

std::string EncodeCard(int model, const std::vector<int>& words, Eol eol)
{
  CheckModel(model);
  const int count = WordCount(model);
  std::vector<int> w(size_t(count), 0);
  for (int i = 0; i < count && size_t(i) < words.size(); ++i)
    w[size_t(i)] = std::clamp(words[size_t(i)], 0, MaxWord(model));

  std::string out;
  if (SevenChannel(model)) {
    out.reserve(size_t(CardLineCount(model)) * 44);
    for (int n = 0; n < SampleCount(model); ++n)
      AppendLine(out, SevenChannelLine(model, &w[size_t(n) * 7]), eol);
    // The closing line: a record with every word 0, shaped like the others so
    // that a reader that goes one line too far still finds digits.
    const int zeros[7] = {};
    AppendLine(out, SevenChannelLine(model, zeros), eol);
  } else {
    out.reserve(size_t(CardLineCount(model)) * 4);
    for (int v : w) {
      const int rest = v % 256;
      AppendLine(out, std::to_string(v / 256), eol);
      AppendLine(out, std::to_string(rest / 100), eol);
      AppendLine(out, std::to_string(rest / 10 % 10), eol);
      AppendLine(out, std::to_string(rest % 10), eol);
    }
  }
  return out;
}

std::string GenerateCard(int model, uint32_t seed, Eol eol)
{
  return EncodeCard(model, GenerateWords(model, seed), eol);
}

std::string ErasedCard(int model, Eol eol)
{
  return EncodeCard(model, {}, eol);
}

} // namespace vexa
