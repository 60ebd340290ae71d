// FormatFixed over the values the conversions can produce, in every format
// the grid uses, against the slow reference the fuzz target also uses: every
// formula's output for a wide band of words, the values a hair around each
// rounding boundary of one and two decimals, and a spread of bit patterns.

#include "formatfixed_reference.h"

#include "formatfixed.h"
#include "formulas.h"

#include <QTest>

#include <cmath>
#include <cstring>
#include <random>

namespace {

struct Format {
  int P, D;
};
constexpr Format kFormats[] = {{4, 1}, {3, 1}, {4, 0}};

// Returns the number of mismatches, reporting the first few.
int Compare(float v, int& reported)
{
  int bad = 0;
  for (const Format f : kFormats) {
    const std::string got = dz::FormatFixed(v, f.P, f.D, ',');
    const std::string want = dzref::FormatFixed(v, f.P, f.D, ',');
    if (got != want) {
      ++bad;
      if (reported++ < 10)
        qWarning("%.9g P=%d D=%d: program %s, reference %s", double(v), f.P, f.D, got.c_str(), want.c_str());
    }
  }
  return bad;
}

} // namespace

class TestFormatFixedSweep : public QObject {
  Q_OBJECT

private slots:
  void referenceAgreesWithTheTableOfExamples()
  {
    // The reference itself, on the examples every reader of the rule knows.
    QCOMPARE(dzref::FormatFixed(23.4f, 4, 1, ','), std::string("23,4"));
    QCOMPARE(dzref::FormatFixed(-24.0f, 4, 1, ','), std::string("-24,0"));
    QCOMPARE(dzref::FormatFixed(-0.04f, 4, 1, ','), std::string("0,0"));
    QCOMPARE(dzref::FormatFixed(100.2f, 3, 1, ','), std::string("100,0"));
    QCOMPARE(dzref::FormatFixed(100.5f, 3, 1, ','), std::string("101,0"));
    QCOMPARE(dzref::FormatFixed(10000.0f, 4, 0, ','), std::string("1E4"));
    QCOMPARE(dzref::FormatFixed(17900.0f, 4, 1, ','), std::string("1,79E4"));
    QCOMPARE(dzref::FormatFixed(20460.0f, 4, 1, ','), std::string("2,046E4"));
    QCOMPARE(dzref::FormatFixed(1538.4615f, 4, 1, ','), std::string("1538,0"));
  }

  void everyFormulaOutput()
  {
    int bad = 0, reported = 0;
    for (int w = -3000; w <= 30000; ++w) {
      bad += Compare(dz::Lm35Celsius(w), reported);
      bad += Compare(dz::NtcCelsius(w), reported);
      bad += Compare(dz::Lm335Celsius(w), reported);
      bad += Compare(dz::HumidityV1(w), reported);
      bad += Compare(dz::HumidityV2(w), reported);
      bad += Compare(dz::Millivolts(w), reported);
      const float reference = dz::ThermocoupleReference(w % 2048);
      bad += Compare(reference, reported);
      bad += Compare(dz::ThermocoupleChannel(w, reference), reported);
      if (w % 7 == 0)
        bad += Compare(dz::RadiationPar(w, w % 91, 1.3L + (w % 17)), reported);
    }
    QCOMPARE(bad, 0);
  }

  void aroundRoundingBoundaries()
  {
    int bad = 0, reported = 0;
    for (int k = -4000; k <= 40000; ++k) {
      for (const float base : {float(k) / 20.0f, float(k) / 200.0f}) {
        float v = base;
        for (int i = 0; i < 3; ++i)
          v = std::nextafter(v, -INFINITY);
        for (int i = 0; i < 7; ++i, v = std::nextafter(v, INFINITY))
          bad += Compare(v, reported);
      }
    }
    QCOMPARE(bad, 0);
  }

  void spreadOfBitPatterns()
  {
    std::mt19937 random(20260101);
    int bad = 0, reported = 0;
    for (int i = 0; i < 50000; ++i) {
      const std::uint32_t bits = random();
      float v;
      std::memcpy(&v, &bits, sizeof v);
      bad += Compare(v, reported);
    }
    QCOMPARE(bad, 0);
  }
};

QTEST_APPLESS_MAIN(TestFormatFixedSweep)
#include "tst_hard_formatfixed.moc"
